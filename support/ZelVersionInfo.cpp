#include "support/ZelVersionInfo.h"

#include <cstdio>

#include "support/LittleEndian.h"
#include "support/Text.h"
#include "support/ZelSysUtils.h"

namespace tovalin {

namespace {

constexpr std::size_t kShortField = 260;
constexpr std::size_t kLongField = 1024;

struct FieldEntry {
  const char* key;
  std::string TZelVersionInfo::*field;
  std::size_t capacity;  // bytes, with the terminating NUL
};

// Queried in this order on each pass.
constexpr FieldEntry kFields[] = {
    {"CompanyName", &TZelVersionInfo::CompanyName, kShortField},
    {"FileDescription", &TZelVersionInfo::FileDescription, kLongField},
    {"FileVersion", &TZelVersionInfo::FileVersion, kShortField},
    {"InternalName", &TZelVersionInfo::InternalName, kShortField},
    {"LegalCopyright", &TZelVersionInfo::LegalCopyright, kShortField},
    {"OriginalFileName", &TZelVersionInfo::OriginalFileName, kShortField},
    {"ProductName", &TZelVersionInfo::ProductName, kShortField},
    {"ProductNameEn", &TZelVersionInfo::ProductNameEn, kShortField},
    {"ProductVersion", &TZelVersionInfo::ProductVersion, kShortField},
    {"Comments", &TZelVersionInfo::Comments, kLongField},
    {"LegalTrademarks", &TZelVersionInfo::LegalTrademarks, kShortField},
    {"PrivateBuild", &TZelVersionInfo::PrivateBuild, kShortField},
    {"SpecialBuild", &TZelVersionInfo::SpecialBuild, kShortField},
};

std::string Hex4(unsigned value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%04X", value & 0xFFFF);
  return buffer;
}

// A text value as the caller of VerQueryValue sees it: up to its first NUL.
std::string ValueText(const std::vector<std::uint8_t>& bytes) {
  std::u16string text = Utf16FromBytes(bytes.data(), bytes.size());
  if (const std::size_t nul = text.find(u'\0'); nul != std::u16string::npos) text.resize(nul);
  return Utf16ToUtf8(text);
}

}  // namespace

TZelVersionInfo::TZelVersionInfo(Platform& platform) : platform_(&platform) {}

void TZelVersionInfo::Clear() {
  for (const FieldEntry& entry : kFields) (this->*entry.field).clear();
}

int TZelVersionInfo::LoadFromFile(std::string_view fileName) {
  Clear();
  if (platform_->Files().GetFileAttributes(fileName) == win::kFileAttributeDirectory) return 2;
  if (!FileExists(*platform_, fileName)) return 1;

  IVersionResources& versions = platform_->Versions();
  const std::vector<std::uint8_t> block = versions.GetFileVersionInfo(fileName);
  if (block.empty()) return 0;

  std::vector<std::uint8_t> value;
  if (!versions.QueryValue(block, "\\VarFileInfo\\Translation", value) || value.size() < 4) {
    return 0;
  }
  const unsigned language = LoadLe16(value.data());
  const unsigned codePage = LoadLe16(value.data() + 2);

  // Pass 1 reads the table the file names; a file that has none there often keeps its strings
  // under U.S. English with the same code page.
  const std::string prefixes[] = {"\\StringFileInfo\\" + Hex4(language) + Hex4(codePage) + "\\",
                                  "\\StringFileInfo\\0409" + Hex4(codePage) + "\\"};
  for (const std::string& prefix : prefixes) {
    bool any = false;
    for (const FieldEntry& entry : kFields) {
      if (!versions.QueryValue(block, prefix + entry.key, value)) continue;
      any = true;
      this->*entry.field = CutUtf8(ValueText(value), entry.capacity - 1);
    }
    if (any) break;
  }
  return 0;
}

std::string TZelVersionInfo::GetProductMajorMinor() const {
  const std::size_t dot = ProductVersion.find('.');
  if (dot == std::string::npos) return {};
  const std::size_t next = ProductVersion.find('.', dot + 1);
  return ProductVersion.substr(0, next);
}

}  // namespace tovalin
