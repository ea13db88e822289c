// Windows icon files (.ico): a directory of images, each a BMP without its file header or a PNG.
// Icons taken out of a PE file, icons of the Windows shell and the program's own icon are all
// handed on in this form.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tovalin {

struct IcoImage {
  // The first eight bytes of the image's directory entry: width, height (0 stands for 256),
  // colour count, reserved, planes, bits per pixel. A PE file's icon group has them so too.
  std::array<std::uint8_t, 8> entry{};
  std::vector<std::uint8_t> data;
};

// The entry of a true-colour image.
std::array<std::uint8_t, 8> IcoEntry(int width, int height, std::uint16_t bitsPerPixel = 32);

// The directory, then the images back to back in its order.
std::vector<std::uint8_t> WriteIco(const std::vector<IcoImage>& images);

}  // namespace tovalin
