// Switches on the document class that the shell registers for an application's extension:
// opening inside the web browser, the open-read-only verb and the browser's edit mode.
#include <string>
#include <vector>

#include "office/ZelMso.h"
#include "support/ZelRegistry.h"

namespace tovalin {

namespace {

constexpr const char* kBrowserFlags = "BrowserFlags";
constexpr std::int32_t kOpenOutsideBrowser = 8;
constexpr const char* kReadOnlyVerbText = "読み取り専用で開く(&R)";
constexpr const char* kServerKey = "\\CLSID\\%s\\LocalServer32";
constexpr const char* kDisabledServerKey = "\\CLSID\\%s\\_ZelDisabled_LocalServer32";

// The default text of a class key; "" with the reason noted when there is none.
std::string DefaultText(TZelMso& mso, const std::string& path) {
  TZelRegistry reg(mso.GetPlatform().Registry());
  reg.SetRoot(RootKey::ClassesRoot);
  if (!reg.OpenKeyRead(path)) {
    mso.NoteMissingKey(reg, path);
    return {};
  }
  std::string text = ScanText(reg, "", mso.Warnings);
  if (text.empty()) mso.NoteUnreadValue(reg, "", true);
  return text;
}

// The document class registered for the application's extension, or "".
std::string DocumentClass(TZelMso& mso, int appIndex) {
  if (appIndex < 0 || appIndex >= kAppCount) return {};
  const std::string_view extension = kMsoApps[appIndex].Extension;
  if (extension.empty()) return {};
  return DefaultText(mso, FormatPath("\\.%s", {extension}));
}

// The class identifier of the document class, or "".
std::string DocumentClassId(TZelMso& mso, int appIndex) {
  const std::string cls = DocumentClass(mso, appIndex);
  if (cls.empty()) return {};
  return DefaultText(mso, FormatPath("\\%s\\CLSID", {cls}));
}

bool KeyExists(IRegistry& registry, const std::string& path) {
  TZelRegistry reg(registry);
  reg.SetRoot(RootKey::ClassesRoot);
  return reg.HasKey(path);
}

}  // namespace

std::int32_t TZelMso::GetBrowserIntegrationState(int appIndex) {
  const std::string cls = DocumentClass(*this, appIndex);
  if (cls.empty()) return -1;
  TZelRegistry reg(platform_.Registry());
  reg.SetRoot(RootKey::ClassesRoot);
  const std::string path = FormatPath("\\%s", {cls});
  if (!reg.OpenKeyRead(path)) {
    NoteMissingKey(reg, path);
    return -1;
  }
  const std::int32_t result =
      ScanDword(reg, kBrowserFlags, Warnings) == kOpenOutsideBrowser ? 1 : 0;
  reg.CloseCurrent();
  return result;
}

void TZelMso::SetBrowserIntegrationState(int appIndex, std::int32_t state) {
  if (state != 0 && state != 1) return;
  const std::string cls = DocumentClass(*this, appIndex);
  if (cls.empty()) return;
  TZelRegistry reg(platform_.Registry());
  reg.SetRoot(RootKey::ClassesRoot);
  const std::string path = FormatPath("\\%s", {cls});
  if (!reg.OpenKeyWrite(path, false)) {
    NoteUnwritableKey(reg, path);
    return;
  }
  if (state == 0) {
    if (reg.HasValue(kBrowserFlags)) reg.EraseValue(kBrowserFlags);
  } else {
    reg.WriteDword(kBrowserFlags, kOpenOutsideBrowser);
  }
  reg.CloseCurrent();
}

std::int32_t TZelMso::GetReadOnlyVerbState(int appIndex) {
  const std::string cls = DocumentClass(*this, appIndex);
  if (cls.empty()) return 1;
  return KeyExists(platform_.Registry(), FormatPath("\\%s\\shell\\ReadOnly", {cls})) ? 0 : 1;
}

void TZelMso::SetReadOnlyVerbState(int appIndex, std::int32_t state) {
  if (state != 0 && state != 1) return;
  const std::string cls = DocumentClass(*this, appIndex);
  if (cls.empty()) return;
  const std::string base = FormatPath("\\%s\\shell", {cls});
  if (state == 0) {
    // Only Excel offers the verb, so the command always starts Excel's own executable.
    const std::string excel = Slots[2] ? Slots[2]->FileName : std::string();
    const std::string command = "\"" + excel + "\" /r \"%1\"";
    {
      TZelRegistry reg(platform_.Registry());
      reg.SetRoot(RootKey::ClassesRoot);
      if (!reg.OpenKeyWrite(base + "\\ReadOnly", true)) {
        NoteUnwritableKey(reg, base + "\\ReadOnly");
        return;
      }
      reg.WriteText("", kReadOnlyVerbText);
      reg.CloseCurrent();
    }
    TZelRegistry reg(platform_.Registry());
    reg.SetRoot(RootKey::ClassesRoot);
    if (reg.OpenKeyWrite(base + "\\ReadOnly\\Command", true)) {
      reg.WriteText("", command);
      reg.CloseCurrent();
    }
  } else {
    TZelRegistry reg(platform_.Registry());
    reg.SetRoot(RootKey::ClassesRoot);
    if (reg.HasKey(base) && reg.OpenKeyWrite(base, false)) {
      reg.EraseKey("ReadOnly");
      reg.CloseCurrent();
    }
  }
}

std::int32_t TZelMso::GetEditModeState(int appIndex) {
  const std::string id = DocumentClassId(*this, appIndex);
  if (id.empty()) return -1;
  const std::string server = FormatPath(kServerKey, {id});
  if (KeyExists(platform_.Registry(), server)) return 0;
  if (KeyExists(platform_.Registry(), FormatPath(kDisabledServerKey, {id}))) return 1;
  TZelRegistry reg(platform_.Registry());
  reg.SetRoot(RootKey::ClassesRoot);
  NoteMissingKey(reg, server);
  return -1;
}

void TZelMso::SetEditModeState(int appIndex, std::int32_t state) {
  if (state != 0 && state != 1) return;
  // Asking for the current state changes nothing: with both keys present, state 0 would
  // otherwise replace the live server registration with the stale disabled copy.
  if (GetEditModeState(appIndex) == state) return;
  const std::string id = DocumentClassId(*this, appIndex);
  if (id.empty()) return;
  const std::string enabled = FormatPath(kServerKey, {id});
  const std::string disabled = FormatPath(kDisabledServerKey, {id});
  const std::string& source = state == 0 ? disabled : enabled;
  const std::string& destination = state == 0 ? enabled : disabled;
  {
    TZelRegistry reg(platform_.Registry());
    reg.SetRoot(RootKey::ClassesRoot);
    if (reg.HasKey(destination)) reg.EraseKey(destination);
  }
  TZelRegistry reg(platform_.Registry());
  reg.SetRoot(RootKey::ClassesRoot);
  if (reg.HasKey(source)) reg.RenameKey(source, destination);
}

}  // namespace tovalin
