// The one cursor over the install script: items 1 to 5 are read on the main thread before
// the worker exists, every later line by the worker, so no lock is needed.
#include "install/script.h"

#include "common/format/install_script.h"
#include "install/state.h"

namespace {
ScriptCursor cursor;
}

void StartScript(char* text, unsigned size) { cursor.Reset(text, size); }

char* NextScriptLine() { return cursor.Next(); }
