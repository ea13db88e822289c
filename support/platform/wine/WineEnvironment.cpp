#include "support/platform/wine/WineEnvironment.h"

#include "support/Text.h"

namespace tovalin {

namespace {

std::optional<std::string> TextValue(const RegNode* key, std::string_view name) {
  if (key == nullptr) return std::nullopt;
  const RegValue* value = key->FindValue(name);
  if (value == nullptr || (value->type != win::kRegSz && value->type != win::kRegExpandSz)) {
    return std::nullopt;
  }
  std::u16string text = Utf16FromBytes(value->data.data(), value->data.size());
  const std::size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  return Utf16ToUtf8(text);
}

bool HasDriveLetter(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

}  // namespace

void WineEnvironment::Set(std::string_view name, std::string value) {
  // Wine leaves a variable out rather than set it empty.
  if (value.empty()) return;
  vars_[AsciiUpperCase(name)] = Variable{std::string(name), std::move(value)};
}

std::optional<std::string> WineEnvironment::Get(std::string_view name) const {
  auto it = vars_.find(AsciiUpperCase(name));
  if (it == vars_.end()) return std::nullopt;
  return it->second.value;
}

std::string WineEnvironment::Expand(std::string_view text) const {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('%', i);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(i, open - i));
    const std::optional<std::string> value = Get(text.substr(open + 1, close - open - 1));
    if (value) {
      out += *value;
      i = close + 1;
    } else {
      // The closing "%" may open the next reference.
      out.append(text.substr(open, close - open));
      i = close;
    }
  }
  out.append(text.substr(i));
  return out;
}

void WineEnvironment::SetFromKey(WineHiveId hive, std::string_view path, bool appendPath) {
  const RegNode* key = registry_.RawFind(hive, path);
  if (key == nullptr) return;
  for (const std::uint32_t type : {win::kRegSz, win::kRegExpandSz}) {
    for (const RegValue& value : key->Values()) {
      if (value.type != type || value.name.empty()) continue;
      std::string text = *TextValue(key, value.name);
      if (type == win::kRegExpandSz) text = Expand(text);
      // The user's PATH extends the system's, as Windows builds it.
      if (appendPath && EqualsNoCase(value.name, "PATH")) {
        if (std::optional<std::string> system = Get("PATH"); system && !text.empty()) {
          text = *system + ";" + text;
        }
      }
      Set(value.name, std::move(text));
    }
  }
}

void WineEnvironment::Rebuild() {
  vars_.clear();
  const auto machine = [&](std::string_view path, std::string_view name) {
    return TextValue(registry_.RawFind(WineHiveId::Machine, path), name);
  };
  const std::string systemRoot =
      machine("Software\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot")
          .value_or("C:\\windows");
  Set("SystemRoot", systemRoot);
  Set("SystemDrive", HasDriveLetter(systemRoot) ? systemRoot.substr(0, 2) : "C:");
  Set("windir", systemRoot);

  constexpr std::string_view kProfiles =
      "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  const std::string programData =
      Expand(machine(kProfiles, "ProgramData").value_or("%SystemDrive%\\ProgramData"));
  Set("ProgramData", programData);
  Set("ALLUSERSPROFILE", programData);
  Set("PUBLIC", Expand(machine(kProfiles, "Public").value_or("%SystemDrive%\\users\\Public")));
  if (std::optional<std::string> computer = machine(
          "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName")) {
    Set("COMPUTERNAME", *computer);
  }
  if (std::optional<std::string> profile =
          machine(std::string(kProfiles) + "\\" + registry_.UserSid(), "ProfileImagePath")) {
    Set("USERPROFILE", Expand(*profile));
  }

  SetFromKey(WineHiveId::Machine,
             "System\\CurrentControlSet\\Control\\Session Manager\\Environment", false);

  // The program folders are read from the 64-bit key whatever the program's view; a 32-bit
  // program in a 64-bit prefix gets the (x86) folders as its own.
  constexpr std::string_view kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
  const std::string programFiles =
      machine(kCurrentVersion, "ProgramFilesDir").value_or("C:\\Program Files");
  const std::string commonFiles =
      machine(kCurrentVersion, "CommonFilesDir").value_or(programFiles + "\\Common Files");
  if (registry_.Win64()) {
    const std::string programFiles86 =
        machine(kCurrentVersion, "ProgramFilesDir (x86)").value_or("C:\\Program Files (x86)");
    const std::string commonFiles86 = machine(kCurrentVersion, "CommonFilesDir (x86)")
                                          .value_or(programFiles86 + "\\Common Files");
    Set("ProgramFiles", programFiles86);
    Set("ProgramFiles(x86)", programFiles86);
    Set("ProgramW6432", programFiles);
    Set("CommonProgramFiles", commonFiles86);
    Set("CommonProgramFiles(x86)", commonFiles86);
    Set("CommonProgramW6432", commonFiles);
    Set("PROCESSOR_ARCHITEW6432", Get("PROCESSOR_ARCHITECTURE").value_or("AMD64"));
    Set("PROCESSOR_ARCHITECTURE", "x86");
  } else {
    Set("ProgramFiles", programFiles);
    Set("CommonProgramFiles", commonFiles);
  }

  SetFromKey(WineHiveId::User, "Volatile Environment", false);
  // Prefixes made before Wine kept these in the registry.
  const std::string drive = Get("SystemDrive").value_or("C:");
  if (!Get("USERPROFILE")) {
    if (std::optional<std::string> user = Get("USERNAME")) {
      Set("USERPROFILE", drive + "\\users\\" + *user);
    }
  }
  if (std::optional<std::string> profile = Get("USERPROFILE")) {
    if (!Get("USERNAME")) {
      const std::size_t slash = profile->find_last_of('\\');
      Set("USERNAME", profile->substr(slash == std::string::npos ? 0 : slash + 1));
    }
    if (!Get("APPDATA")) Set("APPDATA", *profile + "\\AppData\\Roaming");
    if (!Get("LOCALAPPDATA")) Set("LOCALAPPDATA", *profile + "\\AppData\\Local");
    if (!Get("HOMEDRIVE") && HasDriveLetter(*profile)) Set("HOMEDRIVE", profile->substr(0, 2));
    if (!Get("HOMEPATH") && HasDriveLetter(*profile)) Set("HOMEPATH", profile->substr(2));
  }

  SetFromKey(WineHiveId::User, "Environment", true);
  builtAt_ = registry_.Generation();
}

std::optional<std::string> WineEnvironment::GetVariable(std::string_view name) {
  if (!builtAt_ || *builtAt_ != registry_.Generation()) Rebuild();
  return Get(name);
}

std::vector<std::pair<std::string, std::string>> WineEnvironment::Variables() {
  if (!builtAt_ || *builtAt_ != registry_.Generation()) Rebuild();
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& [key, variable] : vars_) out.emplace_back(variable.name, variable.value);
  return out;
}

}  // namespace tovalin
