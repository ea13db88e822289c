// Regedit exports: a file that is refused changes nothing; a file that is applied leaves a
// registry whose every root can be saved as a Wine hive and read back unchanged (the command
// line tool and the Wine prefix platform meet exactly there).
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "support/regfile/RegeditFile.h"
#include "support/regfile/WineRegFile.h"

using namespace tovalin;

namespace {

constexpr std::array<RootKey, 4> kRoots = {RootKey::ClassesRoot, RootKey::CurrentUser,
                                           RootKey::LocalMachine, RootKey::Users};

void Preload(TreeRegistry& registry) {
  registry.SetString(RootKey::LocalMachine, "SOFTWARE\\Microsoft\\Office\\11.0\\Excel", "", "x");
  registry.SetDword(RootKey::LocalMachine, "SOFTWARE\\Microsoft\\Office\\11.0\\Excel\\Options",
                    "Flags", 8);
  registry.SetString(RootKey::CurrentUser, "Software\\Test", "UserName", "山田 太郎");
  registry.SetBinary(RootKey::ClassesRoot, "Excel.Sheet.8", "BrowserFlags", {8, 0, 0, 0});
  registry.Ensure(RootKey::Users, ".DEFAULT\\Keyboard Layout\\Preload");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> content(data, data + size);
  TreeRegistry registry;
  Preload(registry);
  std::array<std::shared_ptr<RegNode>, 4> before;
  for (std::size_t k = 0; k < kRoots.size(); ++k) {
    before[k] = fuzz::CloneTree(*registry.RootNode(kRoots[k]));
  }

  try {
    ApplyRegeditFile(content, "fuzz.reg", registry);
  } catch (const RegFileError&) {
    for (std::size_t k = 0; k < kRoots.size(); ++k) {
      const std::string diff =
          fuzz::TreeDifference(*before[k], *registry.RootNode(kRoots[k]), true);
      fuzz::Check(diff.empty(), "a refused file changed the registry: " + diff);
    }
    return 0;
  }

  for (const RootKey root : kRoots) {
    WineHive hive;
    hive.relative = "REGISTRY\\Machine";
    hive.arch = "win64";
    hive.root = registry.RootNode(root);
    fuzz::MarkModified(*hive.root);
    const std::string text = FormatWineRegistry(hive, 0x1dd869d879e1058ull);
    WineHive back;
    try {
      back = ParseWineRegistry(text, "saved.reg");
    } catch (const RegFileError& e) {
      fuzz::Fail(std::string("an imported registry cannot be saved as a hive: ") + e.what());
    }
    const std::string diff = fuzz::TreeDifference(*hive.root, *back.root, false);
    fuzz::Check(diff.empty(), "an imported registry saves differently: " + diff);
  }
  return 0;
}
