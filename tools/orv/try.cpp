// orv try: hands an installer to the kit's try/orv_try.py, which installs and uninstalls it
// under Wine with the default answers, driving the dialogs with the kit's orvdrive.exe.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "tools/host/process.h"
#include "tools/orv/options.h"
#include "tools/orv/product.h"
#include "tools/orv/verbs.h"

namespace {

const char kHelp[] =
    "Usage: orv try SETUP.EXE [--windows 95|98|me|nt4|2000|default] [--screenshots DIR] [--keep]\n"
    "               [--templates DIR]\n"
    "\n"
    "Installs the installer in a fresh Wine prefix with the default answers (confirm, accept\n"
    "the licence, the directory and the program folder, close the completion dialog with its\n"
    "defaults), prints what it installed (files, shortcuts, Add/Remove Programs values, the\n"
    "uninstall script), uninstalls it with the Add/Remove Programs command the same way, and\n"
    "prints what is left. Without --windows this is done for each reported Windows version\n"
    "in turn, each in its own prefix.\n"
    "\n"
    "  --windows VERSION  only this version: 95, 98, me, nt4, 2000 or default (a current one)\n"
    "  --screenshots DIR  a picture of every dialog, in DIR/VERSION/ (needs ImageMagick)\n"
    "  --keep             keep the work directory (the prefixes of failed runs) and say where\n"
    "  --templates DIR    keep the template prefix in DIR and use it again in later runs\n"
    "\n"
    "Needs python3, Wine (32-bit) and Xvfb: apt install wine wine32 xvfb python3.\n"
    "Exit status: 0 every version clean, 1 a warning or error box, a program failing, or\n"
    "anything but the shared uninstaller left behind, 2 wrong usage or Wine or Xvfb missing.\n";

}  // namespace

int OrvTry(int argc, char** argv) {
  // The options are orv_try.py's: every argument is handed on, in its place.
  VerbOptions table{"try", kHelp};
  table.passUnknown = true;
  table.minArguments = 1;
  table.arguments = "an installer is needed";
  std::vector<std::string> given;
  int status = ParseVerbOptions(table, argc, argv, &given);
  if (status >= 0) return status;
  if (!kCanExecProgram) {
    fputs("orv: error: orv try runs installers under Wine; use the kit for Linux\n", stderr);
    return 2;
  }
  std::string script = KitFile("try/orv_try.py"), drive = KitFile("orvdrive.exe");
  if (script.empty() || drive.empty()) {
    fprintf(stderr, "orv: error: the kit's %s was not found\n", script.empty() ? "try/orv_try.py" : "orvdrive.exe");
    return 1;
  }
  std::string kit = drive.substr(0, drive.find_last_of('/'));
  std::vector<std::string> args = {"python3", script, "--kit", kit};
  args.insert(args.end(), given.begin(), given.end());
  ExecProgram(args);
  fputs("orv: error: python3 not found: orv try needs it (apt install python3)\n", stderr);
  return 2;
}
