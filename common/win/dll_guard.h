#pragma once
// No DLL from the program's own folder. Both programs are downloaded into folders full of
// other files and run with administrator rights; a DLL of a system name placed beside them
// must never be loaded. They import at load time only DLLs that the platform always takes
// from its system directory, and call GuardDllSearch first thing at start-up.
#include <windows.h>

// Restricts the DLL search of this process to the system directory where the platform can
// (SetDefaultDllDirectories with LOAD_LIBRARY_SEARCH_SYSTEM32). Elsewhere it drops the
// current directory from the search (SetDllDirectoryA with "", where present) and loads by
// full system path the DLLs that the platform loads on demand by bare name, so that a later
// load by name finds them already loaded instead of searching the program's folder. Every
// function is looked up at run time: Windows 95 has none of them.
void GuardDllSearch();

// Loads a DLL by its full path in the system directory: GetSystemDirectoryA, "\", fileName.
// NULL when the directory cannot be had, the path does not fit, or the load fails.
HMODULE LoadSystemDll(const char* fileName);
