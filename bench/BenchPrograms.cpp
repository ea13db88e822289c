#include "bench/BenchPrograms.h"

#include <algorithm>
#include <filesystem>

#include "office/ZelMso.h"
#include "support/ZelRegistry.h"

namespace tovalin::bench {

void AddPrograms(Platform& platform, int first, int count) {
  TZelChanges action(platform.Registry());
  for (int n = first; n < first + count; ++n) {
    const std::string id = std::to_string(n);
    const std::string guid = "{" + std::string(8 - std::min<std::size_t>(8, id.size()), '0') + id +
                             "-4F9B-11CF-86EA-00AA00B929E8}";
    TZelRegistry reg(platform.Registry());
    reg.SetRoot(RootKey::ClassesRoot);
    reg.OpenKeyWrite("\\.ext" + id, true);
    reg.WriteText("", "App" + id + ".Document");
    reg.WriteText("Content Type", "application/x-app" + id);
    reg.OpenKeyWrite("\\App" + id + ".Document\\Shell\\Open\\Command", true);
    reg.WriteText("", "\"C:\\Program Files\\Vendor " + id + "\\App" + id + ".exe\" \"%1\"");
    reg.OpenKeyWrite("\\CLSID\\" + guid + "\\InprocServer32", true);
    reg.WriteText("", "C:\\Program Files\\Vendor " + id + "\\app" + id + ".dll");
    reg.WriteText("ThreadingModel", "Apartment");
    reg.SetRoot(RootKey::LocalMachine);
    reg.OpenKeyWrite(std::string(kUninstallKey) + "\\" + guid, true);
    reg.WriteText("DisplayName", "Application " + id);
    reg.WriteText("DisplayVersion", "1.2." + id);
    reg.WriteText("Publisher", "Vendor " + id);
    reg.WriteText("InstallLocation", "C:\\Program Files\\Vendor " + id + "\\");
    reg.WriteText("UninstallString", "MsiExec.exe /X" + guid);
  }
  action.Commit();
}

void AddScriptClasses(Platform& platform) {
  TZelChanges action(platform.Registry());
  for (const char* name : {"JSEFile", "JSFile", "VBEFile", "VBSFile", "WSFFile", "WSHFile"}) {
    TZelRegistry reg(platform.Registry());
    reg.SetRoot(RootKey::ClassesRoot);
    reg.OpenKeyWrite("\\" + std::string(name) + "\\Shell\\Open\\Command", true);
    reg.WriteText("", "\"C:\\windows\\system32\\WScript.exe\" \"%1\" %*");
  }
  action.Commit();
}

std::uintmax_t FileSize(const std::string& path) {
  std::error_code ignored;
  const std::uintmax_t size = std::filesystem::file_size(path, ignored);
  return ignored ? 0 : size;
}

}  // namespace tovalin::bench
