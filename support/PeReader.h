// Reads resources out of the bytes of a PE file (PE32 and PE32+) without loading it, so that
// version blocks and icons can be had off Windows. Every offset and length in the file is checked:
// a truncated, damaged or hostile file gives "none", never a read outside the buffer.
#pragma once

#include <cstdint>
#include <vector>

namespace tovalin {

// The resource types read here.
constexpr std::uint32_t kRtIcon = 3;
constexpr std::uint32_t kRtGroupIcon = 14;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kRtManifest = 24;

// One resource of a type: its id (0 when it has a name instead) in one language.
struct PeResource {
  bool named = false;
  std::uint32_t id = 0;
  std::uint32_t language = 0;
  std::vector<std::uint8_t> data;
};

// The VS_VERSIONINFO block (resource type 16, id 1), empty if the file has none.
std::vector<std::uint8_t> PeVersionResource(const std::vector<std::uint8_t>& file);

// Every resource of a type, each name in each of its languages, in resource order. Empty when
// there is none, and when their data together would be larger than the file (a tree that names
// the same data over and over).
std::vector<PeResource> PeResourcesOfType(const std::vector<std::uint8_t>& file,
                                          std::uint32_t type);

// The number of icon groups (resource type 14) in resource order.
std::uint32_t PeIconGroupCount(const std::vector<std::uint8_t>& file);

// Icon group n (0-based, in resource order, as ExtractIcon counts) as the bytes of an .ico file:
// the icon directory, then every image of the group. Empty if there is no such group or none of
// its images is present.
std::vector<std::uint8_t> PeIconGroupAsIco(const std::vector<std::uint8_t>& file, std::uint32_t n);

}  // namespace tovalin
