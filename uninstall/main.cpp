#include <windows.h>
// Placeholder entry until the uninstaller is written.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
