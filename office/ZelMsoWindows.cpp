// Switches that act on Windows itself: the IME on the logon screen and Windows Script Host.
#include <string>
#include <vector>

#include "office/ZelMso.h"
#include "support/Text.h"
#include "support/ZelRegistry.h"
#include "support/ZelSysUtils.h"

namespace tovalin {

namespace {

constexpr const char* kPreload = "\\.DEFAULT\\Keyboard Layout\\Preload";
constexpr const char* kImeLayout = "e0010411";
constexpr const char* kPlainLayout = "00000411";
// The same suffix an outside Script Host blocker uses, so its keys are switched on here too.
constexpr const char* kDisabledSuffix = ".SymantecDisabled";

std::string PreloadBackup() {
  return FormatPath("%s_bak", {kPreload});
}

// Replaces the logon screen's layout list with a single entry.
void WriteSingleLayout(IRegistry& registry, std::string_view layout) {
  TZelRegistry reg(registry);
  reg.SetRoot(RootKey::Users);
  if (reg.OpenKeyWrite(kPreload, true)) {
    reg.WriteText("1", layout);
    reg.CloseCurrent();
  }
}

std::vector<std::string> ListClasses(IRegistry& registry) {
  TZelRegistry reg(registry);
  reg.SetRoot(RootKey::ClassesRoot);
  if (!reg.OpenKeyRead("\\")) return {};
  return reg.ListSubKeys();
}

bool IsDisabledName(std::string_view name) {
  return name.find(kDisabledSuffix) != std::string_view::npos;
}

// A class whose open command runs one of the two script hosts.
bool IsScriptClass(IRegistry& registry, std::string_view name, std::vector<std::string>& warnings) {
  TZelRegistry reg(registry);
  reg.SetRoot(RootKey::ClassesRoot);
  std::string command;
  if (reg.OpenKeyRead(FormatPath("\\%s\\Shell\\Open\\Command", {name}))) {
    command = AsciiLowerCase(ScanText(reg, "", warnings));
    reg.CloseCurrent();
  }
  return command.find("wscript.exe") != std::string::npos ||
         command.find("cscript.exe") != std::string::npos;
}

// "\name", appended: GCC 12 at -O3 reports a false -Wrestrict overlap for "\\" + std::string(...).
std::string RootPath(std::string_view name) {
  std::string path = "\\";
  path += name;
  return path;
}

void MoveClass(IRegistry& registry, std::string_view from, std::string_view to) {
  TZelRegistry reg(registry);
  reg.SetRoot(RootKey::ClassesRoot);
  const std::string fromPath = RootPath(from);
  if (reg.HasKey(fromPath)) reg.RenameKey(fromPath, RootPath(to));
}

}  // namespace

std::int32_t TZelMso::GetLogonImeState() {
  std::int32_t result = -1;
  TZelRegistry reg(platform_.Registry());
  reg.SetRoot(RootKey::Users);
  if (!reg.OpenKeyRead(kPreload)) {
    NoteMissingKey(reg, kPreload);
    return result;
  }
  for (const std::string& name : reg.ListValueNames()) {
    const std::string lower = AsciiLowerCase(ScanText(reg, name, Warnings));
    if (lower == kImeLayout) {
      result = 0;
      break;
    }
    if (lower == kPlainLayout) {
      result = 1;
      break;
    }
  }
  if (result == -1) {
    NoteItemStateReason("キー " + reg.KeyName() + " に " + kImeLayout + " も " + kPlainLayout +
                        " もありません。");
  }
  reg.CloseCurrent();
  return result;
}

void TZelMso::SetLogonImeState(std::int32_t state) {
  IRegistry& registry = platform_.Registry();
  if (state == 0) {
    {
      TZelRegistry reg(registry);
      reg.SetRoot(RootKey::Users);
      if (reg.HasKey(kPreload)) reg.EraseKey(kPreload);
    }
    bool restored = false;
    {
      TZelRegistry reg(registry);
      reg.SetRoot(RootKey::Users);
      if (reg.HasKey(PreloadBackup())) {
        reg.RenameKey(PreloadBackup(), kPreload);
        restored = true;
      }
    }
    if (!restored) WriteSingleLayout(registry, kImeLayout);
  } else if (state == 1) {
    {
      TZelRegistry reg(registry);
      reg.SetRoot(RootKey::Users);
      if (reg.HasKey(PreloadBackup())) reg.EraseKey(PreloadBackup());
    }
    {
      TZelRegistry reg(registry);
      reg.SetRoot(RootKey::Users);
      if (reg.HasKey(kPreload)) reg.RenameKey(kPreload, PreloadBackup());
    }
    WriteSingleLayout(registry, kPlainLayout);
  }
}

std::int32_t TZelMso::GetScriptHostState() {
  IRegistry& registry = platform_.Registry();
  TZelRegistry classes(registry);
  classes.SetRoot(RootKey::ClassesRoot);
  if (!classes.OpenKeyRead("\\")) return 1;
  std::int32_t state = 1;
  classes.ForEachSubKey([&](const std::string& name) {
    if (!IsDisabledName(name) && IsScriptClass(registry, name, Warnings)) state = 0;
    return state == 1;
  });
  return state;
}

void TZelMso::SetScriptHostState(std::int32_t state) {
  IRegistry& registry = platform_.Registry();
  // The names are listed once, before anything moves, so no key is visited twice.
  const std::vector<std::string> names = ListClasses(registry);
  if (state == 0) {
    bool disabled = false;
    for (const std::string& name : names) {
      if (!IsDisabledName(name)) continue;
      disabled = true;
      MoveClass(registry, name, ReplaceAllText(name, kDisabledSuffix, ""));
    }
    // Only classes disabled before can be given back; with none, the switch cannot turn on.
    if (!disabled) {
      NoteItemStateReason(std::string("HKEY_CLASSES_ROOT に無効にしたクラス (名前に ") +
                          kDisabledSuffix + " のあるキー) がありません。");
    }
  } else if (state == 1) {
    for (const std::string& name : names) {
      if (!IsDisabledName(name) && IsScriptClass(registry, name, Warnings)) {
        MoveClass(registry, name, name + kDisabledSuffix);
      }
    }
  }
}

}  // namespace tovalin
