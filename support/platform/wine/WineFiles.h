// The prefix's drives as a Windows program sees them: drive letters through dosdevices/, every
// path component matched without regard to case, attributes as Wine reports them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/platform/Platform.h"
#include "support/platform/wine/HostTrash.h"

namespace tovalin {

class WineFileSystem : public IFileSystem {
 public:
  // `user` owns the trash that removed files go to.
  WineFileSystem(std::string prefixDir, HostUser user);

  std::uint32_t GetFileAttributes(std::string_view path) override;
  std::vector<FindEntry> FindFiles(std::string_view pattern) override;
  bool DeleteFile(std::string_view path) override;
  std::optional<std::vector<std::uint8_t>> ReadFile(std::string_view path) override;
  std::string HostPath(std::string_view windowsPath) override {
    return UnixPath(windowsPath).value_or(std::string());
  }
  // Refuses a folder that does not lie, by its real path and reached through no link, below the
  // prefix's own drive_c/users. A folder not made yet is judged by where it would be made.
  std::string UserFilesRefusal(std::string_view folder) override;
  // The desktop's trash of the host user, for the files DeleteFile would delete: a file inside
  // the profile, reached through no link, not read-only. `trashed.path` ends in the file's name
  // as it is on the disk; `trashed` and `info` are host paths.
  long TrashFile(std::string_view path, TrashedFile& trashed) override;
  // Puts a file back only into the profile folder it came from, and only the file its record in
  // the trash names (kFileNotFound when the trash holds another under that name by now).
  long RestoreFile(const TrashedFile& trashed) override;

  // The Unix path of an existing file or folder, or nothing. A relative path or one without a
  // drive letter is taken from C:\, the current folder of a program started from Linux.
  std::optional<std::string> UnixPath(std::string_view windowsPath) const;
  // Wine shows dot files as hidden unless HKCU\Software\Wine "ShowDotFiles" says otherwise.
  void SetShowDotFiles(bool show) { showDotFiles_ = show; }
  // Where the user's profile folder is (USERPROFILE); without it nothing can be deleted.
  void SetEnvironment(IEnvironment* environment) { environment_ = environment; }

  // The attributes Wine reports for a Unix path (its own name decides "hidden").
  std::uint32_t AttributesOf(const std::string& unixPath, std::string_view name) const;

 private:
  bool InsideProfile(const std::string& unixPath);
  // The real path of the user's profile folder when the user's files may be changed there.
  std::string ProfileRoot();

  std::string prefix_;
  HostTrash trash_;
  bool showDotFiles_ = false;
  IEnvironment* environment_ = nullptr;
};

// Splits a Windows path into its drive letter (lower case, 'c' when none) and its components,
// with "." dropped and ".." applied; false for forms that name no drive path (UNC shares).
bool SplitWindowsPath(std::string_view path, char& drive, std::vector<std::string>& parts);

}  // namespace tovalin
