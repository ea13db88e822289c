// The model over a large generated machine: every scan of the constructor, and the Script Host
// probe over tens of thousands of classes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchOptions.h"
#include "office/ZelMso.h"
#include "support/Text.h"
#include "support/platform/memory/MemoryPlatform.h"
#include "support/regfile/RegeditFile.h"

namespace tovalin::bench {
namespace {

constexpr int kUninstallEntries = 5000;
constexpr int kOfficeEntries = 300;
constexpr int kClasses = 50000;

const char* const kVersions[] = {"9.0", "10.0", "11.0", "12.0"};
const char* const kFolders[] = {"Office", "Office10", "OFFICE11", "OFFICE12"};
const char* const kClassIds[] = {"",
                                 "{0006F03A-0000-0000-C000-000000000046}",
                                 "{00024500-0000-0000-C000-000000000046}",
                                 "{000209FF-0000-0000-C000-000000000046}",
                                 "{73A4C9C1-D68D-11D0-98BF-00A0C90DC8D9}",
                                 "{91493441-5A91-11CF-8700-00AA0060263B}"};

std::vector<std::uint8_t> ReadSample(const std::string& relative) {
  const std::string path = Options().sourceDir + "/examples/sample-prefix/drive_c/" + relative;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string Hex(std::mt19937& random, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (int i = 0; i < digits; ++i) out.push_back(kDigits[random() % 16]);
  return out;
}

// A product code the catalogue lists, distinct for each n.
std::string OfficeCode(int version, int n) {
  char lcid[8];
  std::snprintf(lcid, sizeof lcid, "%04X", n);
  switch (version) {
    case 0:  // 9.0: kind code at characters 4-5
      return std::string("{00") + (n % 2 ? "01" : "00") + lcid + "-78E1-11D2-B60F-006097C998E7}";
    case 1:
      return std::string("{90") + (n % 2 ? "12" : "11") + lcid + "-6000-11D3-8CFE-0050048383C9}";
    case 2:
      return std::string("{90") + (n % 2 ? "12" : "11") + lcid + "-6000-11D3-8CFE-0150048383C9}";
    default:  // 12.0: kind code at characters 11-14
      return std::string("{9012") + lcid + "-" + (n % 2 ? "0016" : "0011") +
             "-0411-0000-0000000FF1CE}";
  }
}

// The order keys are created in decides where their nodes lie in memory, and lookups that walk
// the classes in order run several times faster over nodes that lie in that order. A machine
// loaded from a prefix has them so (hive files list keys sorted); one built key by key in any
// order, as a test builds it, has them scattered.
enum class Layout { HiveOrder, Scattered };

// 50,000 classes: extensions, ProgIDs with open commands (none of them a script host), controls
// with class ids, interfaces. Their names are taken first, then the keys are created in the
// layout's order.
void AddClasses(TreeRegistry& r, std::mt19937& random, Layout layout) {
  std::vector<std::pair<std::string, int>> classes;
  for (int n = 0; static_cast<int>(classes.size()) < kClasses; ++n) {
    const std::string number = std::to_string(n);
    switch (n % 4) {
      case 0:
        classes.emplace_back(".x" + number, n);
        break;
      case 1:
        classes.emplace_back("Vendor.Document." + number, n);
        break;
      case 2:
        classes.emplace_back("Vendor.Control." + number + ".1", n);
        break;
      default:
        classes.emplace_back("Interface" + number, n);
        break;
    }
  }
  if (layout == Layout::HiveOrder) {
    std::sort(classes.begin(), classes.end(),
              [](const auto& a, const auto& b) { return CompareNoCase(a.first, b.first) < 0; });
  } else {
    std::shuffle(classes.begin(), classes.end(), random);
  }
  for (const auto& [name, n] : classes) {
    const std::string number = std::to_string(n);
    switch (n % 4) {
      case 0:
        r.SetString(RootKey::ClassesRoot, name, "", "Vendor.Document." + number);
        break;
      case 1:
        r.SetString(RootKey::ClassesRoot, name + "\\Shell\\Open\\Command", "",
                    "\"C:\\Program Files\\Vendor\\app" + number + ".exe\" \"%1\"");
        break;
      case 2:
        r.SetString(RootKey::ClassesRoot, name + "\\CLSID", "",
                    "{" + Hex(random, 8) + "-0000-0000-0000-000000000000}");
        break;
      default:
        r.SetString(RootKey::ClassesRoot, name, "", "IThing" + number);
        break;
    }
  }
}

// 5,000 uninstall entries (300 of them Office products of four versions), 50,000 classes,
// and the five applications installed for each of the four versions.
void BuildMachine(MemoryPlatform& p) {
  std::mt19937 random(20240601);
  TreeRegistry& r = p.registry;
  const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  const std::string userData =
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\";
  const char* const users[] = {"S-1-5-18", "S-1-5-21-1004336348-1177238915-682003330-1000"};

  for (int n = 0; n < kOfficeEntries; ++n) {
    const int version = n % 4;
    const std::string code = OfficeCode(version, n);
    const std::string key = uninstall + code;
    r.SetString(RootKey::LocalMachine, key, "DisplayName",
                "Microsoft Office Professional Edition " + std::to_string(n));
    r.SetString(RootKey::LocalMachine, key, "DisplayVersion",
                std::string(kVersions[version]) + ".5614.0");
    // A third carry their product ID in the uninstall entry, a third under the installer's
    // per-user data, and the rest under the version's registration key.
    if (n % 3 == 0) {
      r.SetString(RootKey::LocalMachine, key, "ProductID",
                  "73931-640-" + Hex(random, 7) + "-57" + Hex(random, 3));
    } else if (n % 3 == 1) {
      r.SetString(RootKey::LocalMachine,
                  userData + users[1] + "\\Products\\" + PackGuid(code) + "\\InstallProperties",
                  "ProductID", "73931-640-" + Hex(random, 7) + "-57" + Hex(random, 3));
    }
  }
  for (int version = 0; version < 4; ++version) {
    r.SetString(RootKey::LocalMachine,
                std::string("SOFTWARE\\Microsoft\\Office\\") + kVersions[version] +
                    "\\Registration\\ProductID",
                "ProductID", "12345-678-" + Hex(random, 7) + "-12345");
  }
  for (const char* user : users) r.Ensure(RootKey::LocalMachine, userData + user + "\\Products");
  for (int n = kOfficeEntries; n < kUninstallEntries; ++n) {
    std::string name;
    if (n % 2 == 0) {
      name = "{" + Hex(random, 8) + "-" + Hex(random, 4) + "-" + Hex(random, 4) + "-" +
             Hex(random, 4) + "-" + Hex(random, 12) + "}";
    } else {
      name = "Application " + std::to_string(n);
    }
    const std::string key = uninstall + name;
    r.SetString(RootKey::LocalMachine, key, "DisplayName", "Some Program " + std::to_string(n));
    r.SetString(RootKey::LocalMachine, key, "DisplayVersion", "1." + std::to_string(n));
    r.SetString(RootKey::LocalMachine, key, "Publisher", "Someone");
    r.SetString(RootKey::LocalMachine, key, "UninstallString", "MsiExec.exe /X" + name);
  }

  // Applications: every version lists all five, with its own install folder and copies.
  const std::vector<std::uint8_t> exe[] = {
      {},
      ReadSample("Program Files (x86)/Microsoft Office/OFFICE11/OUTLOOK.EXE"),
      ReadSample("Program Files (x86)/Microsoft Office/OFFICE12/EXCEL.EXE"),
      ReadSample("Program Files (x86)/Microsoft Office/OFFICE11/WINWORD.EXE"),
      ReadSample("Program Files (x86)/Microsoft Office/OFFICE11/MSACCESS.EXE"),
      ReadSample("Program Files (x86)/Microsoft Office/OFFICE11/POWERPNT.EXE")};
  for (int version = 0; version < 4; ++version) {
    const std::string folder =
        std::string("C:\\Program Files\\Microsoft Office\\") + kFolders[version] + "\\";
    for (int app = 1; app < kAppCount; ++app) {
      const std::string key = std::string("SOFTWARE\\Microsoft\\Office\\") + kVersions[version] +
                              "\\" + kMsoApps[app].AppName;
      r.SetString(RootKey::LocalMachine, key + "\\InstallRoot", "Path", folder);
      p.files.AddFile(folder + kMsoApps[app].ExeName, exe[app]);
    }
    r.SetString(
        RootKey::CurrentUser,
        std::string("Software\\Microsoft\\Office\\") + kVersions[version] + "\\Common\\UserInfo",
        "UserName", "山田 太郎");
  }
  for (int app = 1; app < kAppCount; ++app) {
    const std::string progId = std::string(kMsoApps[app].AppName) + ".Application";
    r.SetString(RootKey::ClassesRoot, progId, "",
                std::string("Microsoft ") + kMsoApps[app].AppName + " アプリケーション");
    r.SetString(RootKey::ClassesRoot, progId + "\\CLSID", "", kClassIds[app]);
    const std::string classKey = std::string("CLSID\\") + kClassIds[app];
    r.SetString(RootKey::ClassesRoot, classKey, "", kMsoApps[app].AppName);
    r.SetString(RootKey::ClassesRoot, classKey + "\\LocalServer32", "",
                "\"C:\\Program Files\\Microsoft Office\\OFFICE12\\" +
                    std::string(kMsoApps[app].ExeName) + "\" /automation");
  }
  p.environment.Set("windir", "C:\\Windows");
  p.environment.Set("SystemRoot", "C:\\Windows");

  AddClasses(r, random, Layout::HiveOrder);
}

MemoryPlatform& Machine() {
  static MemoryPlatform* machine = [] {
    auto* p = new MemoryPlatform;
    BuildMachine(*p);
    return p;
  }();
  return *machine;
}

// Only the classes, created in random order.
MemoryPlatform& ScatteredClasses() {
  static MemoryPlatform* machine = [] {
    auto* p = new MemoryPlatform;
    std::mt19937 random(99);
    AddClasses(p->registry, random, Layout::Scattered);
    return p;
  }();
  return *machine;
}

void BM_ModelConstruction(benchmark::State& state) {
  MemoryPlatform& machine = Machine();
  std::size_t products = 0;
  for (auto _ : state) {
    TZelMso model(machine);
    products = model.Versions.size();
    benchmark::DoNotOptimize(model.Slots);
  }
  if (products != kOfficeEntries) state.SkipWithError("the generated products were not all found");
  state.counters["products"] = static_cast<double>(products);
}
BENCHMARK(BM_ModelConstruction)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->MinTime(0.3)
    ->ReportAggregatesOnly(true);

void BM_ScriptHostState(benchmark::State& state) {
  MemoryPlatform& machine = Machine();
  TZelMso model(machine);
  std::int32_t result = -1;
  for (auto _ : state) {
    result = model.GetScriptHostState();
    benchmark::DoNotOptimize(result);
  }
  if (result != 1) state.SkipWithError("a script class was found where there is none");
}
BENCHMARK(BM_ScriptHostState)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->MinTime(0.3)
    ->ReportAggregatesOnly(true);

void BM_ScriptHostStateScattered(benchmark::State& state) {
  TZelMso model(ScatteredClasses());
  std::int32_t result = -1;
  for (auto _ : state) {
    result = model.GetScriptHostState();
    benchmark::DoNotOptimize(result);
  }
  if (result != 1) state.SkipWithError("a script class was found where there is none");
}
BENCHMARK(BM_ScriptHostStateScattered)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->MinTime(0.3)
    ->ReportAggregatesOnly(true);

// One key of 100,000 values from a regedit export, each value then listed and read by name.
void BM_ManyValuesInOneKey(benchmark::State& state) {
  constexpr int kValues = 100000;
  static const std::vector<std::uint8_t> file = [] {
    std::string text = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Many]\r\n";
    for (int n = 0; n < kValues; ++n) {
      text += "\"Value" + std::to_string(n) + "\"=\"text " + std::to_string(n) + "\"\r\n";
    }
    return std::vector<std::uint8_t>(text.begin(), text.end());
  }();
  std::size_t read = 0;
  for (auto _ : state) {
    TreeRegistry registry;
    ApplyRegeditFile(file, "many.reg", registry);
    RegHandle key = 0;
    registry.OpenKey(registry.Root(RootKey::CurrentUser), "Software\\Many", win::kKeyRead, key);
    read = 0;
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    for (std::uint32_t index = 0; registry.EnumValue(key, index, 16384, name) == win::kSuccess;
         ++index) {
      if (registry.QueryValue(key, name, type, &data) == win::kSuccess) ++read;
    }
    registry.CloseKey(key);
  }
  if (read != kValues) state.SkipWithError("not every value was read back");
}
BENCHMARK(BM_ManyValuesInOneKey)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace tovalin::bench
