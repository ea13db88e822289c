#include "support/platform/wine/WinePrefixes.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <set>
#include <utility>

#include "support/Text.h"
#include "support/platform/Platform.h"
#include "support/platform/wine/WineServer.h"
#include "support/regfile/RegFileInput.h"
#include "support/regfile/WineRegFile.h"

namespace tovalin {

namespace fs = std::filesystem;

const char* SourceKey(WinePrefixSource source) {
  switch (source) {
    case WinePrefixSource::Environment:
      return "environment";
    case WinePrefixSource::Default:
      return "default";
    case WinePrefixSource::Winetricks:
      return "winetricks";
    case WinePrefixSource::PlayOnLinux:
      return "playonlinux";
    case WinePrefixSource::CrossOver:
      return "crossover";
    case WinePrefixSource::Bottles:
      return "bottles";
    case WinePrefixSource::BottlesFlatpak:
      return "bottles-flatpak";
    case WinePrefixSource::Lutris:
      return "lutris";
    case WinePrefixSource::Added:
      return "added";
  }
  return "?";
}

const char* SourceLabelJa(WinePrefixSource source) {
  switch (source) {
    case WinePrefixSource::Environment:
      return "環境変数 WINEPREFIX";
    case WinePrefixSource::Default:
      return "既定 (~/.wine)";
    case WinePrefixSource::Winetricks:
      return "winetricks";
    case WinePrefixSource::PlayOnLinux:
      return "PlayOnLinux";
    case WinePrefixSource::CrossOver:
      return "CrossOver のボトル";
    case WinePrefixSource::Bottles:
      return "Bottles のボトル";
    case WinePrefixSource::BottlesFlatpak:
      return "Bottles のボトル (Flatpak)";
    case WinePrefixSource::Lutris:
      return "Lutris";
    case WinePrefixSource::Added:
      return "追加したフォルダー";
  }
  return "?";
}

const char* SourceLabelEn(WinePrefixSource source) {
  switch (source) {
    case WinePrefixSource::Environment:
      return "WINEPREFIX";
    case WinePrefixSource::Default:
      return "default (~/.wine)";
    case WinePrefixSource::Winetricks:
      return "winetricks";
    case WinePrefixSource::PlayOnLinux:
      return "PlayOnLinux";
    case WinePrefixSource::CrossOver:
      return "CrossOver bottle";
    case WinePrefixSource::Bottles:
      return "Bottles bottle";
    case WinePrefixSource::BottlesFlatpak:
      return "Bottles bottle (Flatpak)";
    case WinePrefixSource::Lutris:
      return "Lutris";
    case WinePrefixSource::Added:
      return "added folder";
  }
  return "?";
}

namespace {

constexpr std::string_view kMagic = "WINE REGISTRY Version 2";
constexpr std::string_view kRelative = ";; All keys relative to ";
// As the hive files write them: backslashes doubled.
constexpr std::string_view kUninstallKeys[] = {
    R"([Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\)",
    R"([Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\)",
};
constexpr std::string_view kWowKey = R"([Software\\Wow6432Node)";

std::string_view LineAt(std::string_view text, std::size_t at, std::size_t& next) {
  const std::size_t end = text.find('\n', at);
  next = end == std::string_view::npos ? text.size() : end + 1;
  std::string_view line = text.substr(at, (end == std::string_view::npos ? text.size() : end) - at);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A link to nothing still counts: the prefix is there, only broken.
bool Present(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

bool DanglingLink(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && stat(path.c_str(), &st) != 0;
}

std::string FolderName(const std::string& path) {
  const fs::path normal = fs::path(path).lexically_normal();
  const std::string name =
      (normal.has_filename() ? normal.filename() : normal.parent_path().filename()).string();
  return name.empty() ? path : name;
}

// Bottles keeps the name the user gave in bottle.yml; the folder may be named differently.
std::string BottleName(const std::string& folder) {
  std::string text;
  try {
    text = ReadRegistryFile(folder + "/bottle.yml");
  } catch (const std::exception&) {
    return {};
  }
  std::size_t next = 0;
  for (std::size_t at = 0; at < text.size(); at = next) {
    std::string_view line = LineAt(text, at, next);
    if (!line.starts_with("Name:")) continue;
    line.remove_prefix(5);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (line.size() >= 2 && (line.front() == '"' || line.front() == '\'') &&
        line.back() == line.front()) {
      line = line.substr(1, line.size() - 2);
    }
    return std::string(line);
  }
  return {};
}

// The magic line and the ";;" line of the header, which OpenWinePrefix refuses a hive without.
// Returns the header's "#arch=" value through `arch`.
std::string HeaderProblem(std::string_view text, const std::string& path,
                          std::string_view relativeStart, const char* notRelated,
                          std::string* arch = nullptr) {
  if (text.empty()) return EmptyRegistryFileMessage(path);
  std::size_t next = 0;
  if (LineAt(text, 0, next) != kMagic)
    return path + " は Wine のレジストリファイルではありません。";
  bool related = false;
  for (std::size_t at = next; at < text.size() && text[at] != '['; at = next) {
    const std::string_view line = LineAt(text, at, next);
    if (line.starts_with(kRelative)) {
      related = StartsWithNoCase(line.substr(kRelative.size()), relativeStart);
    } else if (arch != nullptr && line.starts_with("#arch=")) {
      *arch = std::string(line.substr(6));
    }
  }
  return related ? std::string() : path + notRelated;
}

// The value of one key block, through the hive parser so that its escapes read as Wine wrote
// them. A block it refuses just has no name.
std::string DisplayName(std::string_view values) {
  std::string text = std::string(kMagic) + "\n[K] 0\n";
  text += values;
  try {
    const WineHive hive = ParseWineRegistry(text, "system.reg");
    const RegNode* key = hive.root->FindChild("K");
    const RegValue* value = key != nullptr ? key->FindValue("DisplayName") : nullptr;
    if (value == nullptr || (value->type != win::kRegSz && value->type != win::kRegExpandSz)) {
      return {};
    }
    std::u16string name = Utf16FromBytes(value->data.data(), value->data.size());
    while (!name.empty() && name.back() == u'\0') name.pop_back();
    return Utf16ToUtf8(name);
  } catch (const std::exception&) {
    return {};
  }
}

int MajorVersion(const std::string& version) {
  return std::atoi(version.c_str());
}

// One pass over the lines: only key lines are looked at, and only the blocks of Office's
// uninstall keys are parsed.
void ScanMachineHive(std::string_view text, const OfficeVersionOfProduct& officeVersionOf,
                     FoundWinePrefix& found) {
  bool wow = false;
  std::set<std::string> seen;
  std::size_t next = 0;
  for (std::size_t at = 0; at < text.size(); at = next) {
    const std::string_view line = LineAt(text, at, next);
    if (line.empty() || line.front() != '[') continue;
    if (!wow && StartsWithNoCase(line, kWowKey)) wow = true;
    if (!officeVersionOf) continue;
    for (const std::string_view key : kUninstallKeys) {
      if (!StartsWithNoCase(line, key)) continue;
      const std::string_view rest = line.substr(key.size());
      const std::size_t close = rest.find(']');
      const std::string_view code = rest.substr(0, close);
      // A subkey of an entry, or a name with escapes: no product code.
      if (close == std::string_view::npos || code.find('\\') != std::string_view::npos) break;
      const std::optional<std::string> version = officeVersionOf(code);
      if (!version || !seen.insert(AsciiUpperCase(code)).second) break;
      std::size_t blockEnd = next;
      while (blockEnd < text.size() && text[blockEnd] != '[') {
        std::size_t after = 0;
        LineAt(text, blockEnd, after);
        blockEnd = after;
      }
      found.office.push_back(
          {*version, std::string(code), DisplayName(text.substr(next, blockEnd - next))});
      break;
    }
  }
  if (found.arch.empty()) found.arch = wow ? "win64" : "win32";
  std::stable_sort(found.office.begin(), found.office.end(),
                   [](const PrefixOfficeProduct& a, const PrefixOfficeProduct& b) {
                     return MajorVersion(a.version) > MajorVersion(b.version);
                   });
}

void Examine(const std::string& path, const OfficeVersionOfProduct& officeVersionOf,
             FoundWinePrefix& found) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    found.problem = FileProblemMessage(path, errno);
    return;
  }
  if (!S_ISDIR(st.st_mode)) {
    found.problem = path + " はフォルダーではありません。";
    return;
  }
  const std::string systemPath = path + "/system.reg";
  try {
    const std::string text = ReadRegistryFile(systemPath);
    found.problem =
        HeaderProblem(text, systemPath, R"(REGISTRY\\Machine)",
                      " は HKEY_LOCAL_MACHINE のレジストリファイルではありません。", &found.arch);
    if (found.problem.empty()) ScanMachineHive(text, officeVersionOf, found);
  } catch (const RegFileError& error) {
    found.problem = error.what();
  }
  const std::string userPath = path + "/user.reg";
  try {
    const std::string text = ReadRegistryFile(userPath);
    const std::string problem = HeaderProblem(text, userPath, R"(REGISTRY\\User\\)",
                                              " はユーザーのレジストリファイルではありません。");
    if (found.problem.empty()) found.problem = problem;
  } catch (const RegFileError& error) {
    if (found.problem.empty()) found.problem = error.what();
  }
  found.serverRunning = WineServerProbe(path).Running();
}

// The folders under the home folder where the tools keep one prefix per subfolder.
constexpr std::pair<const char*, WinePrefixSource> kToolFolders[] = {
    {"/.local/share/wineprefixes", WinePrefixSource::Winetricks},
    {"/.PlayOnLinux/wineprefix", WinePrefixSource::PlayOnLinux},
    {"/.cxoffice", WinePrefixSource::CrossOver},
    {"/.local/share/bottles/bottles", WinePrefixSource::Bottles},
    {"/.var/app/com.usebottles.bottles/data/bottles/bottles", WinePrefixSource::BottlesFlatpak},
    {"/Games", WinePrefixSource::Lutris},
};

struct Candidate {
  std::string path;
  WinePrefixSource source;
};

// The folders directly inside `parent` that hold a hive, or are links to nothing.
void AddChildren(const std::string& parent, WinePrefixSource source, std::vector<Candidate>& out) {
  std::error_code error;
  fs::directory_iterator it(parent, error);
  if (error) return;
  std::vector<std::string> names;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) break;
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = parent + "/" + name;
    const bool prefix = IsDirectory(path)
                            ? Present(path + "/system.reg") || Present(path + "/user.reg")
                            : DanglingLink(path);
    if (prefix) out.push_back({path, source});
  }
}

