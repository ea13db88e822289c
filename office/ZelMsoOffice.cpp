// Items that act on Office's own per-user data: the Office clipboard switch, the menu bar
// restores and the release of files left locked after a crash.
#include <string>

#include "office/ZelMso.h"
#include "support/ZelRegistry.h"
#include "support/ZelSysUtils.h"

namespace tovalin {

namespace {

constexpr const char* kCommonGeneral = "%s\\%s\\Common\\General";
constexpr const char* kAcbControl = "AcbControl";

// Deletes every file of a folder that matches the mask. Folders, system files and volume labels
// are never touched; a file that will not go (read-only, locked) stays and the rest still goes.
void DeleteMatchingFiles(Platform& platform, const std::string& folder, std::string_view mask) {
  constexpr std::uint32_t kExcluded =
      win::kFileAttributeDirectory | win::kFileAttributeSystem | win::kFileAttributeVolumeLabel;
  IFileSystem& files = platform.Files();
  for (const FindEntry& entry : files.FindFiles(FormatPath("%s\\%s", {folder, mask}))) {
    if ((entry.attributes & kExcluded) != 0) continue;
    files.DeleteFile(FormatPath("%s\\%s", {folder, entry.name}));
  }
}

}  // namespace

std::int32_t TZelMso::GetOfficeClipboardState() {
  std::int32_t result = -1;
  // Without a main version the path would collapse onto the Office root itself.
  if (OfficeVersion.empty()) return result;
  TZelRegistry reg(platform_.Registry());
  reg.SetRoot(RootKey::CurrentUser);
  if (reg.OpenKeyRead(FormatPath(kCommonGeneral, {kOfficeRoot, OfficeVersion}))) {
    if (reg.HasValue(kAcbControl)) result = reg.ReadDword(kAcbControl);
    reg.CloseCurrent();
  }
  return result;
}

void TZelMso::SetOfficeClipboardState(std::int32_t state) {
  for (const TZelMsoVersion& version : Versions) {
    TZelRegistry reg(platform_.Registry());
    reg.SetRoot(RootKey::CurrentUser);
    if (reg.OpenKeyWrite(FormatPath(kCommonGeneral, {kOfficeRoot, version.Version}), false)) {
      reg.WriteDword(kAcbControl, state);
      reg.CloseCurrent();
    }
  }
}

void TZelMso::DeleteToolbarFiles(int appIndex, std::string_view extension) {
  if (appIndex < 0 || appIndex >= kAppCount) return;
  const std::string folder = FormatPath(
      "%s\\Microsoft\\%s", {GetShellFolderPath(platform_, "AppData"), kMsoApps[appIndex].AppName});
  DeleteMatchingFiles(platform_, folder, "*." + std::string(extension));
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

void TZelMso::DeleteTempLockFiles() {
  const std::string folder =
      FormatPath("%s\\Temp", {GetShellFolderPath(platform_, "Local Settings")});
  DeleteMatchingFiles(platform_, folder, "~*.tmp");
}

}  // namespace tovalin
