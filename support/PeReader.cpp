#include "support/PeReader.h"

#include <algorithm>
#include <map>

#include "support/IcoFile.h"
#include "support/LittleEndian.h"

namespace tovalin {

namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kHighBit = 0x80000000u;

struct Section {
  std::uint64_t virtualAddress = 0;
  std::uint64_t mappedSize = 0;  // what the loader maps
  std::uint64_t backedSize = 0;  // the part of it that comes from the file
  std::uint64_t rawOffset = 0;
};

// One entry of a resource directory.
struct ResourceEntry {
  bool named = false;
  std::uint32_t id = 0;      // the id when not named
  std::uint32_t target = 0;  // offset from the start of the resource section
  bool directory = false;
};

// The headers of a PE file and the address mapping of its sections. All reads go through
// Bytes(), which checks the whole range against one section and against the file.
class PeImage {
 public:
  explicit PeImage(const std::vector<std::uint8_t>& file)
      : file_(file), budget_(file.size() / 2 + 4096) {
    Parse();
  }

  bool HasResources() const { return resourceRva_ != 0; }

  // The file bytes behind [rva, rva + size), or null when they are not all in the file.
  const std::uint8_t* Bytes(std::uint64_t rva, std::uint64_t size) const {
    for (const Section& s : sections_) {
      if (rva < s.virtualAddress || rva - s.virtualAddress >= s.mappedSize) continue;
      const std::uint64_t rel = rva - s.virtualAddress;
      if (size > s.backedSize - std::min(rel, s.backedSize) || rel > s.backedSize) return nullptr;
      const std::uint64_t offset = s.rawOffset + rel;
      if (offset > file_.size() || size > file_.size() - offset) return nullptr;
      return file_.data() + offset;
    }
    return nullptr;
  }

  // A directory of the resource tree at `offset` from the resource section's start.
  bool ReadDirectory(std::uint32_t offset, std::vector<ResourceEntry>& entries) const {
    entries.clear();
    const std::uint64_t at = resourceRva_ + static_cast<std::uint64_t>(offset);
    const std::uint8_t* header = Bytes(at, 16);
    if (header == nullptr) return false;
    const std::uint64_t count =
        static_cast<std::uint64_t>(LoadLe16(header + 12)) + LoadLe16(header + 14);
    // Directories may overlap or be shared between entries; the budget keeps a hostile tree
    // from making us read the same large directory over and over.
    if (count > budget_) return false;
    budget_ -= count;
    const std::uint8_t* raw = Bytes(at + 16, count * 8);
    if (raw == nullptr) return false;
    entries.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint32_t name = LoadLe32(raw + i * 8);
      const std::uint32_t target = LoadLe32(raw + i * 8 + 4);
      ResourceEntry e;
      e.named = (name & kHighBit) != 0;
      e.id = e.named ? 0 : name;
      e.directory = (target & kHighBit) != 0;
      e.target = target & ~kHighBit;
      entries.push_back(e);
    }
    return true;
  }

  // The data a leaf entry describes, or nothing.
  std::vector<std::uint8_t> LeafData(std::uint32_t offset) const {
    const std::uint8_t* entry = Bytes(resourceRva_ + static_cast<std::uint64_t>(offset), 16);
    if (entry == nullptr) return {};
    const std::uint32_t rva = LoadLe32(entry);
    const std::uint32_t size = LoadLe32(entry + 4);
    const std::uint8_t* data = Bytes(rva, size);
    if (data == nullptr) return {};
    return std::vector<std::uint8_t>(data, data + size);
  }

  std::size_t FileSize() const { return file_.size(); }

 private:
  void Parse() {
    const std::size_t size = file_.size();
    if (size < 0x40 || file_[0] != 'M' || file_[1] != 'Z') return;
    const std::uint64_t pe = LoadLe32(&file_[0x3C]);
    if (pe > size || size - pe < 24) return;
    const std::uint8_t* sig = &file_[pe];
    if (sig[0] != 'P' || sig[1] != 'E' || sig[2] != 0 || sig[3] != 0) return;
    const std::uint64_t sectionCount = LoadLe16(sig + 6);
    const std::uint64_t optionalSize = LoadLe16(sig + 20);
    const std::uint64_t optional = pe + 24;
    if (optionalSize > size - optional) return;
    if (optionalSize < 2) return;
    const std::uint16_t magic = LoadLe16(&file_[optional]);
    std::uint64_t countAt = 0;
    if (magic == kPe32Magic) {
      countAt = 92;
    } else if (magic == kPe32PlusMagic) {
      countAt = 108;
    } else {
      return;
    }
    const std::uint64_t directories = countAt + 4;
    const std::uint64_t resourceEntry = directories + 8 * kResourceDirectoryIndex;
    if (resourceEntry + 8 > optionalSize) return;
    if (LoadLe32(&file_[optional + countAt]) <= kResourceDirectoryIndex) return;

    const std::uint64_t table = optional + optionalSize;
    if (sectionCount * 40 > size - table) return;
    for (std::uint64_t i = 0; i < sectionCount; ++i) {
      const std::uint8_t* h = &file_[table + i * 40];
      Section s;
      const std::uint64_t virtualSize = LoadLe32(h + 8);
      s.virtualAddress = LoadLe32(h + 12);
      const std::uint64_t rawSize = LoadLe32(h + 16);
      s.rawOffset = LoadLe32(h + 20);
      s.mappedSize = virtualSize != 0 ? virtualSize : rawSize;
      s.backedSize = std::min(rawSize, s.mappedSize);
      sections_.push_back(s);
    }
    resourceRva_ = LoadLe32(&file_[optional + resourceEntry]);
  }

