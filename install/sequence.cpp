// The install sequence: every step in its fixed order; the first non-zero result ends it
// and is returned unchanged to the worker thread.
#include "common/win/sys.h"
#include "install/state.h"

namespace {

#ifdef ORV_FAULT_INJECTION
// Test builds: ORV_FAULT=SequenceFault:N makes the Nth step of the sequence fault with an
// access violation before it starts, to exercise the worker's fault guard.
int* volatile nowhere;
void MaybeFault() {
  if (ORV_FAULT("SequenceFault")) *nowhere = 1;
}
#else
inline void MaybeFault() {}
#endif

// Gets the Windows or the system directory into dir; false when it cannot be had whole.
bool GetDirectory(UINT (*get)(LPSTR, UINT), PathText& dir) {
  dir.clear();
  UINT n = get(dir.data(), PathText::capacity() + 1);
  if (n == 0 || n > PathText::capacity()) {
    dir.clear();
    return false;
  }
  dir.Sync();
  return true;
}

}  // namespace

int RunInstallSequence() {
  int result;
  MaybeFault();
  if ((result = CheckPlatform()) != 0) return result;
  MaybeFault();
  if (!ConfirmInstall()) return 0;
  MaybeFault();
  if (!DeployUninstaller()) return ReportInternalError(kUninstallerNotDeployed);

  // Not tested here: without it the next line read is missing too, and the required-files
  // check reports that.
  g.DownloadSite = NextScriptLine();
  MaybeFault();
  if (!GetDirectory(sys::GetWindowsDirectoryA, g.CheckedDir)) return ShowWarning("Could not locate Windows directory", kResultStopped);
  if ((result = CheckRequiredFiles(g.CheckedDir, g.DownloadSite)) != 0) return result;
  MaybeFault();
  if (!GetDirectory(sys::GetSystemDirectoryA, g.CheckedDir))
    return ShowWarning("Could not locate Windows system directory", kResultStopped);
  if ((result = CheckRequiredFiles(g.CheckedDir, g.DownloadSite)) != 0) return result;

  MaybeFault();
  if ((result = ShowLicence()) != 0) return result;
  MaybeFault();
  if ((result = ChooseInstallDir()) != 0) return result;
  MaybeFault();
  if ((result = CreateUninstallScript()) != 0) return result;

  MaybeFault();
  if ((result = ExpandPayload()) != 0) return result;
  if (!g.Payload) return ReportInternalError(kPayloadWithoutBuffer);
  MaybeFault();
  if ((result = InstallFileList()) != 0) return result;
  MaybeFault();
  if ((result = InstallProgramFolder()) != 0) return result;
  MaybeFault();
  if ((result = InstallDrivers()) != 0) return result;
  MaybeFault();
  if ((result = RegisterUninstall()) != 0) return result;
  MaybeFault();
  if ((result = FinishInstallation()) != 0) return result;
  return 0;
}
