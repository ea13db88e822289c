// Items that act on Office's own per-user data: the Office clipboard switch, the menu bar
// restores and the release of files left locked after a crash.
#include <algorithm>
#include <optional>
#include <string>

#include "office/ZelMso.h"
#include "support/Text.h"
#include "support/ZelRegistry.h"
#include "support/ZelSysUtils.h"

namespace tovalin {

namespace {

constexpr const char* kCommonGeneral = "%s\\%s\\Common\\General";
constexpr const char* kAcbControl = "AcbControl";

// A folder a repair may delete in: a full path (drive or share) without "." or ".." parts, inside
// the user's profile folder, and reached from there through no link. Anything else is refused
// with the reason, since a missing or odd shell folder would otherwise point the deletion at a
// drive's root or at another user's or the system's files.
std::string FolderRefusal(Platform& platform, std::string_view what, const std::string& folder) {
  const std::string named(what);
  if (folder.empty()) return named + " がありません。";
  const bool drivePath = folder.size() >= 3 && folder[1] == ':' && folder[2] == '\\';
  if (!drivePath && !folder.starts_with("\\\\")) {
    return named + " の " + folder + " が完全なパスではありません。";
  }
  for (std::size_t start = 0; start <= folder.size();) {
    const std::size_t end = std::min(folder.find('\\', start), folder.size());
    const std::string_view part = std::string_view(folder).substr(start, end - start);
    if (part == "." || part == "..") return named + " の " + folder + " は使えません。";
    start = end + 1;
  }
  const std::string profile = platform.Environment().GetVariable("USERPROFILE").value_or("");
  if (profile.empty()) return "ユーザーのプロファイル フォルダーが分かりません。";
  if (std::string refusal = platform.Files().UserFilesRefusal(profile); !refusal.empty()) {
    return "ユーザーのプロファイル フォルダー " + refusal;
  }
  std::string root = profile;
  while (root.ends_with('\\')) root.pop_back();
  if (!StartsWithNoCase(folder, root + "\\")) {
    return named + " の " + folder + " がユーザーのプロファイル フォルダー " + profile +
           " の外にあります。";
  }
  IFileSystem& files = platform.Files();
  for (std::size_t cut = folder.find('\\', root.size() + 1);; cut = folder.find('\\', cut + 1)) {
    const std::string step = folder.substr(0, cut);
    const std::uint32_t attributes = files.GetFileAttributes(step);
    if (attributes != win::kInvalidFileAttributes &&
        (attributes & win::kFileAttributeReparsePoint) != 0) {
      return named + " の " + step + " はリンクです。";
    }
    if (cut == std::string::npos) break;
  }
  return {};
}

// Deletes every file of a folder that matches the mask. Folders, system files and volume labels
// are never touched. A link stays and is counted: what it shows lives elsewhere, maybe outside
// the user's files. A file that will not go (read-only, locked) stays, is counted, and the rest
// still goes.
TZelMso::TRepairResult DeleteMatchingFiles(Platform& platform, std::string_view what,
                                           const std::string& folder, std::string_view mask) {
  TZelMso::TRepairResult result;
  result.RemovesFiles = true;
  result.Skipped = FolderRefusal(platform, what, folder);
  if (!result.Skipped.empty()) return result;
  constexpr std::uint32_t kExcluded =
      win::kFileAttributeDirectory | win::kFileAttributeSystem | win::kFileAttributeVolumeLabel;
  IFileSystem& files = platform.Files();
  for (const FindEntry& entry : files.FindFiles(FormatPath("%s\\%s", {folder, mask}))) {
    if ((entry.attributes & kExcluded) != 0) continue;
    if ((entry.attributes & win::kFileAttributeReparsePoint) != 0) {
      ++result.LinksKept;
      continue;
    }
    if (files.DeleteFile(FormatPath("%s\\%s", {folder, entry.name}))) {
      ++result.Removed;
    } else {
      ++result.Failed;
    }
  }
  return result;
}

}  // namespace

std::string TZelMso::TRepairResult::Summary() const {
  if (!Skipped.empty()) return Skipped + "ファイルは削除していません。";
  if (!RemovesFiles) return {};
  std::string text = std::to_string(Removed) + " 個のファイルを削除しました。";
  if (Removed > RemovedForGood) {
    text += "削除したファイルはごみ箱から元に戻せます。";
  }
  if (RemovedForGood > 0) {
    text += std::to_string(RemovedForGood) +
            " 個のファイルはごみ箱に移せなかったため、完全に削除しました。";
  }
  if (Failed > 0) {
    text += std::to_string(Failed) +
            " 個のファイルは削除できませんでした（使用中か読み取り専用です）。";
  }
  if (LinksKept > 0) {
    text += std::to_string(LinksKept) +
            " 個のファイルはリンクのため、削除していません（リンク先のファイルは残っています）。";
  }
  return text;
}

std::int32_t TZelMso::GetOfficeClipboardState() {
  // Without a main version the path would collapse onto the Office root itself.
  if (OfficeVersion.empty()) {
    NoteItemStateReason("Office のメイン バージョンが分かりません。");
    return -1;
  }
  TZelRegistry reg(platform_.Registry());
  reg.SetRoot(RootKey::CurrentUser);
  const std::string path = FormatPath(kCommonGeneral, {kOfficeRoot, OfficeVersion});
  if (!reg.OpenKeyRead(path)) {
    NoteMissingKey(reg, path);
    return -1;
  }
  const std::optional<std::int32_t> state = ScanDword(reg, kAcbControl, Warnings);
  if (!state) NoteUnreadValue(reg, kAcbControl, false);
  return state.value_or(-1);
}

void TZelMso::SetOfficeClipboardState(std::int32_t state) {
  if (Versions.empty()) NoteItemStateReason("インストールされた Office のバージョンがありません。");
  for (const TZelMsoVersion& version : Versions) {
    TZelRegistry reg(platform_.Registry());
    reg.SetRoot(RootKey::CurrentUser);
    const std::string path = FormatPath(kCommonGeneral, {kOfficeRoot, version.Version});
    if (reg.OpenKeyWrite(path, false)) {
      reg.WriteDword(kAcbControl, state);
      reg.CloseCurrent();
    } else {
      NoteUnwritableKey(reg, path);
    }
  }
}

constexpr const char* kAppDataName = "シェル フォルダー「AppData」";

TZelMso::TRepairResult TZelMso::DeleteToolbarFiles(int appIndex, std::string_view extension) {
  if (appIndex < 0 || appIndex >= kAppCount) return {};
  const std::string appData = GetShellFolderPath(platform_, "AppData");
  if (std::string refusal = FolderRefusal(platform_, kAppDataName, appData); !refusal.empty()) {
    return {.RemovesFiles = true, .Skipped = std::move(refusal)};
  }
  const std::string folder = FormatPath("%s\\Microsoft\\%s", {appData, kMsoApps[appIndex].AppName});
  return DeleteMatchingFiles(platform_, kAppDataName, folder, "*." + std::string(extension));
}

void TZelMso::DeleteOfficeAppKey(int appIndex, std::string_view keyFormat) {
  if (appIndex < 0 || appIndex >= kAppCount) return;
  for (const TZelMsoVersion& version : Versions) {
    const std::string key =
        FormatPath(keyFormat, {kOfficeRoot, version.Version, kMsoApps[appIndex].AppName});
    TZelRegistry reg(platform_.Registry());
    reg.SetRoot(RootKey::CurrentUser);
    if (reg.HasKey(key)) reg.EraseKey(key);
  }
}

TZelMso::TRepairResult TZelMso::DeleteTempLockFiles() {
  // Office leaves its lock files in the user's temporary folder. Systems since Vista, and Wine,
  // register no "Local Settings" folder; there the temporary folder is TEMP, as a 32-bit
  // program sees it.
  const std::string localSettings = GetShellFolderPath(platform_, "Local Settings");
  if (!localSettings.empty()) {
    return DeleteMatchingFiles(platform_, "シェル フォルダー「Local Settings」",
                               FormatPath("%s\\Temp", {localSettings}), "~*.tmp");
  }
  std::string temp = platform_.Environment().GetVariable("TEMP").value_or("");
  while (temp.size() > 3 && temp.ends_with('\\')) temp.pop_back();
  return DeleteMatchingFiles(platform_, "環境変数 TEMP", temp, "~*.tmp");
}

}  // namespace tovalin