  const std::vector<std::uint8_t>& file_;
  std::vector<Section> sections_;
  std::uint64_t resourceRva_ = 0;
  mutable std::uint64_t budget_;  // directory entries left to read
};

// The entries one level down from the root for this type: the names, in resource order.
bool NamesOfType(const PeImage& image, std::uint32_t type, std::vector<ResourceEntry>& names) {
  names.clear();
  std::vector<ResourceEntry> types;
  if (!image.HasResources() || !image.ReadDirectory(0, types)) return false;
  for (const ResourceEntry& t : types) {
    if (!t.named && t.id == type && t.directory) return image.ReadDirectory(t.target, names);
  }
  return false;
}

// The data of one name in the language a Japanese system picks: neutral, then Japanese, then
// U.S. English, then whatever comes first. `preferred` goes before all of them when given.
std::vector<std::uint8_t> DataOfName(const PeImage& image, const ResourceEntry& name,
                                     std::uint32_t* languageOut = nullptr,
                                     std::int64_t preferred = -1) {
  if (!name.directory) return {};
  std::vector<ResourceEntry> languages;
  if (!image.ReadDirectory(name.target, languages)) return {};
  const ResourceEntry* chosen = nullptr;
  for (std::int64_t want : {preferred, std::int64_t{0}, std::int64_t{0x411}, std::int64_t{0x409}}) {
    if (want < 0) continue;
    for (const ResourceEntry& l : languages) {
      if (!l.named && !l.directory && l.id == want) {
        chosen = &l;
        break;
      }
    }
    if (chosen != nullptr) break;
  }
  if (chosen == nullptr) {
    for (const ResourceEntry& l : languages) {
      if (!l.directory) {
        chosen = &l;
        break;
      }
    }
  }
  if (chosen == nullptr) return {};
  if (languageOut != nullptr) *languageOut = chosen->id;
  return image.LeafData(chosen->target);
}

}  // namespace

std::vector<std::uint8_t> PeVersionResource(const std::vector<std::uint8_t>& file) {
  const PeImage image(file);
  std::vector<ResourceEntry> names;
  if (!NamesOfType(image, kRtVersion, names)) return {};
  for (const ResourceEntry& name : names) {
    if (!name.named && name.id == 1) return DataOfName(image, name);
  }
  return {};
}

std::vector<PeResource> PeResourcesOfType(const std::vector<std::uint8_t>& file,
                                          std::uint32_t type) {
  const PeImage image(file);
  std::vector<ResourceEntry> names;
  if (!NamesOfType(image, type, names)) return {};
  std::vector<PeResource> found;
  std::size_t total = 0;
  std::vector<ResourceEntry> languages;
  for (const ResourceEntry& name : names) {
    if (!name.directory || !image.ReadDirectory(name.target, languages)) continue;
    for (const ResourceEntry& language : languages) {
      if (language.directory) continue;
      PeResource& resource = found.emplace_back();
      resource.named = name.named;
      resource.id = name.id;
      resource.language = language.id;
      resource.data = image.LeafData(language.target);
      total += resource.data.size();
      if (total > image.FileSize()) return {};
    }
  }
  return found;
}

std::uint32_t PeIconGroupCount(const std::vector<std::uint8_t>& file) {
  const PeImage image(file);
  std::vector<ResourceEntry> names;
  if (!NamesOfType(image, kRtGroupIcon, names)) return 0;
  return static_cast<std::uint32_t>(names.size());
}

std::vector<std::uint8_t> PeIconGroupAsIco(const std::vector<std::uint8_t>& file, std::uint32_t n) {
  const PeImage image(file);
  std::vector<ResourceEntry> groups;
  if (!NamesOfType(image, kRtGroupIcon, groups) || n >= groups.size()) return {};
  std::uint32_t language = 0;
  const std::vector<std::uint8_t> group = DataOfName(image, groups[n], &language);
  // GRPICONDIR: reserved, type 1 (icon), count; then 14-byte entries ending in the image id.
  if (group.size() < 6 || LoadLe16(&group[2]) != 1) return {};
  const std::size_t count = std::min<std::size_t>(LoadLe16(&group[4]), (group.size() - 6) / 14);

  std::vector<ResourceEntry> icons;
  NamesOfType(image, kRtIcon, icons);
  std::map<std::uint32_t, const ResourceEntry*> iconById;
  for (const ResourceEntry& icon : icons) {
    if (!icon.named) iconById.emplace(icon.id, &icon);
  }

  std::vector<IcoImage> images;
  std::size_t total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = &group[6 + i * 14];
    auto it = iconById.find(LoadLe16(entry + 12));
    if (it == iconById.end()) continue;
    std::vector<std::uint8_t> data = DataOfName(image, *it->second, nullptr, language);
    if (data.empty()) continue;
    // A group that names the same image over and over must not multiply the file.
    total += data.size();
    if (total > image.FileSize()) return {};
    IcoImage& icon = images.emplace_back();
    std::copy(entry, entry + 8, icon.entry.begin());  // size, colours, planes, bit count
    icon.data = std::move(data);
  }
  if (images.empty()) return {};
  return WriteIco(images);
}

}  // namespace tovalin
