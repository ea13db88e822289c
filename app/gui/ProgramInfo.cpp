#include "app/gui/ProgramInfo.h"

#include <QCoreApplication>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "support/Text.h"
#include "support/VersionBlock.h"
#include "support/ZelVersionInfo.h"

#ifdef _WIN32
#include <windows.h>
#endif

#ifndef TOVALIN_VERSION
#define TOVALIN_VERSION "1.0.0"
#endif

namespace tovalin {

namespace {

void PutWord(std::vector<std::uint8_t>& out, std::uint16_t word) {
  out.push_back(static_cast<std::uint8_t>(word & 0xFF));
  out.push_back(static_cast<std::uint8_t>(word >> 8));
}

void PutDword(std::vector<std::uint8_t>& out, std::uint32_t dword) {
  PutWord(out, static_cast<std::uint16_t>(dword & 0xFFFF));
  PutWord(out, static_cast<std::uint16_t>(dword >> 16));
}

void Pad4(std::vector<std::uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

// One node of the block: wLength, wValueLength, wType, its key, its value, its children, each
// part starting on a 4-byte boundary.
std::vector<std::uint8_t> VersionNode(std::string_view key, const std::vector<std::uint8_t>& value,
                                      std::uint16_t valueLength, bool text,
                                      const std::vector<std::vector<std::uint8_t>>& children) {
  std::vector<std::uint8_t> out(6, 0);
  const std::vector<std::uint8_t> keyBytes = Utf8ToUtf16Bytes(key);
  out.insert(out.end(), keyBytes.begin(), keyBytes.end());
  PutWord(out, 0);
  Pad4(out);
  out.insert(out.end(), value.begin(), value.end());
  for (const std::vector<std::uint8_t>& child : children) {
    Pad4(out);
    out.insert(out.end(), child.begin(), child.end());
  }
  out[0] = static_cast<std::uint8_t>(out.size() & 0xFF);
  out[1] = static_cast<std::uint8_t>(out.size() >> 8);
  out[2] = static_cast<std::uint8_t>(valueLength & 0xFF);
  out[3] = static_cast<std::uint8_t>(valueLength >> 8);
  out[4] = text ? 1 : 0;
  return out;
}

// "1.2.3" as the four numbers of a fixed file version.
std::array<std::uint16_t, 4> VersionNumbers(std::string_view text) {
  std::array<std::uint16_t, 4> numbers{};
  std::istringstream in{std::string(text)};
  std::string part;
  for (std::size_t i = 0; i < numbers.size() && std::getline(in, part, '.'); ++i) {
    numbers[i] = static_cast<std::uint16_t>(std::strtoul(part.c_str(), nullptr, 10));
  }
  return numbers;
}

#ifndef _WIN32
// The machine as it is, except that the program's own path is a file that carries the built-in
// version resource.
class OwnFileSystem : public IFileSystem {
 public:
  OwnFileSystem(IFileSystem& machine, std::string self)
      : machine_(machine), self_(std::move(self)) {}
  bool IsSelf(std::string_view path) const { return path == self_; }

  std::uint32_t GetFileAttributes(std::string_view path) override {
    return IsSelf(path) ? win::kFileAttributeArchive : machine_.GetFileAttributes(path);
  }
  std::vector<FindEntry> FindFiles(std::string_view pattern) override {
    return machine_.FindFiles(pattern);
  }
  bool DeleteFile(std::string_view path) override {
    return !IsSelf(path) && machine_.DeleteFile(path);
  }
  std::optional<std::vector<std::uint8_t>> ReadFile(std::string_view path) override {
    return machine_.ReadFile(path);
  }
  std::string HostPath(std::string_view path) override {
    return IsSelf(path) ? self_ : machine_.HostPath(path);
  }

 private:
  IFileSystem& machine_;
  std::string self_;
};

class OwnVersionResources : public IVersionResources {
 public:
  OwnVersionResources(IVersionResources& machine, const OwnFileSystem& files)
      : machine_(machine), files_(files) {}
  std::vector<std::uint8_t> GetFileVersionInfo(std::string_view path) override {
    return files_.IsSelf(path) ? BuiltInVersionBlock() : machine_.GetFileVersionInfo(path);
  }
  bool QueryValue(const std::vector<std::uint8_t>& block, std::string_view subBlock,
                  std::vector<std::uint8_t>& value) override {
    return QueryVersionBlock(block, subBlock, value);
  }

 private:
  IVersionResources& machine_;
  const OwnFileSystem& files_;
};

class OwnPlatform : public Platform {
 public:
  OwnPlatform(Platform& machine, const std::string& self)
      : machine_(machine), files_(machine.Files(), self), versions_(machine.Versions(), files_) {}
  IRegistry& Registry() override { return machine_.Registry(); }
  IFileSystem& Files() override { return files_; }
  IEnvironment& Environment() override { return machine_.Environment(); }
  IVersionResources& Versions() override { return versions_; }
  IIcons& Icons() override { return machine_.Icons(); }
  IProcesses& Processes() override { return machine_.Processes(); }

 private:
  Platform& machine_;
  OwnFileSystem files_;
  OwnVersionResources versions_;
};
#endif

}  // namespace

std::vector<TVersionField> BuiltInVersionFields() {
  return {
      {"CompanyName", "Zaro Vadera \"Harrow\""},
      {"FileDescription", "Microsoft Office トラブル解決ユーティリティ"},
      {"FileVersion", TOVALIN_VERSION},
      {"InternalName", "Tovalin"},
      {"LegalCopyright", "Copyright (C) Zaro Vadera \"Harrow\""},
      {"OriginalFilename", "tovalin.exe"},
      {"ProductName", "Tovalin"},
      {"ProductVersion", TOVALIN_VERSION},
      {"ProductNameEn", "Tovalin"},
  };
}

std::vector<std::uint8_t> BuiltInVersionBlock() {
  constexpr std::uint16_t kLanguage = 0x0411;
  constexpr std::uint16_t kCodePage = 932;

  std::vector<std::uint8_t> fixed;
  PutDword(fixed, 0xFEEF04BD);  // signature
  PutDword(fixed, 0x00010000);  // structure version
  const std::array<std::uint16_t, 4> version = VersionNumbers(TOVALIN_VERSION);
  for (int twice = 0; twice < 2; ++twice) {  // file version, then product version
    PutDword(fixed, (static_cast<std::uint32_t>(version[0]) << 16) | version[1]);
    PutDword(fixed, (static_cast<std::uint32_t>(version[2]) << 16) | version[3]);
  }
  PutDword(fixed, 0x3F);  // flags mask
  PutDword(fixed, 0);     // flags
  PutDword(fixed, 4);     // VOS__WINDOWS32
  PutDword(fixed, 1);     // VFT_APP
  PutDword(fixed, 0);     // subtype
  PutDword(fixed, 0);     // date
  PutDword(fixed, 0);

  std::vector<std::vector<std::uint8_t>> strings;
  for (const TVersionField& field : BuiltInVersionFields()) {
    std::vector<std::uint8_t> value = Utf8ToUtf16Bytes(field.Value);
    PutWord(value, 0);
    strings.push_back(
        VersionNode(field.Key, value, static_cast<std::uint16_t>(value.size() / 2), true, {}));
  }
  char tableName[9];
  std::snprintf(tableName, sizeof tableName, "%04X%04X", kLanguage, kCodePage);
  const std::vector<std::uint8_t> table = VersionNode(tableName, {}, 0, true, strings);
  const std::vector<std::uint8_t> stringInfo = VersionNode("StringFileInfo", {}, 0, true, {table});

  std::vector<std::uint8_t> translation;
  PutWord(translation, kLanguage);
  PutWord(translation, kCodePage);
  const std::vector<std::uint8_t> var = VersionNode("Translation", translation, 4, false, {});
  const std::vector<std::uint8_t> varInfo = VersionNode("VarFileInfo", {}, 0, true, {var});

  return VersionNode("VS_VERSION_INFO", fixed, static_cast<std::uint16_t>(fixed.size()), false,
                     {stringInfo, varInfo});
}

TProgramFile::TProgramFile(Platform& machine) : platform_(&machine) {
#ifdef _WIN32
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length < path.size() ? length : 0);
  fileName_ = Utf16ToUtf8(std::u16string(path.begin(), path.end()));
#else
  fileName_ = QCoreApplication::applicationFilePath().toStdString();
  if (fileName_.empty()) fileName_ = "tovalin";
  own_ = std::make_unique<OwnPlatform>(machine, fileName_);
  platform_ = own_.get();
#endif
}

TProgramFile::~TProgramFile() = default;

Platform& TProgramFile::GetPlatform() {
  return *platform_;
}

TProgramInfo ReadProgramInfo(Platform& platform) {
  TProgramFile self(platform);
  TZelVersionInfo version(self.GetPlatform());
  version.LoadFromFile(self.FileName());
  return {version.GetProductName(), version.GetProductNameEn(), version.GetProductVersion(),
          version.GetLegalCopyright()};
}

}  // namespace tovalin
