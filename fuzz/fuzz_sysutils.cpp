// Command lines, paths and environment text from the registry: the file a command line names
// is either "" or an existing file, splitting yields only non-empty items, and with no
// variables set both expansions give the text back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "support/ZelSysUtils.h"
#include "support/platform/memory/MemoryPlatform.h"

using namespace tovalin;

namespace {

MemoryPlatform& Machine() {
  static MemoryPlatform* machine = [] {
    auto* p = new MemoryPlatform;
    p->environment.Set("windir", "C:\\Windows");
    p->environment.Set("SystemRoot", "C:\\Windows");
    p->environment.Set("ProgramFiles", "C:\\Program Files");
    p->environment.Set("A", "alpha");
    p->environment.Set("P", "%A%");
    p->environment.Set("SELF", "%SELF%%SELF%");
    p->environment.Set("LONG", std::string(300, 'x'));
    p->environment.Set("JP", "日本語");
    for (const char* file :
         {"C:\\Windows\\system32\\notepad.exe", "C:\\Windows\\system32\\shell32.dll",
          "C:\\Windows\\system\\tool.com", "C:\\Windows\\tool.bat",
          "C:\\Program Files\\Microsoft Office\\OFFICE11\\EXCEL.EXE", "C:\\x y\\a b.exe",
          "C:\\日本語\\表.exe", "C:\\v1.2.exe"}) {
      p->files.AddFile(file);
    }
    p->files.AddFolder("C:\\Windows\\Installer");
    return p;
  }();
  return *machine;
}

MemoryPlatform& Empty() {
  static MemoryPlatform* empty = new MemoryPlatform;
  return *empty;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const char delimiter = static_cast<char>(data[0]);
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  for (const std::string& item : SplitQuoted(text, delimiter)) {
    fuzz::Check(!item.empty(), "SplitQuoted gave an empty item");
    // (A NUL delimiter joins quote groups with NULs: that is the delimiter, not the text.)
    fuzz::Check(delimiter == '\0' || item.find('\0') == std::string::npos,
                "SplitQuoted read past the first NUL");
  }

  const std::string file = GetCommandFileName(Machine(), text);
  fuzz::Check(file.empty() || FileExists(Machine(), file),
              "GetCommandFileName named a file that does not exist: " + file);

  ExpandEnvironmentText(Machine(), text);
  ExpandPathVariables(Machine(), text);
  fuzz::Check(ExpandEnvironmentText(Empty(), text) == text,
              "ExpandEnvironmentText changed text without variables");
  fuzz::Check(ExpandPathVariables(Empty(), text) == text,
              "ExpandPathVariables changed text without variables");
  return 0;
}
