// Wine registry files: whatever parses must be written back in a form that parses to the same
// keys and values, both for untouched keys (kept as read) and for keys the program changed
// (written the way wineserver writes them), and the written form must be stable.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "support/regfile/WineRegFile.h"

using namespace tovalin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  constexpr std::uint64_t kStamp = 0x1dd869d879e1058ull;
  WineHive hive;
  try {
    hive = ParseWineRegistry(std::string(text), "fuzz.reg");
  } catch (const RegFileError&) {
    return 0;
  }

  // Untouched: written from the text each key was read from.
  const std::string kept = FormatWineRegistry(hive, kStamp);
  WineHive again;
  try {
    again = ParseWineRegistry(kept, "kept.reg");
  } catch (const RegFileError& e) {
    fuzz::Fail(std::string("an untouched hive does not read back: ") + e.what());
  }
  std::string diff = fuzz::TreeDifference(*hive.root, *again.root, true);
  fuzz::Check(diff.empty(), "an untouched hive reads back differently: " + diff);

  // The subtree texts the reader kept write what the keys one by one would.
  for (std::vector<RegNode*> pending{hive.root.get()}; !pending.empty();) {
    RegNode* node = pending.back();
    pending.pop_back();
    node->subtreeText = {};
    for (auto& child : node->children) pending.push_back(child.get());
  }
  fuzz::Check(FormatWineRegistry(hive, kStamp) == kept,
              "a hive written key by key differs from its subtree texts");

  // Every key changed: generated text.
  fuzz::MarkModified(*hive.root);
  const std::string generated = FormatWineRegistry(hive, kStamp);
  WineHive regenerated;
  try {
    regenerated = ParseWineRegistry(generated, "generated.reg");
  } catch (const RegFileError& e) {
    fuzz::Fail(std::string("a written hive does not read back: ") + e.what());
  }
  diff = fuzz::TreeDifference(*hive.root, *regenerated.root, false);
  fuzz::Check(diff.empty(), "a written hive reads back differently: " + diff);
  fuzz::MarkModified(*regenerated.root);
  fuzz::Check(FormatWineRegistry(regenerated, kStamp) == generated,
              "writing a written hive again changes it");
  return 0;
}
