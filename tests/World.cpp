#include "tests/World.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <unistd.h>

#include <cstdlib>
#endif

#include "support/LittleEndian.h"
#include "support/Text.h"
#include "support/platform/memory/MemoryPlatform.h"

namespace tovalin::test {

#ifndef _WIN32
namespace {

// The tests change prefixes, and a change keeps its record in the user's history and moves files
// to the user's trash: every test binary, and every program it starts, gets a home for those of
// its own instead of the real user's, removed when it ends.
class OwnStateAndTrash {
 public:
  OwnStateAndTrash()
      : folder_(std::filesystem::temp_directory_path() /
                ("tovalin-test-home-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(folder_);
    ::setenv("XDG_STATE_HOME", (folder_ / "state").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (folder_ / "data").c_str(), 1);
  }
  ~OwnStateAndTrash() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  OwnStateAndTrash(const OwnStateAndTrash&) = delete;
  OwnStateAndTrash& operator=(const OwnStateAndTrash&) = delete;

 private:
  std::filesystem::path folder_;
};

const OwnStateAndTrash ownStateAndTrash;

}  // namespace
#endif

void World::SetString(RootKey root, std::string_view path, std::string_view name,
                      std::string_view text, std::uint32_t type) {
  std::vector<std::uint8_t> data = Utf8ToUtf16Bytes(text);
  data.push_back(0);
  data.push_back(0);
  SetValue(root, path, name, type, data);
}

void World::SetDword(RootKey root, std::string_view path, std::string_view name,
                     std::uint32_t value) {
  SetValue(root, path, name, 4, Le32Bytes(value));
}

void World::SetBinary(RootKey root, std::string_view path, std::string_view name,
                      const std::vector<std::uint8_t>& data) {
  SetValue(root, path, name, 3, data);
}

std::string WrongTypeWarning(RootKey root, std::string_view path, std::string_view name) {
  static const char* const kRoots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                       "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
  return std::string(kRoots[static_cast<int>(root)]) + "\\" + std::string(path) + " の値 " +
         (name.empty() ? std::string("(既定)") : std::string(name)) + " のデータ型が不正です";
}

namespace {

class MemoryWorld : public World {
 public:
  Platform& platform() override { return platform_; }
  bool Supports(Feature feature) const override { return feature != Feature::RealProcesses; }
  std::string Name() const override { return "Memory"; }

  void CreateKey(RootKey root, std::string_view path) override {
    platform_.registry.Ensure(root, path);
  }
  void SetValue(RootKey root, std::string_view path, std::string_view name, std::uint32_t type,
                const std::vector<std::uint8_t>& data) override {
    platform_.registry.SetValueDirect(root, path, name, type, data);
  }
  void DeleteTree(RootKey root, std::string_view path) override {
    const std::vector<std::string> parts = SplitPath(path);
    if (parts.empty()) return;
    std::string parent;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
      if (!parent.empty()) parent += "\\";
      parent += parts[i];
    }
    if (RegNode* node = platform_.registry.Find(root, parent)) node->RemoveChild(parts.back());
  }
  bool KeyExists(RootKey root, std::string_view path) override {
    return platform_.registry.Find(root, path) != nullptr;
  }
  void SetKeyAccess(RootKey root, std::string_view path, std::uint32_t access) override {
    platform_.registry.SetAccess(root, path, access);
  }

  std::string Root() override { return "C:\\tovalin-test"; }
  void AddFile(std::string_view path, const std::vector<std::uint8_t>& content,
               std::uint32_t attributes) override {
    platform_.files.AddFile(path, content, attributes);
  }
  void AddFolder(std::string_view path) override { platform_.files.AddFolder(path); }
  bool FileExists(std::string_view path) override { return platform_.files.Exists(path); }
  void ForgetTrashed(const TrashedFile&) override { platform_.files.EmptyTrash(); }

  void SetEnv(std::string_view name, std::string_view value) override {
    platform_.environment.Set(name, value);
  }

  std::uint32_t AddProcess(std::string_view imagePath) override {
    platform_.files.AddFile(imagePath);
    return platform_.processes.Add(nextPid_ += 4, imagePath).pid;
  }
  bool ProcessRunning(std::uint32_t pid) override {
    FakeProcess* p = platform_.processes.Find(pid);
    return p != nullptr && p->running;
  }
  void SetDebugPrivilegeAllowed(bool allowed) override {
    platform_.processes.holdsDebugPrivilege = allowed;
  }
  void SetPlatformId(std::uint32_t id) override { platform_.processes.platformId = id; }

 private:
  MemoryPlatform platform_;
  std::uint32_t nextPid_ = 1000;
};

}  // namespace

std::unique_ptr<World> MakeMemoryWorld() {
  return std::make_unique<MemoryWorld>();
}

std::string WorldName(const WorldParam& param) {
  return param.name;
}

std::vector<std::uint8_t> SampleFile(const std::string& relative) {
  std::string path =
      std::string(TOVALIN_SOURCE_DIR) + "/examples/sample-prefix/drive_c/" + relative;
#ifdef _WIN32
  // A cross-built test binary runs under Wine, where the source tree is on drive Z:.
  if (path.starts_with("/")) path = "Z:" + path;
#endif
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tovalin::test
