#include "app/gui/ProgramInfo.h"

#include "support/ZelVersionInfo.h"

#ifdef _WIN32
#include <windows.h>

#include "support/Text.h"
#endif

#ifndef TOVALIN_VERSION
#define TOVALIN_VERSION "1.0.0"
#endif

namespace tovalin {

TProgramInfo BuiltInProgramInfo() {
  return {"Tovalin", "Tovalin", TOVALIN_VERSION, "Copyright (C) Zaro Vadera \"Harrow\""};
}

TProgramInfo ReadProgramInfo([[maybe_unused]] Platform& platform) {
  TProgramInfo info = BuiltInProgramInfo();
#ifdef _WIN32
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return info;
  path.resize(length);
  TZelVersionInfo version(platform);
  version.LoadFromFile(Utf16ToUtf8(std::u16string(path.begin(), path.end())));
  if (!version.GetProductName().empty()) {
    info.ProductName = version.GetProductName();
    info.ProductNameEn = version.GetProductNameEn();
    info.ProductVersion = version.GetProductVersion();
    info.LegalCopyright = version.GetLegalCopyright();
  }
#endif
  return info;
}

}  // namespace tovalin
