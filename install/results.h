#pragma once
// Every number that install can end with, in one table: the results of the install
// sequence (0 goes on, any other ends it), the internal errors, and the exit codes of the
// start-up. Each name says the cause; docs/messages.md says what the user sees and does.
// Numbers between the groups are not used: there is no 52 (352 follows 51) and no 103.
//
// A header of constants only (no code, no windows.h): the steps, the pure logic that
// returns a number of its own (the platforms line, the file list) and `orv check` (which
// names the internal error a script would end with) all read it.

// -1: a refusal, a cancellation, or a failure that a message of its own explains.
const int kResultStopped = -1;
// -1 also: a fault (an exception) inside the sequence, turned into a result by the worker's
// fault guard without a message of the sequence's own.
const int kSequenceFaulted = -1;

// --- The install sequence ------------------------------------------------------------------
// Platform check: the platforms line (install-script item 1).
const int kPlatformCodeNotTwoCharacters = 1;
const int kPlatformCodeUnknown = 2;
const int kPlatformLineEmpty = 3;
// Uninstaller deployment (also a malformed uninstall-name line).
const int kUninstallerNotDeployed = 4;
// The install script ends before the suggested installation directory (item 9).
const int kScriptEndsBeforeInstallDir = 5;
// The uninstall script.
const int kUninstallScriptNotCreated = 6;
const int kUninstallScriptHeaderNotWritten = 7;
// The payload expansion reported success without a buffer.
const int kPayloadWithoutBuffer = 8;
// FILELIST.
const int kFileListNotFound = 9;
const int kFileListNotLoaded = 10;
const int kFileListNotLocked = 11;
// The file list's lines (common/format/file_list.h).
const int kFileListNoComma = 12;         // a line without a comma (an empty line included)
const int kFileListNoTimeLow = 13;       // time form: no field after the '.'
const int kFileListNoTimeHigh = 14;      // time form: no second field after the '.'
const int kFileListNoSize = 15;          // version form: no size field
const int kFileListBadSize = 16;         // version form: a size of 0 or less
// The file loop.
const int kFileNotCreated = 17;          // "Could not create an output file"
const int kFileNotWritten = 18;          // "Could not write to an output file"
const int kFilePathNotRecorded = 19;     // "Could not write uninstall file"
// The program folder.
const int kNoProgramsFolder = 20;        // "Could not get Programs folder"
const int kNoProgramsFolderPath = 21;    // "Could not get Programs folder path"
const int kProgramFolderNotCreated = 22; // "Sorry, could not create this Programs folder"
const int kShellLibraryNotStarted = 23;
const int kScriptEndsInFolderItems = 24;
const int kFolderItemNoComma = 25;
const int kShortcutNotCreated = 26;
const int kShortcutNotRecorded = 27;     // "Could not write uninstall file"
const int kDirectoryNotRecorded = 28;    // "Could not write uninstall file"
const int kFileSectionNotClosed = 29;    // "Could not write uninstall file"
// The driver step: registry items are not supported.
const int kRegistryItemsNotEmpty = 30;
// The uninstall registration ("Could not write uninstall file").
const int kRegistryRootNotRecorded = 31;      // "HKLM"
const int kRegistryKeyNotRecorded = 32;       // the Add/Remove Programs key path
const int kRegistrySectionNotClosed = 33;     // the "." after them
const int kDriverNameNotRecorded = 34;        // a driver name (also: no memory to keep it)
const int kDriverSectionNotClosed = 35;       // the final "."
// DATA and its expansion.
const int kDataNotFound = 36;
const int kDataNotLoaded = 37;
const int kDataNotLocked = 38;
const int kPayloadNotExpandable = 46;   // not a well-formed SZDD stream
const int kPayloadEmpty = 48;           // empty, or an expanded length of 0
const int kPayloadNoMemory = 49;        // no memory for the buffer it is expanded through
// The driver step.
const int kDriverNoVersion = 51;
const int kDriverServiceKeyNotCreated = 53;
const int kDriverTypeNotSet = 54;
const int kDriverStartNotSet = 55;
const int kDriverErrorControlNotSet = 56;
const int kDriverDisplayNameNotSet = 57;
const int kDriverImagePathNotSet = 58;
const int kServiceManagerNotOpenedToPrepare = 59;
const int kServiceNotStopped = 60;
const int kServiceStopTimedOut = 61;
const int kServiceStateNotQueriedToPrepare = 62;
const int kServiceNotCreated = 63;
const int kServiceManagerNotOpenedToStart = 64;
const int kServiceNotOpenedToStart = 65;
const int kServiceStateNotQueriedToStart = 66;
const int kServiceNotStarted = 67;
const int kServiceStartTimedOut = 68;
const int kScriptEndsBeforeRegistryItems = 69;
const int kScriptEndsInDriverList = 70;
// The file list's sizes do not add up to the expanded payload (or one is negative).
const int kFileListBeyondPayload = 71;
// A driver file cannot be copied into place.
const int kDriverNotCopied = 352;
// The required-files check.
const int kRequiredFilesNoDirectory = 300;
const int kScriptEndsInDependencyList = 301;

// --- Start-up: the program's exit code ---------------------------------------------------
const int kScriptNotFound = 100;
const int kScriptNotLoaded = 101;
const int kScriptNotLocked = 102;
// Install-script items 1 to 5 missing: 104 + the item's index from 0 (there is no 103).
const int kScriptEndsBeforeItem1 = 104;
const int kRegisterClassFailed = 109;
// The main window cannot be created: the program ends with -1 and no message.
const int kWindowNotCreated = -1;
// The worker thread cannot be started (the window stays, without an installation).
const int kWorkerNotStarted = 110;
// CHECKSUM does not match FILELIST and DATA: "The installation program is damaged. ..."
const int kDamagedInstaller = 111;

// Shown but not returned: the script ends before the suggested folder name (item 10); the
// program-folder dialog then closes as if cancelled and the result is kResultStopped.
const int kScriptEndsBeforeFolderName = 200;
