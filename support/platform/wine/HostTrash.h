// The desktop's trash of the host user, as freedesktop.org's Trash 1.0 lays it
// out: $XDG_DATA_HOME/Trash (~/.local/share/Trash) for the files on the home's file system, and
// for those on another one a trash at the top of that file system ($topdir/.Trash/$uid where an
// administrator made .Trash, else $topdir/.Trash-$uid). Each holds files/ and a .trashinfo per
// file in info/ telling where it was, so the desktop restores it too.
#pragma once

#include <optional>
#include <string>

#include "support/platform/wine/WineOpenOptions.h"

namespace tovalin {

class HostTrash {
 public:
  explicit HostTrash(HostUser user) : user_(std::move(user)) {}

  // Moves `name` of `folder` into the trash of its file system. The folder is taken as given,
  // so it must be a real path; a file that is a link or no regular file is refused. kSuccess
  // with the host paths of the file in the trash and of its record; an error code when no trash
  // takes it (the file is then where it was). The file never leaves its file system.
  long Trash(const std::string& folder, const std::string& name, std::string& trashed,
             std::string& info) const;

  // Where a trashed file was by its record (absolute), or nothing when the record is gone or
  // is not the record of that file.
  std::optional<std::string> OriginalPath(const std::string& trashed,
                                          const std::string& info) const;

  // Renames the trashed file to `target` unless something is there (kFileExists), then removes
  // its record.
  long Restore(const std::string& trashed, const std::string& info,
               const std::string& target) const;

  // $XDG_DATA_HOME/Trash, or ~/.local/share/Trash; "" when the user has no home.
  std::string HomeTrash() const;

 private:
  // The trash that takes files of the file system `device` at `folder`, made where missing;
  // `base` gets the folder a relative Path starts from ("" for the home trash).
  std::optional<std::string> TrashFor(const std::string& folder, unsigned long device,
                                      std::string& base) const;
  std::optional<std::string> TopTrash(const std::string& topdir) const;
  bool OwnFolder(const std::string& path) const;

  HostUser user_;
};

}  // namespace tovalin
