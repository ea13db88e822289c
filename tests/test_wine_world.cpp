// The Wine prefix world: a temporary prefix made of small hive files, opened for writing, so the
// shared test bodies run against the hive-backed registry, the prefix's drive C: and real
// processes that look like Wine's.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/Text.h"
#include "support/platform/wine/WinePlatform.h"
#include "support/platform/wine/WinePrefix.h"
#include "tests/World.h"
#include "tests/wine/WineTestSupport.h"

namespace tovalin::test {

namespace {

std::string JoinKey(std::string_view base, std::string_view sub) {
  std::string joined(base);
  if (!joined.empty() && !sub.empty()) joined.push_back('\\');
  joined.append(sub);
  return joined;
}

// One copy of sleep(1) named like Wine's loader, shared by every world of the run: started with
// a Windows path as argv[0] and WINEPREFIX set, it is a Wine process to the platform.
const std::string& FakeLoader() {
  static winetest::TempDir dir("tovalin-loader");
  static const std::string loader = [] {
    const std::string path = dir.path() + "/wine64";
    if (winetest::Run({"cp", "/bin/sleep", path}, {"PATH=/usr/bin:/bin"}) != 0) {
      ADD_FAILURE() << "cannot copy /bin/sleep";
    }
    return path;
  }();
  return loader;
}

class WineWorld : public World {
 public:
  WineWorld() {
    WineOpenOptions options;
    options.writable = true;
    // Files a repair removes go to a trash of the prefix's, not the desktop's.
    options.hostUser = HostUser{prefix_.path() + "/xdg-data", prefix_.path(), getuid()};
    platform_ = OpenWinePrefix(prefix_.path(), options);
    wine_ = dynamic_cast<WinePrefixPlatform*>(platform_.get());
    AddFolder(Root());
  }
  ~WineWorld() override {
    for (const pid_t pid : started_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

  Platform& platform() override { return *platform_; }
  bool Supports(Feature feature) const override {
    return feature == Feature::RealProcesses || feature == Feature::LongKeyNames ||
           feature == Feature::FileLinks;
  }
  std::string Name() const override { return "WinePrefix"; }

  // --- registry, through the view the program has ---

  void CreateKey(RootKey root, std::string_view path) override {
    IRegistry& registry = platform_->Registry();
    RegHandle key = 0;
    if (registry.CreateKey(registry.Root(root), path, win::kKeyAllAccess, key) != win::kSuccess) {
      ADD_FAILURE() << "cannot create the key " << path;
      return;
    }
    registry.CloseKey(key);
  }

  void SetValue(RootKey root, std::string_view path, std::string_view name, std::uint32_t type,
                const std::vector<std::uint8_t>& data) override {
    IRegistry& registry = platform_->Registry();
    RegHandle key = 0;
    if (registry.CreateKey(registry.Root(root), path, win::kKeyAllAccess, key) != win::kSuccess) {
      ADD_FAILURE() << "cannot create the key " << path;
      return;
    }
    if (registry.SetValue(key, name, type, data) != win::kSuccess) {
      ADD_FAILURE() << "cannot set " << path << "\\" << name;
    }
    registry.CloseKey(key);
  }

  void DeleteTree(RootKey root, std::string_view path) override {
    IRegistry& registry = platform_->Registry();
    RegHandle key = 0;
    if (registry.OpenKey(registry.Root(root), path, win::kKeyRead, key) == win::kSuccess) {
      std::vector<std::string> children;
      std::string name;
      for (std::uint32_t i = 0; registry.EnumKey(key, i, 32768, name) == win::kSuccess; ++i) {
        children.push_back(name);
      }
      registry.CloseKey(key);
      for (const std::string& child : children) DeleteTree(root, JoinKey(path, child));
    }
    registry.DeleteKey(registry.Root(root), path);
  }

  bool KeyExists(RootKey root, std::string_view path) override {
    IRegistry& registry = platform_->Registry();
    RegHandle key = 0;
    if (registry.OpenKey(registry.Root(root), path, 0, key) != win::kSuccess) return false;
    registry.CloseKey(key);
    return true;
  }

  void SetKeyAccess(RootKey, std::string_view, std::uint32_t) override {
    ADD_FAILURE() << "key access limits need Feature::KeyAccessLimits";
  }

  // --- files on drive C: of the prefix ---

  // In the user's profile folder, where a prefix lets repairs delete.
  std::string Root() override { return "C:\\users\\tester\\tovalin-test"; }

  void AddFile(std::string_view path, const std::vector<std::uint8_t>& content,
               std::uint32_t attributes) override {
    const std::string file = MakeParents(path);
    if (file.empty()) return;
    chmod(file.c_str(), 0644);
    std::string written = file;
    if (attributes & win::kFileAttributeReparsePoint) {
      // The content goes to a file outside the prefix's drives; the path links to it.
      written = prefix_.path() + "/linked-" + std::to_string(++links_);
      unlink(file.c_str());
      if (symlink(written.c_str(), file.c_str()) != 0) ADD_FAILURE() << "cannot link " << path;
    }
    winetest::WriteText(written, std::string(content.begin(), content.end()));
    ApplyAttributes(written, attributes);
  }

  void AddFolder(std::string_view path) override {
    const std::string folder = MakeParents(path);
    if (!folder.empty()) mkdir(folder.c_str(), 0755);
  }

  bool FileExists(std::string_view path) override {
    return platform_->Files().GetFileAttributes(path) != win::kInvalidFileAttributes;
  }

  void ForgetTrashed(const TrashedFile& trashed) override {
    unlink(trashed.trashed.c_str());
    unlink(trashed.info.c_str());
  }

  // A program of the prefix takes the user's variables from HKCU\Environment.
  void SetEnv(std::string_view name, std::string_view value) override {
    std::vector<std::uint8_t> data = Utf8ToUtf16Bytes(value);
    data.push_back(0);
    data.push_back(0);
    SetValue(RootKey::CurrentUser, "Environment", name, win::kRegSz, data);
  }

  // --- processes ---

  std::uint32_t AddProcess(std::string_view imagePath) override {
    if (!FileExists(imagePath)) AddFile(imagePath, {'M', 'Z'}, win::kFileAttributeArchive);
    const std::string argv0(imagePath);
    const pid_t pid = winetest::Spawn(
        FakeLoader(), {argv0, "3600"},
        {"PATH=/usr/bin:/bin", "WINEPREFIX=" + prefix_.path(), "HOME=" + prefix_.path()});
    if (pid <= 0) {
      ADD_FAILURE() << "cannot start " << imagePath;
      return 0;
    }
    started_.push_back(pid);
    // Listed once exec has put the Windows path in place.
    for (int i = 0; i < 400; ++i) {
      if (wine_->WineProcessList().Inspect(pid)) break;
      usleep(5000);
    }
    return static_cast<std::uint32_t>(pid);
  }

  bool ProcessRunning(std::uint32_t pid) override {
    waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG);  // collect it if it has ended
    return !winetest::ProcessGone(static_cast<pid_t>(pid));
  }

  void SetDebugPrivilegeAllowed(bool allowed) override {
    if (!allowed) ADD_FAILURE() << "denying the debug privilege needs Feature::PrivilegeControl";
  }

  void SetPlatformId(std::uint32_t id) override {
    if (id != platform_->Processes().PlatformId()) {
      ADD_FAILURE() << "another platform id needs Feature::PlatformChoice";
    }
  }

 private:
  // The Unix path for a Windows path, its missing folders made; "" when the drive is unknown.
  std::string MakeParents(std::string_view path) {
    char drive = 'c';
    std::vector<std::string> parts;
    if (!SplitWindowsPath(path, drive, parts) || parts.empty()) {
      ADD_FAILURE() << "not a path on a drive: " << path;
      return {};
    }
    WineFileSystem& files = wine_->WineFiles();
    std::string windows = std::string(1, drive) + ":";
    std::string unix = prefix_.path() + "/dosdevices/" + drive + ":";
    for (std::size_t i = 0; i < parts.size(); ++i) {
      windows += "\\" + parts[i];
      if (std::optional<std::string> existing = files.UnixPath(windows)) {
        unix = *existing;
        continue;
      }
      unix += "/" + parts[i];
      if (i + 1 < parts.size()) mkdir(unix.c_str(), 0755);
    }
    return unix;
  }

  // Read-only through the mode, hidden and system where Wine keeps them.
  static void ApplyAttributes(const std::string& file, std::uint32_t attributes) {
    const std::uint32_t stored =
        attributes & (win::kFileAttributeHidden | win::kFileAttributeSystem);
    if (stored != 0) {
      char text[16];
      std::snprintf(text, sizeof(text), "0x%x", stored);
      setxattr(file.c_str(), "user.DOSATTRIB", text, std::char_traits<char>::length(text), 0);
    }
    if (attributes & win::kFileAttributeReadOnly) chmod(file.c_str(), 0444);
  }

  winetest::TemplatePrefix prefix_;
  std::unique_ptr<Platform> platform_;
  WinePrefixPlatform* wine_ = nullptr;
  std::vector<pid_t> started_;
  int links_ = 0;
};

}  // namespace

std::unique_ptr<World> MakeWineWorld() {
  return std::make_unique<WineWorld>();
}

}  // namespace tovalin::test
