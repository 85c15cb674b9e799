#pragma once
// The installation state that the steps of install share, and the steps themselves.
// Everything here lives on the worker thread once the worker has started, except the
// start-up fields (Instance to UninstallNameLine, SetupName), which the main thread fills
// in before the worker exists and which are read-only afterwards.
#include <windows.h>
#include "common/fixed_text.h"
#include "install/logic/dir_list.h"
#include "install/logic/name_list.h"
#include "install/results.h"

struct InstallState {
  // Filled in at start-up.
  HINSTANCE Instance;
  HWND MainWindow;
  const char* CompanyName;        // install-script item 3
  const char* AppName;            // item 4: window class, caption of every warning
  const char* AppVersion;         // item 5
  const char* PlatformsLine;      // item 1
  const char* UninstallNameLine;  // item 2
  FixedText<56> SetupName;        // AppName + " " + AppVersion + " setup"

  // Running platform, set by CheckPlatform; at most one is true.
  bool Win98;    // Windows 98 or later of the Windows 95 family
  bool WinNT4;   // Windows NT 4
  bool Win2000;  // Windows 2000 or later of the NT family

  const char* DownloadSite;  // item 6
  PathText CheckedDir;       // the Windows, then the system directory
  PathText UninstallerPath;  // set by DeployUninstaller

  // The installation directory, always ending with a backslash once settled.
  // InstallDirEnd is its length then: steps append a relative name to form a target path
  // and call InstallDir.Truncate(InstallDirEnd) to return to the bare directory.
  PathText InstallDir;
  unsigned InstallDirEnd;

  // The uninstall script.
  PathText UninstallScriptPath;
  HANDLE UninstallScript;  // INVALID_HANDLE_VALUE until created
  bool FileSectionClosed;
  bool RegistrySectionClosed;
  unsigned DriversRecorded;  // driver names written to the driver section so far
  DirList Directories;     // directories to remove, newest first

  // The payload: DATA as mapped with the image, checked by ExpandPayload to expand to
  // exactly PayloadSize bytes. Payload is the bounded buffer that it is expanded through
  // (SzddStreamBufferSize(kPayloadPiece) bytes), owned from a successful ExpandPayload on;
  // freed by the worker.
  const unsigned char* PayloadData;
  unsigned PayloadDataSize;
  unsigned char* Payload;
  unsigned PayloadSize;
  // The file list's text, once InstallFileList has located it.
  const char* FileList;
  unsigned FileListSize;

  PathText ProgramsPath;
  PathText FolderName;

  bool RestartNeeded;
  NameList DriverNames;
};

extern InstallState g;

// The NT family (NT 4, Windows 2000 and later), which has file security.
inline bool IsNtFamily() { return g.WinNT4 || g.Win2000; }

// --- Reporting (report.cpp) -------------------------------------------------------------
// The warning box: owned by MainWindow (none before it exists), caption AppName (the
// platform's default before it is read), OK, warning icon. Returns code.
int ShowWarning(const char* text, int code);
// "Orv Install internal error %d" through ShowWarning. Returns number.
int ReportInternalError(int number);

// --- Payload checksum (payload_check.cpp) --------------------------------------------------
// Checks CHECKSUM, when present, against FILELIST and DATA. 0 when it matches or is absent;
// otherwise shows "The installation program is damaged. Please download it again." (no
// owner, the platform's caption, the stop icon) and returns kDamagedInstaller.
int CheckPayload(HINSTANCE instance);

// --- Install script (script.cpp) --------------------------------------------------------
// The one cursor over the writable copy of SCRIPT; see common/format/install_script.h.
char* NextScriptLine();

// --- Steps, in the order of the install sequence ------------------------------------------
int RunInstallSequence();                 // sequence.cpp
int CheckPlatform();                      // checks.cpp
bool ConfirmInstall();                    // checks.cpp
bool DeployUninstaller();                 // deploy.cpp
int CheckRequiredFiles(PathText& dir, const char* downloadSite);  // checks.cpp
int ShowLicence();                        // licence_dir.cpp: 0 accepted, -1 after "Installation cancelled"
int ChooseInstallDir();                   // licence_dir.cpp
int CreateUninstallScript();              // uninstall_script.cpp (CarryOverDirectories inside)
int ExpandPayload();                      // payload.cpp: checks that DATA expands whole (46, 48, 49)
int InstallFileList();                    // files.cpp: locates FILELIST (9, 10, 11) and runs InstallFiles
int InstallProgramFolder();               // program_folder.cpp
// The Programs folder's path into path: 0, or 20 (no location) or 21 (no path for it).
int GetProgramsFolderPath(char path[MAX_PATH]);
int InstallDrivers();                     // drivers.cpp
int RegisterUninstall();                  // register.cpp
int FinishInstallation();                 // completion.cpp

// --- The uninstall script, writing side (uninstall_script.cpp) ---------------------------
// Writes text and CR LF; false when either write fails or is short, and then the file is
// cut back to where the line began.
bool WriteScriptLine(HANDLE file, const char* text);
DWORD ScriptPosition(HANDLE file);
void CutScript(HANDLE file, DWORD position);  // the file ends at position
// Writes the driver names from the first not yet written on (register.cpp).
bool WriteDriverNames(HANDLE file);
// Puts a copy of path at the front of the directory list; silently drops it without memory.
void RecordDirectory(const char* path);
// Writes the directory list and "." (results 28, 29); marks the file section closed.
int CloseFileSection();
// The worker's last duty: close the script with the roll-back guarantees.
void CloseUninstallScript(int result);

// --- Reading the payload (payload.cpp) ----------------------------------------------------
// The largest piece of the payload expanded at once; a file up to this size is written in
// one write.
const unsigned kPayloadPiece = 1024 * 1024;
struct SzddStream;
// Starts a read of the expanded payload from its first byte, through g.Payload.
void BeginPayload(SzddStream* stream);
// Expands the next size bytes of the payload into file (in pieces of kPayloadPiece); false
// when a write fails or is short, or the payload ends early (which the check of
// ExpandPayload rules out).
bool WritePayload(SzddStream* stream, HANDLE file, unsigned size);

// --- File versions (file_version.cpp) ------------------------------------------------------
// Reads FileVersion from the "080904B0" or else the "040904B0" string table.
bool ReadFileVersion(const char* path, unsigned version[4]);

// --- Background display (background.cpp), user-interface thread only ----------------------
extern HFONT TitleFont;
extern int ClientWidth, ClientHeight;
// Resizing, painting and ticks return false when the window gives no device context: the
// window procedure then leaves the message to DefWindowProcA. Resizing stores the new size
// in ClientWidth and ClientHeight itself, after erasing the figure at the old layout.
void BackgroundCreate(HWND window);   // after the client size is known: ResetFigure
bool BackgroundResize(HWND window, int width, int height);
bool BackgroundPaint(HWND window);
bool BackgroundTick(HWND window);
