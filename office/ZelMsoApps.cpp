// Applications: the COM registrations of the Office applications listed under the installed
// versions, the copies of their executables in the install folders, and the main product.
#include <charconv>
#include <cmath>
#include <string>

#include "office/ZelMso.h"
#include "support/FileNames.h"
#include "support/Text.h"
#include "support/ZelRegistry.h"
#include "support/ZelSysUtils.h"

namespace tovalin {

namespace {

// The class descriptions end in this word ("… アプリケーション"); titles drop it.
constexpr const char* kApplicationSuffix = " アプリケーション";

// Control characters and blanks at both ends go, as registry defaults often carry them.
std::string Trim(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return std::string(text.substr(first, last - first));
}

// A version text such as "11.0" as a number. Version resources are written by anyone, so
// anything that is not plain digits with at most one point counts as 0 rather than failing the
// scan (and a locale with a decimal comma must not change the reading).
double DecimalValue(std::string_view text) {
  const std::string trimmed = Trim(text);
  bool digit = false;
  bool point = false;
  for (char c : trimmed) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return 0;
    }
  }
  if (!digit) return 0;
  double value = 0;
  const auto [end, error] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
  if (error != std::errc() || end != trimmed.data() + trimmed.size() || !std::isfinite(value)) {
    return 0;
  }
  return value;
}

// "11.0.5612.0" orders as 11.0: only the first two numbers count.
double AppFileKey(const std::string& version) {
  const std::size_t first = version.find('.');
  if (first == std::string::npos) return DecimalValue(version);
  const std::size_t second = version.find('.', first + 1);
  return DecimalValue(std::string_view(version).substr(0, second));
}

// One decimal, as "%2.1f" gives it, but never with a locale's decimal comma.
std::string FormatVersion(double value) {
  char buffer[64];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
  std::string text = error == std::errc() ? std::string(buffer, end) : std::string("0.0");
  while (text.size() < 2) text.insert(text.begin(), ' ');
  return text;
}

std::string StripSuffix(std::string_view description) {
  return ReplaceAllText(description, kApplicationSuffix, "");
}

}  // namespace

void TZelMso::ScanApplications() {
  // Application key names listed under the installed versions, each once, as first written.
  std::vector<std::string> names;
  {
    TZelRegistry reg(platform_.Registry());
    for (const TZelMsoVersion& record : Versions) {
      reg.SetRoot(RootKey::LocalMachine);
      std::vector<std::string> listed;
      if (reg.OpenKeyRead(FormatPath("%s\\%s", {kOfficeRoot, record.Version}))) {
        listed = reg.ListSubKeys();
        reg.CloseCurrent();
      }
      for (const std::string& name : listed) {
        bool known = false;
        for (const TZelMsoApp& app : kMsoApps) known = known || EqualsNoCase(name, app.AppName);
        if (!known) continue;
        bool seen = false;
        for (const std::string& existing : names) seen = seen || EqualsNoCase(existing, name);
        if (!seen) names.push_back(name);
      }
    }
  }

  for (const std::string& name : names) {
    TZelRegistry reg(platform_.Registry());
    reg.SetRoot(RootKey::ClassesRoot);

    // Each application starts without a title, so that one application's description can
    // never end up on another.
    std::string title;
    std::string classId;
    const std::string progId = FormatPath("\\%s.Application", {name});
    if (reg.HasKey(progId) && reg.OpenKeyRead(progId)) {
      const std::string description = StripSuffix(ScanText(reg, "", Warnings));
      if (!description.empty()) title = description;
      if (reg.OpenKeyRead("CLSID")) classId = Trim(ScanText(reg, "", Warnings));
      reg.CloseCurrent();
    }
    if (classId.empty()) continue;

    const std::string classKey = FormatPath("\\CLSID\\%s", {classId});
    if (reg.HasKey(classKey) && reg.OpenKeyRead(classKey)) {
      const std::string description = StripSuffix(ScanText(reg, "", Warnings));
      if (!description.empty()) title = description;
      reg.CloseCurrent();
    }

    std::string executable;
    for (const char* server : {"LocalServer32", "LocalServer"}) {
      const std::string serverKey = FormatPath("%s\\%s", {classKey, server});
      if (reg.HasKey(serverKey) && reg.OpenKeyRead(serverKey)) {
        executable = GetCommandFileName(platform_, ScanText(reg, "", Warnings));
        reg.CloseCurrent();
      }
      if (!executable.empty()) break;
    }
    executable = Trim(executable);
    if (executable.empty()) continue;

    const std::string fileName = FileNamePart(executable);
    int slot = 0;
    for (int c = 1; c < kAppCount && slot == 0; ++c) {
      if (EqualsNoCase(fileName, kMsoApps[c].ExeName)) slot = c;
    }
    if (slot == 0) continue;

    if (!Slots[slot]) Slots[slot] = std::make_unique<TZelMsoInfo>(platform_);
    TZelMsoInfo& info = *Slots[slot];
    info.AppName = kMsoApps[slot].AppName;
    info.Title = title.empty() ? info.AppName : title;
    info.FileName = executable;
    info.VersionInfo.LoadFromFile(executable);
    info.Icon.SetHandle(platform_.Icons().ExtractIcon(executable, 0));
    ScanAppFiles(slot);
  }

  DetectSuite();
}

