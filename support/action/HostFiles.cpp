#include "support/action/HostFiles.h"

#include <fstream>
#include <iterator>

namespace tovalin {

std::optional<std::string> ReadHostFile(const std::string& path) {
  std::ifstream in(HostPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return content;
}

}  // namespace tovalin