std::string SameFolderKey(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) != nullptr) return resolved;
  return fs::path(path).lexically_normal().string();
}

}  // namespace

FoundWinePrefix ExamineWinePrefix(const std::string& path, WinePrefixSource source,
                                  const OfficeVersionOfProduct& officeVersionOf) {
  FoundWinePrefix found;
  found.path = path;
  found.source = source;
  try {
    found.name = FolderName(path);
    if (source == WinePrefixSource::Bottles || source == WinePrefixSource::BottlesFlatpak) {
      if (std::string name = BottleName(path); !name.empty()) found.name = std::move(name);
    }
    Examine(path, officeVersionOf, found);
  } catch (const std::exception& error) {
    if (found.problem.empty()) found.problem = error.what();
  }
  return found;
}

std::vector<FoundWinePrefix> FindWinePrefixes(const WinePrefixSearch& search) {
  std::vector<Candidate> candidates;
  if (!search.winePrefix.empty()) {
    candidates.push_back({search.winePrefix, WinePrefixSource::Environment});
  }
  const std::string& home = search.home;
  if (!home.empty()) {
    if (Present(home + "/.wine"))
      candidates.push_back({home + "/.wine", WinePrefixSource::Default});
    for (const auto& [folder, source] : kToolFolders) {
      AddChildren(home + folder, source, candidates);
    }
  }
  for (const std::string& folder : search.addedFolders) {
    if (!folder.empty()) candidates.push_back({folder, WinePrefixSource::Added});
  }

  std::vector<FoundWinePrefix> list;
  std::set<std::string> seen;
  for (const Candidate& candidate : candidates) {
    if (!seen.insert(SameFolderKey(candidate.path)).second) continue;
    list.push_back(ExamineWinePrefix(candidate.path, candidate.source, search.officeVersionOf));
  }
  return list;
}

