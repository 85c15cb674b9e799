// The checks' entry points: the install script item by item in the installer's order, and
// the licence.
#include "tools/script_check/script_check.h"

#include "tools/script_check/checker.h"
#include "tools/script_check/text_1252.h"

void ScriptChecker::Run() {
  if (!Platforms() || !UninstallName() || !Names() || !DownloadSite()) return;
  bool closed = Dependencies(ScriptItemNumber(7), "Windows directory") &&
                Dependencies(ScriptItemNumber(8), "system directory");
  if (dependencies_ > 0 && siteEmpty_)
    diags_->Warning(file_, siteLine_, 0,
                    "the download site is empty, but the message about missing required files quotes it");
  if (dependencies_ > 0 && siteShown_ >= 0)
    diags_->Error(file_, siteLine_, 0,
                  "the download site is too long for the message about missing required files: only its first " +
                      std::to_string(siteShown_) + " characters would be shown");
  if (!closed || !InstallDir() || !FolderName() || !FolderItems() || !RegistryItems() || !Drivers()) return;
  ProgramsToRun();
  NeverRead();
}

void CheckScript(const std::string& raw, const std::vector<PackEntry>& payload, const std::string& fileName,
                 std::string* normalised, Diagnostics* diags) {
  normalised->clear();
  if (raw.empty()) {
    diags->Error(fileName, 0, 0, "the install script is empty");
    return;
  }
  *normalised = NormaliseText(raw, fileName, diags);
  if (normalised->empty()) {
    diags->Error(fileName, 0, 0, "the install script is empty");
    return;
  }
  ScriptChecker(*normalised, payload, fileName, diags).Run();
}

void CheckLicence(const std::string& raw, const std::string& fileName, std::string* normalised, Diagnostics* diags) {
  *normalised = NormaliseText(raw, fileName, diags);
  if (normalised->empty()) {
    diags->Warning(fileName, 0, 0, "the licence is empty: the licence box would stay empty");
  } else if (normalised->size() - 2 > 0xFFFF) {
    diags->Warning(fileName, 0, 0,
                   "the licence is " + std::to_string(normalised->size()) +
                       " bytes long: the licence box of Windows 95, 98 and Me holds at most 65535");
  }
}