void TZelMso::ScanAppFiles(int appIndex) {
  if (appIndex < 1 || appIndex >= kAppCount || !Slots[appIndex]) return;
  TZelMsoInfo& info = *Slots[appIndex];
  const TZelMsoApp& app = kMsoApps[appIndex];

  TZelVersionInfo scratch(platform_);
  for (auto record = Versions.rbegin(); record != Versions.rend(); ++record) {
    std::string folder;
    {
      TZelRegistry reg(platform_.Registry());
      reg.SetRoot(RootKey::LocalMachine);
      if (reg.OpenKeyRead(
              FormatPath("%s\\%s\\%s\\InstallRoot", {kOfficeRoot, record->Version, app.AppName}))) {
        folder = ScanText(reg, "Path", Warnings);
        reg.CloseCurrent();
      }
    }
    if (folder.empty()) continue;

    const std::string candidate = GetCommandFileName(platform_, folder + app.ExeName);
    if (candidate.empty()) continue;
    bool listed = false;
    for (const TZelMsoAppFileList& entry : info.AppFiles) {
      listed = listed || EqualsNoCase(entry.FileName, candidate);
    }
    if (listed) continue;

    scratch.LoadFromFile(candidate);
    info.AppFiles.push_back(TZelMsoAppFileList{scratch.GetFileVersion(), candidate});
  }
  SortAppFiles(info.AppFiles);
}

void TZelMso::SortAppFiles(std::vector<TZelMsoAppFileList>& list) {
  for (std::size_t i = 0; i + 1 < list.size(); ++i) {
    for (std::size_t j = i + 1; j < list.size(); ++j) {
      if (AppFileKey(list[j].Version) > AppFileKey(list[i].Version)) std::swap(list[i], list[j]);
    }
  }
}

void TZelMso::DetectSuite() {
  OfficeVersion.clear();
  double best = 0;

  if (!Slots[0]) Slots[0] = std::make_unique<TZelMsoInfo>(platform_);
  TZelMsoInfo& suite = *Slots[0];
  suite.AppName = kMsoApps[0].AppName;

  for (int c = 1; c < kAppCount; ++c) {
    if (!Slots[c]) continue;
    const double value = DecimalValue(Slots[c]->VersionInfo.GetProductMajorMinor());
    if (value > best) best = value;
  }

  // misc.exe of the product's cached installer carries the suite's icon and version.
  auto miscFile = [this]() {
    const std::string folder = ExpandEnvironmentText(platform_, "%windir%\\Installer\\");
    return GetCommandFileName(platform_, folder + ProductCode + "\\misc.exe");
  };
  auto setIcon = [this, &suite](const std::string& file) {
    suite.Icon.SetHandle(file.empty() ? 0 : platform_.Icons().ExtractIcon(file, 6));
  };

  if (best > 0) {
    OfficeVersion = FormatVersion(best);
    for (const TZelMsoVersion& record : Versions) {
      if (record.Version != OfficeVersion) continue;
      suite.Title = record.DisplayName;
      suite.DisplayVersion = record.DisplayVersion;
      ProductCode = record.ProductCode;
      setIcon(miscFile());
      break;
    }
  } else {
    std::string classId;
    std::string library;
    {
      TZelRegistry reg(platform_.Registry());
      reg.SetRoot(RootKey::ClassesRoot);
      if (reg.OpenKeyRead("\\OfficeCompatible.Application\\CLSID")) {
        classId = Trim(ScanText(reg, "", Warnings));
        reg.CloseCurrent();
      }
      // An empty class id names no component; "\CLSID\\InprocServer32" must not be probed.
      for (const char* server : {"InprocServer32", "InprocServer"}) {
        if (classId.empty() || !library.empty()) break;
        const std::string key = FormatPath("\\CLSID\\%s\\%s", {classId, server});
        if (reg.HasKey(key) && reg.OpenKeyRead(key)) {
          library = GetCommandFileName(platform_, ScanText(reg, "", Warnings));
          reg.CloseCurrent();
        }
      }
    }

    if (!library.empty() && !Versions.empty()) {
      suite.FileName = library;
      suite.VersionInfo.LoadFromFile(library);
      OfficeVersion = suite.VersionInfo.GetProductMajorMinor();
      suite.Title.clear();

      bool matched = false;
      for (const TZelMsoVersion& record : Versions) {
        if (record.Version != OfficeVersion) continue;
        suite.Title = record.DisplayName;
        suite.DisplayVersion = record.DisplayVersion;
        ProductCode = record.ProductCode;
        matched = true;
      }
      if (!matched) {
        OfficeVersion = Versions.front().Version;
        suite.Title = Versions.front().DisplayName;
        ProductCode = Versions.front().ProductCode;
      }

      const std::string icon = miscFile();
      if (!matched) suite.VersionInfo.LoadFromFile(icon);
      setIcon(icon);
    }
  }

  if (Slots[0]->Title.empty()) Slots[0].reset();
}

}  // namespace tovalin
