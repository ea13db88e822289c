// Reads the standard text fields of a file's version resource.
#pragma once

#include <string>
#include <string_view>

#include "support/platform/Platform.h"

namespace tovalin {

class TZelVersionInfo {
 public:
  explicit TZelVersionInfo(Platform& platform);

  // 2: the path is exactly a plain folder; 1: not an existing file; 0: otherwise (fields filled
  // as far as the resource allows).
  int LoadFromFile(std::string_view fileName);
  void Clear();

  std::string GetFileVersion() const { return FileVersion; }
  std::string GetLegalCopyright() const { return LegalCopyright; }
  std::string GetProductName() const { return ProductName; }
  std::string GetProductVersion() const { return ProductVersion; }
  std::string GetProductNameEn() const { return ProductNameEn; }
  std::string GetProductMajorMinor() const;

  // The fields, as UTF-8 text cut to their capacity less one byte on a character boundary.
  std::string CompanyName;
  std::string FileDescription;
  std::string FileVersion;
  std::string InternalName;
  std::string LegalCopyright;
  std::string OriginalFileName;
  std::string ProductName;
  std::string ProductVersion;
  std::string Comments;
  std::string LegalTrademarks;
  std::string PrivateBuild;
  std::string SpecialBuild;
  std::string ProductNameEn;

 private:
  Platform* platform_;
};

}  // namespace tovalin
