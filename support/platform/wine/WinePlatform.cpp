#include "support/platform/wine/WinePlatform.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <optional>
#include <thread>

#include "support/LittleEndian.h"
#include "support/PeReader.h"
#include "support/Text.h"
#include "support/VersionBlock.h"
#include "support/platform/wine/WinePrefix.h"

namespace tovalin {

namespace {

bool ShowDotFiles(WineRegistry& registry) {
  const RegNode* key = registry.RawFind(WineHiveId::User, "Software\\Wine");
  const RegValue* value = key != nullptr ? key->FindValue("ShowDotFiles") : nullptr;
  if (value == nullptr || value->data.size() < 2) return false;
  // Wine takes the first character: Y, T or 1 mean yes.
  const char16_t first = static_cast<char16_t>(LoadLe16(value->data.data()));
  return first == u'Y' || first == u'y' || first == u'T' || first == u't' || first == u'1';
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') {
    const passwd* entry = getpwuid(getuid());
    home = entry != nullptr ? entry->pw_dir : nullptr;
  }
  return home != nullptr ? home : "";
}

HostUser ProcessUser() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  return HostUser{dataHome != nullptr ? dataHome : "", HomeFolder(), getuid()};
}

}  // namespace

std::string DefaultWinePrefix() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
    return prefix;
  }
  return HomeFolder() + "/.wine";
}

std::unique_ptr<Platform> OpenWinePrefix(const std::string& prefixDir,
                                         const WineOpenOptions& options) {
  if (prefixDir.empty()) throw WinePrefixError("Wine のプレフィックスが指定されていません。");
  struct stat st {};
  if (stat(prefixDir.c_str(), &st) != 0) {
    throw WinePrefixError("Wine のプレフィックス " + prefixDir + " が見つかりません。");
  }
  if (!S_ISDIR(st.st_mode)) {
    throw WinePrefixError(prefixDir +
                          " はフォルダーではないため、Wine のプレフィックスとして"
                          "開けません。");
  }
  char resolved[PATH_MAX];
  if (realpath(prefixDir.c_str(), resolved) == nullptr) {
    throw WinePrefixError("Wine のプレフィックス " + prefixDir + " を開けません。");
  }
  const std::string prefix = resolved;

  if (options.writable) {
    struct statvfs fs {};
    bool writable = access(prefix.c_str(), W_OK) == 0 &&
                    !(statvfs(prefix.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0);
    for (const char* hive : {"system.reg", "user.reg", "userdef.reg"}) {
      const std::string path = prefix + "/" + hive;
      if (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0) writable = false;
    }
    if (!writable) {
      throw WinePrefixError("Wine のプレフィックス " + prefix +
                            " に書き込めないため、変更のために開けません。");
    }
  }
  return std::make_unique<WinePrefixPlatform>(prefix, options);
}

WinePrefixPlatform::WinePrefixPlatform(const std::string& prefixDir, const WineOpenOptions& options)
    : prefix_(prefixDir),
      registry_(prefixDir, options.writable, options.fileTimeClock),
      files_(prefixDir, options.hostUser ? *options.hostUser : ProcessUser()),
      environment_(registry_),
      versions_(files_),
      icons_(files_),
      processes_(prefixDir, files_, environment_),
      holders_(prefixDir, processes_) {
  files_.SetShowDotFiles(ShowDotFiles(registry_));
  registry_.SetLockTimeout(options.lockTimeout);
  files_.SetEnvironment(&environment_);
}

// --- the programs that hold the registry ---

std::vector<std::string> WineStoreHolders::Programs() {
  std::vector<ProcessEntry> entries;
  processes_.Snapshot(entries);
  std::vector<std::string> names;
  for (ProcessEntry& entry : entries) names.push_back(std::move(entry.exeFile));
  return names;
}

bool WineStoreHolders::WaitUntilFree(std::chrono::milliseconds limit,
                                     const std::function<bool()>& keepWaiting) {
  using Clock = std::chrono::steady_clock;
  // The server ends a few seconds after its last program; after programs were killed it
  // sometimes stays on with none left. Longer than that linger without a program, it is asked
  // to save and end.
  constexpr std::chrono::seconds kIdleServer{5};
  const auto end = Clock::now() + limit;
  std::optional<Clock::time_point> idleSince;
  for (;;) {
    const bool programs = !processes_.List().empty();
    if (!probe_.Running()) {
      if (!programs) return true;
      idleSince.reset();  // a program is still starting its server
    } else if (programs) {
      idleSince.reset();
    } else if (!idleSince) {
      idleSince = Clock::now();
    } else if (Clock::now() - *idleSince > kIdleServer) {
      probe_.Stop();
      idleSince = Clock::now();
    }
    if (keepWaiting && !keepWaiting()) return false;
    if (Clock::now() >= end) return !Busy();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

void WineStoreHolders::EndPrograms() {
  // A program may start another while the list is being ended (`start.exe` its program, `cmd`
  // the next command): ending goes on until a look finds none left, a few rounds at most.
  constexpr int kRounds = 5;
  std::vector<ProcessEntry> entries;
  for (int round = 0; round < kRounds; ++round) {
    processes_.Snapshot(entries);
    if (entries.empty()) return;
    for (const ProcessEntry& entry : entries) {
      const ProcessHandle process = processes_.OpenProcess(win::kProcessAllAccess, entry.pid);
      if (process == 0) continue;  // ended meanwhile
      processes_.Terminate(process, 1);
      processes_.CloseProcess(process);
    }
  }
}

// --- version resources and icons ---

std::vector<std::uint8_t> WineVersionResources::GetFileVersionInfo(std::string_view path) {
  const std::optional<std::vector<std::uint8_t>> bytes = files_.ReadFile(path);
  if (!bytes) return {};
  return PeVersionResource(*bytes);
}

bool WineVersionResources::QueryValue(const std::vector<std::uint8_t>& block,
                                      std::string_view subBlock, std::vector<std::uint8_t>& value) {
  return QueryVersionBlock(block, subBlock, value);
}

IconHandle WineIcons::ExtractIcon(std::string_view path, std::uint32_t index) {
  const std::optional<std::vector<std::uint8_t>> bytes = files_.ReadFile(path);
  if (!bytes) return 0;
  std::vector<std::uint8_t> ico;
  const bool isIco = bytes->size() >= 6 && (*bytes)[0] == 0 && (*bytes)[1] == 0 &&
                     (*bytes)[2] == 1 && (*bytes)[3] == 0;
  if (isIco) {
    if (index == 0) ico = *bytes;
  } else {
    ico = PeIconGroupAsIco(*bytes, index);
  }
  if (ico.empty()) return 0;
  const IconHandle handle = next_++;
  live_[handle] = std::move(ico);
  return handle;
}

void WineIcons::DestroyIcon(IconHandle icon) {
  live_.erase(icon);
}

std::vector<std::uint8_t> WineIcons::IconData(IconHandle icon) {
  auto it = live_.find(icon);
  return it == live_.end() ? std::vector<std::uint8_t>() : it->second;
}

}  // namespace tovalin
