// Reads a shortcut back through the shell-link object and writes its target path to a
// file: lnkread <output file> <shortcut path>. The output path holds no blank; the shortcut
// path is the whole rest of the command tail, blanks included. Exit code 0 when the target
// was written.
#include <windows.h>
#include <shlobj.h>

#include "tests/e2e/win/output_and_argument.h"

namespace {

const GUID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

int ReadTarget(const char* link, char* target) {
  IShellLinkA* shellLink = NULL;
  if (FAILED(CoCreateInstance(kShellLinkClass, NULL, CLSCTX_INPROC_SERVER, kShellLinkA,
                              reinterpret_cast<void**>(&shellLink))))
    return 3;
  IPersistFile* file = NULL;
  int result = 4;
  if (SUCCEEDED(shellLink->QueryInterface(kPersistFile, reinterpret_cast<void**>(&file)))) {
    WCHAR wide[MAX_PATH];
    result = 5;
    if (MultiByteToWideChar(CP_ACP, 0, link, -1, wide, MAX_PATH) && SUCCEEDED(file->Load(wide, STGM_READ))) {
      WIN32_FIND_DATAA found;
      result = SUCCEEDED(shellLink->GetPath(target, MAX_PATH, &found, SLGP_RAWPATH)) ? 0 : 6;
    }
    file->Release();
  }
  shellLink->Release();
  return result;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* outPath;
  const char* link;
  if (!OutputAndArgument(&outPath, &link)) return 1;
  if (FAILED(CoInitialize(NULL))) return 2;
  char target[MAX_PATH] = "";
  int result = ReadTarget(link, target);
  CoUninitialize();
  if (result) return result;
  return WriteAnswer(outPath, target) ? 0 : 7;
}
