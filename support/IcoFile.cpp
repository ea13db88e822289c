#include "support/IcoFile.h"

#include "support/LittleEndian.h"

namespace tovalin {

std::array<std::uint8_t, 8> IcoEntry(int width, int height, std::uint16_t bitsPerPixel) {
  std::array<std::uint8_t, 8> entry{};
  entry[0] = static_cast<std::uint8_t>(width >= 256 ? 0 : width);
  entry[1] = static_cast<std::uint8_t>(height >= 256 ? 0 : height);
  StoreLe16(&entry[4], 1);  // planes
  StoreLe16(&entry[6], bitsPerPixel);
  return entry;
}

std::vector<std::uint8_t> WriteIco(const std::vector<IcoImage>& images) {
  std::size_t total = 6 + images.size() * 16;
  for (const IcoImage& image : images) total += image.data.size();
  std::vector<std::uint8_t> ico;
  ico.reserve(total);
  AppendLe16(ico, 0);  // reserved
  AppendLe16(ico, 1);  // icons, not cursors
  AppendLe16(ico, static_cast<std::uint16_t>(images.size()));
  auto offset = static_cast<std::uint32_t>(6 + images.size() * 16);
  for (const IcoImage& image : images) {
    ico.insert(ico.end(), image.entry.begin(), image.entry.end());
    AppendLe32(ico, static_cast<std::uint32_t>(image.data.size()));
    AppendLe32(ico, offset);
    offset += static_cast<std::uint32_t>(image.data.size());
  }
  for (const IcoImage& image : images) ico.insert(ico.end(), image.data.begin(), image.data.end());
  return ico;
}

}  // namespace tovalin
