// Writes regedit's own format, "Windows Registry Editor Version 5.00": UTF-16LE with a byte-order
// mark, CRLF lines, each key a block closed by a blank line, values written as regedit exports
// them, so that regedit (Windows' or Wine's) imports the file into exactly those types and data.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tovalin {

class RegeditWriter {
 public:
  // A `comment` becomes one ";" line below the first: regedit reads nothing else as a remark.
  explicit RegeditWriter(std::string_view comment = {});

  // Starts the block of a key by its full name ("HKEY_CURRENT_USER\Software\..."). A removed key
  // is written "[-name]", which takes the key and everything below it away.
  void Key(std::string_view name, bool remove = false);
  // A value of the current key; name "" is the key's default value ("@").
  void Value(std::string_view name, std::uint32_t type, const std::vector<std::uint8_t>& data);
  void DeletedValue(std::string_view name);

  std::vector<std::uint8_t> Bytes() const;

 private:
  std::u16string text_;
};

}  // namespace tovalin
