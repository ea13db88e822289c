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

  VersionBlockContent content;
  content.fileVersion = VersionNumbers(TOVALIN_VERSION);
  content.productVersion = content.fileVersion;
  content.fileFlagsMask = 0x3F;
  content.fileOs = 4;    // VOS__WINDOWS32
  content.fileType = 1;  // VFT_APP
  content.translations.emplace_back(kLanguage, kCodePage);
  char tableName[9];
  std::snprintf(tableName, sizeof tableName, "%04X%04X", kLanguage, kCodePage);
  auto& [name, strings] = content.tables.emplace_back();
  name = tableName;
  for (const TVersionField& field : BuiltInVersionFields()) {
    strings.emplace_back(field.Key, field.Value);
  }
  return BuildVersionBlock(content);
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
