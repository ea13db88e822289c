// The prefix's drives and environment on temporary prefixes.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "support/ZelRegistry.h"
#include "support/ZelSysUtils.h"
#include "support/platform/wine/WinePlatform.h"
#include "tests/wine/WineTestSupport.h"

namespace tovalin {
namespace {

using winetest::TemplatePrefix;

std::unique_ptr<Platform> Open(const TemplatePrefix& prefix, bool writable = false) {
  WineOpenOptions options;
  options.writable = writable;
  return OpenWinePrefix(prefix.path(), options);
}

std::vector<std::string> Names(const std::vector<FindEntry>& entries) {
  std::vector<std::string> names;
  for (const FindEntry& entry : entries) names.push_back(entry.name);
  return names;
}

TEST(WineFiles, WindowsPathsFindFilesWithoutRegardToCase) {
  TemplatePrefix prefix;
  prefix.AddFile("Program Files/Microsoft Office/OFFICE11/EXCEL.EXE", "MZ");
  auto platform = Open(prefix);
  IFileSystem& files = platform->Files();
  constexpr std::uint32_t kArchive = win::kFileAttributeArchive;
  constexpr std::uint32_t kFolder = win::kFileAttributeDirectory;
  EXPECT_EQ(files.GetFileAttributes("c:\\program files\\MICROSOFT OFFICE\\office11\\excel.exe"),
            kArchive);
  EXPECT_EQ(files.GetFileAttributes("C:/Program Files/Microsoft Office/"), kFolder);
  EXPECT_EQ(files.GetFileAttributes(
                "C:\\Program Files\\Microsoft Office\\OFFICE11\\..\\OFFICE11\\.\\Excel.exe"),
            kArchive);
  EXPECT_EQ(files.GetFileAttributes("C:\\"), kFolder);
  // A trailing backslash names a folder only.
  EXPECT_EQ(files.GetFileAttributes("C:\\Program Files\\Microsoft Office\\OFFICE11\\EXCEL.EXE\\"),
            win::kInvalidFileAttributes);
  EXPECT_EQ(files.GetFileAttributes("\\Program Files"), kFolder);  // the current drive, C:
  EXPECT_EQ(files.GetFileAttributes("Q:\\Program Files"), win::kInvalidFileAttributes);
  EXPECT_EQ(files.GetFileAttributes("C:\\Program Files\\missing.exe"), win::kInvalidFileAttributes);
  EXPECT_EQ(files.GetFileAttributes("\\\\server\\share\\x.exe"), win::kInvalidFileAttributes);

  std::string zPath = "Z:" + prefix.File("drive_c/Program Files/Microsoft Office/OFFICE11");
  for (char& c : zPath) c = c == '/' ? '\\' : c;
  EXPECT_EQ(files.GetFileAttributes(zPath), kFolder);

  const auto content = files.ReadFile("C:\\PROGRAM FILES\\Microsoft Office\\Office11\\EXCEL.EXE");
  ASSERT_TRUE(content.has_value());
  EXPECT_EQ(*content, (std::vector<std::uint8_t>{'M', 'Z'}));
  EXPECT_FALSE(files.ReadFile("C:\\Program Files").has_value());
  EXPECT_TRUE(FileExists(*platform, "C:\\Program Files\\Microsoft Office\\OFFICE11\\EXCEL.EXE"));
}

TEST(WineFiles, AttributesAsWineReportsThem) {
  TemplatePrefix prefix;
  prefix.AddFile("t/.dotfile");
  const std::string readOnly = prefix.AddFile("t/readonly.txt");
  chmod(readOnly.c_str(), 0444);
  prefix.AddFolder("t/lockeddir");
  chmod(prefix.File("drive_c/t/lockeddir").c_str(), 0555);
  const std::string hidden = prefix.AddFile("t/hidden.txt");
  const std::string system = prefix.AddFile("t/system.txt");
  // Where Wine keeps what Unix modes cannot say.
  ASSERT_EQ(setxattr(hidden.c_str(), "user.DOSATTRIB", "0x2", 3, 0), 0);
  ASSERT_EQ(setxattr(system.c_str(), "user.DOSATTRIB", "0x24", 4, 0), 0);
  auto platform = Open(prefix);
  IFileSystem& files = platform->Files();
  EXPECT_EQ(files.GetFileAttributes("C:\\t\\.dotfile"), 0x22u);
  EXPECT_EQ(files.GetFileAttributes("C:\\t\\readonly.txt"), 0x21u);
  EXPECT_EQ(files.GetFileAttributes("C:\\t\\lockeddir"), 0x11u);
  EXPECT_EQ(files.GetFileAttributes("C:\\t\\hidden.txt"), 0x22u);
  EXPECT_EQ(files.GetFileAttributes("C:\\t\\system.txt"), 0x24u);
  EXPECT_EQ(files.GetFileAttributes("C:\\t"), 0x10u);

  // With ShowDotFiles a dot file is an ordinary one.
  winetest::WriteText(prefix.File("user.reg"),
                      winetest::ReadText(prefix.File("user.reg")) +
                          "\n[Software\\\\Wine] 1700000000\n\"ShowDotFiles\"=\"Y\"\n");
  EXPECT_EQ(Open(prefix)->Files().GetFileAttributes("C:\\t\\.dotfile"), 0x20u);
}

TEST(WineFiles, SearchByMaskAndDelete) {
  TemplatePrefix prefix;
  const std::string temp = "users/tester/Temp/";
  prefix.AddFile(temp + "~WRL0001.tmp", "x");
  prefix.AddFile(temp + "~DF12.TMP", "x");
  const std::string readOnly = prefix.AddFile(temp + "~ro.tmp", "x");
  chmod(readOnly.c_str(), 0444);
  prefix.AddFolder(temp + "~folder.tmp");
  prefix.AddFile(temp + "keep.tmp", "x");
  prefix.AddFile(temp + "noext", "x");
  auto platform = Open(prefix);
  IFileSystem& files = platform->Files();

  const std::vector<FindEntry> found = files.FindFiles("C:\\users\\tester\\Temp\\~*.tmp");
  EXPECT_EQ(Names(found),
            (std::vector<std::string>{"~DF12.TMP", "~folder.tmp", "~ro.tmp", "~WRL0001.tmp"}));
  EXPECT_EQ(found[1].attributes, win::kFileAttributeDirectory);
  EXPECT_EQ(found[2].attributes, 0x21u);
  EXPECT_EQ(files.FindFiles("C:\\users\\tester\\Temp\\*.*").size(), 6u);
  EXPECT_EQ(Names(files.FindFiles("C:\\Users\\Tester\\TEMP\\NOEXT")),
            (std::vector<std::string>{"noext"}));
  EXPECT_EQ(Names(files.FindFiles("C:\\users\\tester\\Temp\\?eep.tm?")),
            (std::vector<std::string>{"keep.tmp"}));
  EXPECT_TRUE(files.FindFiles("C:\\no such folder\\*").empty());

  EXPECT_TRUE(files.DeleteFile("c:\\users\\tester\\temp\\~wrl0001.TMP"));
  EXPECT_EQ(files.GetFileAttributes("C:\\users\\tester\\Temp\\~WRL0001.tmp"),
            win::kInvalidFileAttributes);
  EXPECT_FALSE(files.DeleteFile("C:\\users\\tester\\Temp\\~ro.tmp"));
  EXPECT_FALSE(files.DeleteFile("C:\\users\\tester\\Temp\\~folder.tmp"));
  EXPECT_FALSE(files.DeleteFile("C:\\users\\tester\\Temp\\missing.tmp"));
  EXPECT_EQ(files.FindFiles("C:\\users\\tester\\Temp\\~*.tmp").size(), 3u);
}

// Deleting stays inside the user's profile folder: not outside it, not through a link that leads
// out of it, and never the link's target; a link shows as a reparse point.
TEST(WineFiles, DeleteStaysInsideTheProfileAndFollowsNoLink) {
  TemplatePrefix prefix;
  const std::string outside = prefix.AddFile("windows/temp/~x.tmp", "x");
  const std::string target = prefix.AddFile("Elsewhere/~target.tmp", "x");
  prefix.AddFolder("users/tester/Temp");
  const std::string temp = prefix.File("drive_c/users/tester/Temp");
  ASSERT_EQ(symlink(target.c_str(), (temp + "/~link.tmp").c_str()), 0);
  ASSERT_EQ(symlink(prefix.File("drive_c/Elsewhere").c_str(), (temp + "/linked").c_str()), 0);
  auto platform = Open(prefix);
  IFileSystem& files = platform->Files();
  ASSERT_EQ(platform->Environment().GetVariable("USERPROFILE"), "C:\\users\\tester");

  EXPECT_FALSE(files.DeleteFile("C:\\windows\\temp\\~x.tmp"));
  EXPECT_FALSE(files.DeleteFile("C:\\users\\tester\\Temp\\~link.tmp"));
  EXPECT_FALSE(files.DeleteFile("C:\\users\\tester\\Temp\\linked\\~target.tmp"));
  EXPECT_FALSE(files.DeleteFile("C:\\users\\tester\\..\\..\\windows\\temp\\~x.tmp"));
  EXPECT_EQ(files.GetFileAttributes("C:\\users\\tester\\Temp\\linked"),
            win::kFileAttributeDirectory | win::kFileAttributeReparsePoint);
  EXPECT_EQ(files.GetFileAttributes("C:\\"), win::kFileAttributeDirectory);
  struct stat st {};
  EXPECT_EQ(stat(outside.c_str(), &st), 0);
  EXPECT_EQ(stat(target.c_str(), &st), 0);
}

// Whatever the registry names as the profile, the user's files lie in the prefix's own
// drive_c/users: another folder there, or one reached through a link, is refused with the reason,
// and deleting follows the same rule.
TEST(WineFiles, UserFilesLieOnlyBelowThePrefixsUsersFolder) {
  TemplatePrefix prefix;
  winetest::TempDir host("tovalin-host");
  winetest::MakeDirs(host.path() + "/x/Temp");
  const std::string hostFile = host.path() + "/x/Temp/~$Thesis.docx.tmp";
  winetest::WriteText(hostFile, "thesis");
  ASSERT_EQ(symlink(host.path().c_str(), prefix.File("drive_c/users/away").c_str()), 0);
  std::string hostProfile = "Z:" + host.path() + "/x";
  for (char& c : hostProfile) c = c == '/' ? '\\' : c;
  auto platform = Open(prefix, true);
  IFileSystem& files = platform->Files();

  const struct {
    std::string folder;
    const char* refusal;  // in the reason, or nullptr when allowed
  } cases[] = {
      {"C:\\users\\tester", nullptr},
      {"c:\\USERS\\Tester\\Temp\\", nullptr},
      {"C:\\users\\not made yet", nullptr},
      {"C:\\", "のユーザー フォルダー"},
      {"C:\\windows", "のユーザー フォルダー"},
      {"C:\\users", "のユーザー フォルダー"},
      {hostProfile, "のユーザー フォルダー"},
      {"C:\\users\\away\\x", "C:\\users\\away はリンクです"},
      {"Q:\\users\\tester", "のドライブ"},
      {"\\\\server\\share", "ドライブ上にありません"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    const std::string refusal = files.UserFilesRefusal(c.folder);
    if (c.refusal == nullptr) {
      EXPECT_EQ(refusal, "");
    } else {
      EXPECT_TRUE(refusal.starts_with(c.folder + " ")) << refusal;
      EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
    }
  }

  TZelRegistry reg(platform->Registry());
  reg.SetRoot(RootKey::CurrentUser);
  ASSERT_TRUE(reg.OpenKeyWrite("\\Environment", false));
  for (const std::string& profile : {std::string("C:\\"), hostProfile}) {
    reg.WriteText("USERPROFILE", profile);
    EXPECT_FALSE(files.DeleteFile(hostProfile + "\\Temp\\~$Thesis.docx.tmp")) << profile;
  }
  EXPECT_EQ(winetest::ReadText(hostFile), "thesis");
}

std::unique_ptr<Platform> OpenWithTrash(const TemplatePrefix& prefix, HostUser user) {
  WineOpenOptions options;
  options.writable = true;
  options.hostUser = std::move(user);
  return OpenWinePrefix(prefix.path(), options);
}

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

unsigned Mode(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// What the desktop finds in the trash: the file under a name of its own in files/, and in info/
// a record with the escaped path and the local time, made before the file came.
TEST(WineTrash, EntriesFollowFreedesktopTrash) {
  TemplatePrefix prefix;
  winetest::TempDir data("tovalin-xdg");
  auto platform = OpenWithTrash(prefix, {data.path(), "/nonexistent", getuid()});
  IFileSystem& files = platform->Files();
  const std::string excel = "users/tester/AppData/Roaming/Microsoft/Excel/";
  const std::string trash = data.path() + "/Trash";
  const std::time_t start = std::time(nullptr);
  const struct {
    const char* content;
    const char* entry;
  } cases[] = {{"one", "日本 語.xlb"}, {"two", "日本 語.2.xlb"}, {"three", "日本 語.3.xlb"}};
  std::vector<TrashedFile> trashed;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    prefix.AddFile(excel + "日本 語.xlb", c.content);
    TrashedFile done;
    ASSERT_EQ(
        files.TrashFile("c:\\USERS\\tester\\AppData\\Roaming\\Microsoft\\Excel\\日本 語.XLB", done),
        win::kSuccess);
    EXPECT_EQ(done.path, "C:\\USERS\\tester\\AppData\\Roaming\\Microsoft\\Excel\\日本 語.xlb");
    EXPECT_EQ(done.trashed, trash + "/files/" + c.entry);
    EXPECT_EQ(done.info, trash + "/info/" + c.entry + ".trashinfo");
    EXPECT_EQ(winetest::ReadText(done.trashed), c.content);

    const std::string info = winetest::ReadText(done.info);
    const std::string head = "[Trash Info]\nPath=" + prefix.path() + "/drive_c/" + excel +
                             "%E6%97%A5%E6%9C%AC%20%E8%AA%9E.xlb\nDeletionDate=";
    ASSERT_TRUE(info.starts_with(head)) << info;
    std::tm local{};
    char end = '\0';
    ASSERT_EQ(std::sscanf(info.c_str() + head.size(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &local.tm_year,
                          &local.tm_mon, &local.tm_mday, &local.tm_hour, &local.tm_min,
                          &local.tm_sec, &end),
              7)
        << info;
    EXPECT_EQ(end, '\n');
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    EXPECT_LE(start, when);
    EXPECT_LE(when, std::time(nullptr));
    trashed.push_back(done);
  }
  for (const char* folder : {"", "/files", "/info"}) EXPECT_EQ(Mode(trash + folder), 0700u);

  ASSERT_EQ(files.RestoreFile(trashed[1]), win::kSuccess);
  EXPECT_EQ(winetest::ReadText(prefix.File("drive_c/" + excel + "日本 語.xlb")), "two");
  EXPECT_FALSE(Exists(trashed[1].info));
  EXPECT_TRUE(Exists(trashed[0].info));
}

TEST(WineTrash, HomeTrashIsWhereXdgDataHomeSays) {
  TemplatePrefix prefix;
  winetest::TempDir host("tovalin-host");
  const struct {
    std::string dataHome;
    std::string trash;
  } cases[] = {
      {host.path() + "/data", host.path() + "/data/Trash"},
      {"", host.path() + "/.local/share/Trash"},
      {"relative/data", host.path() + "/.local/share/Trash"},  // not absolute: not taken
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dataHome);
    prefix.AddFile("users/tester/Temp/~WRL0001.tmp", "x");
    auto platform = OpenWithTrash(prefix, {c.dataHome, host.path(), getuid()});
    TrashedFile trashed;
    ASSERT_EQ(platform->Files().TrashFile("C:\\users\\tester\\Temp\\~WRL0001.tmp", trashed),
              win::kSuccess);
    EXPECT_TRUE(trashed.trashed.starts_with(c.trash + "/files/~WRL0001.")) << trashed.trashed;
  }
}

// Neither way leaves the profile or follows a link, and a restore brings back only the file
// whose record is still the trash's record of it.
TEST(WineTrash, StaysInsideTheProfileAndTrustsOnlyTheRecord) {
  TemplatePrefix prefix;
  winetest::TempDir data("tovalin-xdg");
  const std::string temp = "users/tester/Temp/";
  const std::string target = prefix.AddFile("Elsewhere/~target.tmp", "x");
  prefix.AddFile("windows/temp/~x.tmp", "x");
  ASSERT_EQ(symlink(target.c_str(), prefix.File("drive_c/" + temp + "~link.tmp").c_str()), 0);
  prefix.AddFile(temp + "~a.tmp", "a");
  prefix.AddFile(temp + "~b.tmp", "b");
  auto platform = OpenWithTrash(prefix, {data.path(), "/nonexistent", getuid()});
  IFileSystem& files = platform->Files();
  for (const char* refused : {"C:\\users\\tester\\Temp\\~link.tmp", "C:\\windows\\temp\\~x.tmp",
                              "C:\\Elsewhere\\~target.tmp"}) {
    TrashedFile trashed;
    EXPECT_EQ(files.TrashFile(refused, trashed), win::kAccessDenied) << refused;
  }
  EXPECT_TRUE(Exists(target));

  TrashedFile a;
  TrashedFile b;
  ASSERT_EQ(files.TrashFile("C:\\users\\tester\\Temp\\~a.tmp", a), win::kSuccess);
  ASSERT_EQ(files.TrashFile("C:\\users\\tester\\Temp\\~b.tmp", b), win::kSuccess);
  const struct {
    const char* name;
    TrashedFile changed;
    long code;
  } cases[] = {
      {"outside the profile", {"C:\\windows\\temp\\~a.tmp", a.trashed, a.info}, win::kAccessDenied},
      {"a folder that is gone",
       {"C:\\users\\tester\\Gone\\~a.tmp", a.trashed, a.info},
       win::kPathNotFound},
      {"another name", {"C:\\users\\tester\\Temp\\~c.tmp", a.trashed, a.info}, win::kFileNotFound},
      {"another file's record", {a.path, a.trashed, b.info}, win::kFileNotFound},
      {"no record", {a.path, a.trashed, ""}, win::kFileNotFound},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(files.RestoreFile(c.changed), c.code) << c.name;
  }
  EXPECT_TRUE(Exists(a.trashed));
  EXPECT_EQ(files.RestoreFile(a), win::kSuccess);
  EXPECT_EQ(winetest::ReadText(prefix.File("drive_c/" + temp + "~a.tmp")), "a");
}

// A folder of the profile on another file system (a second disk, say) has its trash at the
// top of that file system, where the file need not leave it: an administrator's shared .Trash
// when it is safe to use, else the user's own .Trash-<uid>. Paths there start at the top.
TEST(WineTrash, AnotherFileSystemHasItsTrashAtItsTop) {
  TemplatePrefix prefix;
  winetest::TempDir data("tovalin-xdg");
  const std::string disk = prefix.File("drive_c/users/tester/Disk");
  winetest::MakeDirs(disk);
  if (mount("tovalin-test", disk.c_str(), "tmpfs", 0, "size=1m,mode=0755") != 0) {
    GTEST_SKIP() << "no file system of its own can be mounted here: " << std::strerror(errno);
  }
  struct Unmount {
    std::string at;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmount{disk};
  auto platform = OpenWithTrash(prefix, {data.path(), "/nonexistent", getuid()});
  IFileSystem& files = platform->Files();
  const std::string uid = std::to_string(getuid());
  const std::string own = disk + "/.Trash-" + uid;
  const std::string sticky = prefix.File("sticky");
  winetest::MakeDirs(sticky);
  chmod(sticky.c_str(), 01777);
  const struct {
    const char* name;
    void (*prepare)(const std::string& shared, const std::string& sticky);
    bool shared;  // the shared .Trash/<uid> takes it
  } cases[] = {
      {"no .Trash", [](const std::string&, const std::string&) {}, false},
      {"a .Trash with the sticky bit",
       [](const std::string& shared, const std::string&) {
         mkdir(shared.c_str(), 0777);
         chmod(shared.c_str(), 01777);
       },
       true},
      {"a .Trash without it",
       [](const std::string& shared, const std::string&) {
         mkdir(shared.c_str(), 0777);
         chmod(shared.c_str(), 0777);
       },
       false},
      {"a .Trash that is a link",
       [](const std::string& shared, const std::string& to) {
         symlink(to.c_str(), shared.c_str());
       },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    winetest::Run({"rm", "-rf", disk + "/.Trash", own}, {"PATH=/usr/bin:/bin"});
    c.prepare(disk + "/.Trash", sticky);
    winetest::MakeDirs(disk + "/Sub");
    winetest::WriteText(disk + "/Sub/Book.xlb", c.name);
    TrashedFile trashed;
    ASSERT_EQ(files.TrashFile("C:\\users\\tester\\Disk\\Sub\\Book.xlb", trashed), win::kSuccess);
    const std::string trash = c.shared ? disk + "/.Trash/" + uid : own;
    EXPECT_EQ(trashed.trashed, trash + "/files/Book.xlb");
    EXPECT_EQ(Mode(trash), 0700u);
    EXPECT_TRUE(winetest::ReadText(trashed.info).starts_with("[Trash Info]\nPath=Sub/Book.xlb\n"));
    ASSERT_EQ(files.RestoreFile(trashed), win::kSuccess);
    EXPECT_EQ(winetest::ReadText(disk + "/Sub/Book.xlb"), c.name);
  }
  EXPECT_FALSE(Exists(sticky + "/" + uid));
}

std::string Var(Platform& platform, const std::string& name) {
  return platform.Environment().GetVariable(name).value_or("<unset>");
}

TEST(WineEnvironment, A32BitProgramsEnvironmentFromTheRegistry) {
  TemplatePrefix prefix;
  auto platform = Open(prefix);
  Platform& p = *platform;
  EXPECT_EQ(Var(p, "SystemRoot"), "C:\\windows");
  EXPECT_EQ(Var(p, "WINDIR"), "C:\\windows");
  EXPECT_EQ(Var(p, "SystemDrive"), "C:");
  EXPECT_EQ(Var(p, "ComSpec"), "C:\\windows\\system32\\cmd.exe");
  EXPECT_EQ(Var(p, "PATH"), "C:\\windows\\system32;C:\\windows");
  EXPECT_EQ(Var(p, "ProgramFiles"), "C:\\Program Files (x86)");
  EXPECT_EQ(Var(p, "ProgramFiles(x86)"), "C:\\Program Files (x86)");
  EXPECT_EQ(Var(p, "ProgramW6432"), "C:\\Program Files");
  EXPECT_EQ(Var(p, "CommonProgramFiles"), "C:\\Program Files (x86)\\Common Files");
  EXPECT_EQ(Var(p, "PROCESSOR_ARCHITECTURE"), "x86");
  EXPECT_EQ(Var(p, "PROCESSOR_ARCHITEW6432"), "AMD64");
  EXPECT_EQ(Var(p, "TEMP"), "C:\\users\\tester\\Temp");  // the user's value wins
  EXPECT_EQ(Var(p, "APPDATA"), "C:\\users\\tester\\AppData\\Roaming");
  EXPECT_EQ(Var(p, "USERPROFILE"), "C:\\users\\tester");
  EXPECT_EQ(Var(p, "ALLUSERSPROFILE"), "C:\\ProgramData");
  EXPECT_EQ(Var(p, "PUBLIC"), "C:\\users\\Public");
  EXPECT_EQ(Var(p, "COMPUTERNAME"), "TESTBOX");
  EXPECT_EQ(Var(p, "HOMESHARE"), "<unset>");
  // Nothing of the Linux host.
  EXPECT_EQ(Var(p, "HOME"), "<unset>");
  EXPECT_EQ(ExpandEnvironmentText(p, "%windir%\\Installer\\%s\\misc.exe"),
            "C:\\windows\\Installer\\%s\\misc.exe");
}

TEST(WineEnvironment, FollowsRegistryChanges) {
  TemplatePrefix prefix;
  auto platform = Open(prefix, true);
  TZelRegistry reg(platform->Registry());
  reg.SetRoot(RootKey::CurrentUser);
  ASSERT_TRUE(reg.OpenKeyWrite("\\Environment", false));
  reg.WriteText("PATH", "C:\\tools");
  reg.WriteText("TEMP", "D:\\scratch");
  reg.WriteText("MYVAR", "x");
  EXPECT_EQ(Var(*platform, "PATH"), "C:\\windows\\system32;C:\\windows;C:\\tools");
  EXPECT_EQ(Var(*platform, "temp"), "D:\\scratch");
  EXPECT_EQ(Var(*platform, "MyVar"), "x");
}

TEST(WineEnvironment, ThirtyTwoBitPrefixHasOneProgramFolder) {
  TemplatePrefix prefix(false);
  auto platform = Open(prefix);
  EXPECT_EQ(Var(*platform, "ProgramFiles"), "C:\\Program Files");
  EXPECT_EQ(Var(*platform, "ProgramW6432"), "<unset>");
}

}  // namespace
}  // namespace tovalin
