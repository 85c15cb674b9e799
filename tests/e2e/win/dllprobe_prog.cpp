// Loads a DLL by the bare name given on its command line, as the platform's own libraries
// load the DLLs they need on demand: dllprobe <name>. Exit code 0 when it was loaded, 1 when
// not. A test's check that a planted DLL would be seen.
#include <windows.h>

#include "uninstall/logic/command_tail.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* tail = FindCommandTail(GetCommandLineA());
  const char* p = tail ? tail : "";
  return LoadLibraryA(p) ? 0 : 1;
}
