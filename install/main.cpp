#include <windows.h>
// Placeholder entry until the installer's start-up is written.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
