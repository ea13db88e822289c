// PE files and version blocks from anywhere: every answer stays inside the file, an icon comes
// out as a well-formed .ico, the resources of a type together are no larger than the file, and
// the version block walker answers every path the version reader asks without reading past the
// block. The input is tried both as a whole PE file and as a bare version block, so the block
// walker is reached without a valid PE around it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "support/LittleEndian.h"
#include "support/PeReader.h"
#include "support/VersionBlock.h"

using namespace tovalin;

namespace {

// Every read is checked: a short buffer here is a finding, not a read past it.
std::uint32_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
  const auto value = ReadLe16(b, at);
  fuzz::Check(value.has_value(), "a read past the end of the bytes");
  return *value;
}
std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  const auto value = ReadLe32(b, at);
  fuzz::Check(value.has_value(), "a read past the end of the bytes");
  return *value;
}

void QueryAll(const std::vector<std::uint8_t>& block) {
  std::vector<std::uint8_t> value;
  if (QueryVersionBlock(block, "\\", value)) {
    fuzz::Check(value.size() <= block.size(), "the fixed info is larger than the block");
  }
  std::vector<std::string> tables = {"041104b0", "041103a4", "040904b0", "040904e4"};
  if (QueryVersionBlock(block, "\\VarFileInfo\\Translation", value)) {
    for (std::size_t k = 0; k + 4 <= value.size() && k < 16; k += 4) {
      char name[9];
      std::snprintf(name, sizeof name, "%04x%04x", U16(value, k), U16(value, k + 2));
      tables.emplace_back(name);
    }
  }
  for (const std::string& table : tables) {
    for (const char* key : {"CompanyName", "FileVersion", "ProductName", "ProductVersion"}) {
      if (QueryVersionBlock(block, "\\StringFileInfo\\" + table + "\\" + key, value)) {
        fuzz::Check(value.size() <= block.size(), "a text value is larger than the block");
      }
    }
  }
}

void CheckIco(const std::vector<std::uint8_t>& ico, std::size_t fileSize) {
  if (ico.empty()) return;
  fuzz::Check(ico.size() >= 6 && U16(ico, 0) == 0 && U16(ico, 2) == 1, "bad icon header");
  const std::size_t count = U16(ico, 4);
  fuzz::Check(count > 0 && ico.size() >= 6 + count * 16, "icon directory cut short");
  fuzz::Check(ico.size() <= 6 + count * 16 + fileSize, "an icon larger than its file");
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t size = U32(ico, 6 + i * 16 + 8);
    const std::size_t offset = U32(ico, 6 + i * 16 + 12);
    fuzz::Check(offset >= 6 + count * 16 && offset <= ico.size() && size <= ico.size() - offset,
                "an icon image outside the .ico");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> file(data, data + size);

  const std::vector<std::uint8_t> block = PeVersionResource(file);
  fuzz::Check(block.size() <= file.size(), "a version resource larger than its file");
  if (!block.empty()) QueryAll(block);
  QueryAll(file);

  const std::uint32_t groups = PeIconGroupCount(file);
  for (std::uint32_t n = 0; n < std::min<std::uint32_t>(groups, 4) + 1; ++n) {
    CheckIco(PeIconGroupAsIco(file, n), file.size());
  }

  std::size_t listed = 0;
  for (const PeResource& resource : PeResourcesOfType(file, kRtManifest)) {
    listed += resource.data.size();
  }
  fuzz::Check(listed <= file.size(), "resources larger than their file");
  return 0;
}
