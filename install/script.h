#pragma once
// Start-up side of the install script: hands the writable copy of SCRIPT to the one cursor
// that NextScriptLine (state.h) reads from.

// text holds size bytes followed by a NUL and lives until the program ends.
void StartScript(char* text, unsigned size);
