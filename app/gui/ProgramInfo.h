// The program's own name, version and copyright, read from its version resource through the
// same reader as every other file's. On Windows that is the resource of the running executable;
// elsewhere the executable carries none, so the same fields are built into the program and
// served for the program's own path.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/platform/Platform.h"

namespace tovalin {

struct TProgramInfo {
  std::string ProductName;
  std::string ProductNameEn;
  std::string ProductVersion;
  std::string LegalCopyright;
};

// The fields of the Windows build's version resource (tovalin.rc), in that resource's order.
struct TVersionField {
  const char* Key;
  std::string Value;
};
std::vector<TVersionField> BuiltInVersionFields();

// The VS_VERSIONINFO block that carries BuiltInVersionFields, under the same translation as the
// Windows resource (Japanese, code page 932).
std::vector<std::uint8_t> BuiltInVersionBlock();

// The program's own file as the version reader sees it: a machine on which FileName() is a file
// whose version resource is the program's.
class TProgramFile {
 public:
  explicit TProgramFile(Platform& machine);
  ~TProgramFile();
  TProgramFile(const TProgramFile&) = delete;
  TProgramFile& operator=(const TProgramFile&) = delete;

  Platform& GetPlatform();
  const std::string& FileName() const { return fileName_; }

 private:
  Platform* platform_;
  std::unique_ptr<Platform> own_;
  std::string fileName_;
};

// The running program's values.
TProgramInfo ReadProgramInfo(Platform& platform);

}  // namespace tovalin
