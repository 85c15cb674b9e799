// The warning box and the internal error, through which every step reports.
#include "common/win/sys.h"
#include "install/state.h"

int ShowWarning(const char* text, int code) {
  // Before MainWindow exists the box has no owner; before AppName is read, a NULL caption
  // gives the platform's default one.
  sys::MessageBoxA(g.MainWindow, text, g.AppName, MB_ICONWARNING);
  return code;
}

int ReportInternalError(int number) {
  char text[52];
  wsprintfA(text, "Orv Install internal error %d", number);
  return ShowWarning(text, number);
}
