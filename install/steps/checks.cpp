// The checks before anything of the product is written: the platform, the confirmation
// question and the required files of the Windows and the system directory.
#include "common/win/sys.h"
#include "common/format/install_script.h"
#include "install/logic/messages.h"
#include "install/logic/platform.h"
#include "install/state.h"

// The platforms line's outcomes are reported as they are: their values must be the result numbers.
static_assert(kPlatformsCodeNotTwoCharacters == kPlatformCodeNotTwoCharacters &&
                  kPlatformsCodeUnknown == kPlatformCodeUnknown && kPlatformsNoCode == kPlatformLineEmpty,
              "the platforms line's outcomes and the installer's result numbers");

int CheckPlatform() {
  AllowedPlatforms allowed;
  // The platforms line points into the writable script copy; the token split cuts it.
  int malformed = ParsePlatformsLine(const_cast<char*>(g.PlatformsLine), allowed);
  if (malformed) return ReportInternalError(malformed);

  OSVERSIONINFOA version;
  static_assert(sizeof version == 148, "the ANSI version structure");
  ZeroMemory(&version, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (!sys::GetVersionExA(&version)) return 0;

  PlatformDecision decision = DecidePlatform(allowed, version.dwPlatformId, version.dwMajorVersion,
                                             version.dwMinorVersion);
  g.Win98 = decision.running == kRunningWin98;
  g.WinNT4 = decision.running == kRunningWinNT4;
  g.Win2000 = decision.running == kRunningWin2000;
  if (decision.allowed) return 0;
  RefusalText refusal;
  BuildRefusalText(allowed, refusal);
  return ShowWarning(refusal, kResultStopped);
}

bool ConfirmInstall() {
  QuestionText question;
  BuildConfirmText(g.AppName, g.AppVersion, question);
  return sys::MessageBoxA(g.MainWindow, question, g.CompanyName, MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

int CheckRequiredFiles(PathText& dir, const char* downloadSite) {
  if (dir.empty()) return ReportInternalError(kRequiredFilesNoDirectory);
  // A directory of 259 characters without its backslash can hold no file of a path that
  // fits: every name is then reported missing.
  bool room = dir.EnsureBackslash();
  unsigned dirEnd = dir.length();
  RequiredFilesMessage message(downloadSite ? downloadSite : "");
  for (;;) {
    char* name = NextScriptLine();
    if (!name) return ReportInternalError(kScriptEndsInDependencyList);
    if (IsListEnd(name)) break;
    dir.Truncate(dirEnd);
    if (room && dir.Append(name) && sys::GetFileAttributesA(dir) != INVALID_FILE_ATTRIBUTES) continue;
    dir.Truncate(dirEnd);
    message.AddMissing(dir, name);
  }
  if (!message.AnyMissing()) return 0;
  int answer = sys::MessageBoxA(g.MainWindow, message.Finish(), g.SetupName,
                                MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2);
  if (answer == IDOK) return 0;
  return ShowWarning("Installation cancelled", kResultStopped);
}
