#include "tools/host/kit.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

std::string KitFile(const std::string& name) {
  std::error_code ec;
#ifdef _WIN32
  wchar_t module[32768];
  DWORD n = GetModuleFileNameW(NULL, module, 32768);
  if (!n || n >= 32768) return "";
  fs::path self(module);
#else
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "";
#endif
  fs::path dir = self.parent_path();
  for (const fs::path& p : {dir / "win" / name, dir.parent_path() / "share" / "orv" / name})
    if (fs::is_regular_file(p, ec)) return p.string();
  return "";
}