std::vector<std::string> WinePrefixPlaces(const WinePrefixSearch& search) {
  std::vector<std::string> places;
  if (!search.winePrefix.empty()) places.push_back(search.winePrefix);
  if (!search.home.empty()) {
    places.push_back(search.home + "/.wine");
    for (const auto& [folder, source] : kToolFolders) places.push_back(search.home + folder);
  }
  for (const std::string& folder : search.addedFolders) {
    if (!folder.empty()) places.push_back(folder);
  }
  return places;
}

PrefixToOpen ChoosePrefixToOpen(const std::vector<FoundWinePrefix>& found,
                                std::string_view winePrefix, std::string_view remembered) {
  if (!winePrefix.empty()) return {PrefixToOpen::Kind::Open, std::string(winePrefix)};
  std::vector<const FoundWinePrefix*> withOffice;
  for (const FoundWinePrefix& prefix : found) {
    if (prefix.Usable() && !prefix.office.empty()) withOffice.push_back(&prefix);
  }
  for (const FoundWinePrefix* prefix : withOffice) {
    if (!remembered.empty() && prefix->path == remembered) {
      return {PrefixToOpen::Kind::Open, prefix->path};
    }
  }
  if (withOffice.size() == 1) return {PrefixToOpen::Kind::Open, withOffice.front()->path};
  return {PrefixToOpen::Kind::Ask, {}};
}

}  // namespace tovalin
