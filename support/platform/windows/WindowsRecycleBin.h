// Windows' Recycle Bin, for the files repairs remove. The shell recycles the file
// (IFileOperation, or SHFileOperation where that is missing or, as in Wine 8, only a stub), and
// the bin's own record of it is looked up: the $I file beside the $R file in
// <volume>\$Recycle.Bin\<SID> on Windows, the .trashinfo beside the file in the freedesktop.org
// trash Wine recycles into. Bringing it back moves that file back and removes the record, which
// works the same on both, where the shell's restore verb does nothing in Wine.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "support/platform/Platform.h"

namespace tovalin {

class WindowsRecycleBin {
 public:
  // Reads which bin the user has: the account's SID and, under Wine, where Wine's bin lies.
  WindowsRecycleBin();

  // A file that DeleteFile would take, and no link. The shell recycles a file it cannot keep
  // (a drive without a bin, a file too large for it) for good without a word; a second name of
  // the file made beforehand keeps it until the bin's record is found, and gives it back to its
  // place when none is (kNotSupported).
  long Recycle(std::string_view path, TrashedFile& trashed) const;
  long Restore(const TrashedFile& trashed) const;

 private:
  struct Entry {
    std::wstring info;      // the record
    std::wstring trashed;   // the file it is about
    std::string original;   // where that was, as the record keeps it
    std::string deleted;    // when, in an order that sorts
    bool hostPath = false;  // `original` is a host path (Wine's .trashinfo)
  };
  std::optional<Entry> ReadEntry(const std::wstring& info) const;
  bool Names(const Entry& entry, const std::wstring& path) const;
  std::vector<Entry> EntriesOf(const std::wstring& path) const;
  std::string HostName(const std::wstring& path) const;

  std::wstring sid_;
  std::wstring wineTrash_;  // "" outside Wine
};

}  // namespace tovalin
