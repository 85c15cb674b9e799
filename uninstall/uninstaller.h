#pragma once
// The uninstaller's run: its state and the removal steps that work through the sections of
// the uninstall script. One thread, no window; every box has no owner.
#include <windows.h>
#include <stddef.h>

#include "uninstall/logic/error_text.h"

struct UninstallRun {
  bool quiet;            // "-q ": no box at all
  bool nt;               // Windows NT family: driver services are stopped and deleted
  const char* caption;   // of every box but the confirmation; NULL is the platform's own
  bool partial;          // cleared once the driver section has been worked through
  bool restart;          // a driver could not be removed at once
  ErrorText errors;
  char* texts;           // buffer for the texts put together from script lines
  size_t textsCapacity;  // bytes, enough for any of them (see uninstall_texts.h)
};

// Shows text with the run's caption and a warning icon unless quiet; returns code.
int ShowUninstallMessage(const UninstallRun& run, const char* text, int code);

// Removes one file or one empty directory; a path that does not exist is passed over
// silently, a failure adds "Could not remove " + path to the error text.
void RemovePath(UninstallRun& run, const char* path);

// One line of the file section: RemovePath for an absolute path; any other line is refused
// with "Could not remove " + line (uninstall/logic/line_rules.h).
void RemoveListedPath(UninstallRun& run, const char* line);

// Deletes one key of the registry section; root is the pair's first line. An unknown root,
// or a key line that names no subkey, adds "Could not remove registry key " + root.
void RemoveRegistryKey(UninstallRun& run, const char* root, const char* key);

// One line of the driver section: the service (NT family), the driver file below the
// Windows directory and the service key. An empty name or one with "\" or "/" is refused
// with "Could not remove " + name, before anything is touched.
void RemoveDriver(UninstallRun& run, const char* name);

// Stops the driver service (waiting up to ten seconds for it to stop) and deletes it,
// whether it was running, already stopped, or did not stop (then it is marked for deletion
// and goes with the restart). False when the service could not be opened, not be found
// stopped or be stopped, or not be deleted.
bool StopAndDeleteService(const char* name);
