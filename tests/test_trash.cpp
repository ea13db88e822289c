// Files a repair removes go to the machine's trash, where the desktop can restore them, and
// come back from it on undo: the records the trashes keep, and the round trip on every world.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/LittleEndian.h"
#include "support/Text.h"
#include "support/TrashRecords.h"
#include "tests/World.h"

namespace tovalin {
namespace {

TEST(TrashRecords, TrashInfoEscapesThePathAndKeepsTheLocalTime) {
  std::tm local{};
  local.tm_year = 2026 - 1900;
  local.tm_mon = 0;
  local.tm_mday = 2;
  local.tm_hour = 3;
  local.tm_min = 4;
  local.tm_sec = 5;
  const std::string path = "/home/u/.wine/drive_c/日本 語%+#.xlb";
  const std::string text = TrashInfoText(path, local);
  EXPECT_EQ(text,
            "[Trash Info]\nPath=/home/u/.wine/drive_c/%E6%97%A5%E6%9C%AC%20%E8%AA%9E%25%2B%23.xlb\n"
            "DeletionDate=2026-01-02T03:04:05\n");
  const std::optional<TrashInfo> read = ParseTrashInfo(text);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->path, path);
  EXPECT_EQ(read->deletionDate, "2026-01-02T03:04:05");
}

TEST(TrashRecords, TrashInfoAsOtherTrashesWriteIt) {
  const struct {
    const char* text;
    const char* path;  // nullptr: not a record
  } cases[] = {
      {"[Trash Info]\nPath=/a%20b%e6%97%a5\nDeletionDate=2004-08-31T22:32:08\n", "/a b日"},
      {"[Other]\nPath=/not/this\n[Trash Info]\r\n  Path=Sub/Book.xlb\r\n", "Sub/Book.xlb"},
      {"Path=/x\n", nullptr},
      {"[Trash Info]\nDeletionDate=2004-08-31T22:32:08\n", nullptr},
      {"[Trash Info]\nPath=/a%2\n", nullptr},
      {"[Trash Info]\nPath=/a%zz\n", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<TrashInfo> read = ParseTrashInfo(c.text);
    ASSERT_EQ(read.has_value(), c.path != nullptr);
    if (read) {
      EXPECT_EQ(read->path, c.path);
    }
  }
}

std::vector<std::uint8_t> RecycleRecord(std::uint64_t version, std::string_view path,
                                        std::size_t units) {
  std::vector<std::uint8_t> bytes;
  for (std::uint64_t v : {version, std::uint64_t{1234}, std::uint64_t{0x01D9000000000000}}) {
    AppendLe32(bytes, static_cast<std::uint32_t>(v));
    AppendLe32(bytes, static_cast<std::uint32_t>(v >> 32));
  }
  if (version == 2) AppendLe32(bytes, static_cast<std::uint32_t>(units));
  std::vector<std::uint8_t> text = Utf8ToUtf16Bytes(path);
  text.resize(units * 2, 0);
  bytes.insert(bytes.end(), text.begin(), text.end());
  return bytes;
}

TEST(TrashRecords, RecycleBinInfoOfBothVersions) {
  const std::string path = "C:\\Users\\山田\\AppData\\Roaming\\Microsoft\\Excel\\Excel11.xlb";
  const std::size_t counted = Utf16Length(path) + 1;
  std::vector<std::uint8_t> cut = RecycleRecord(2, path, counted);
  cut.pop_back();
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool read;
  } cases[] = {
      {"version 1", RecycleRecord(1, path, 260), true},
      {"version 2", RecycleRecord(2, path, counted), true},
      {"version 2 cut", cut, false},
      {"version 1 cut", RecycleRecord(1, path, 100), false},
      {"version 3", RecycleRecord(3, path, counted), false},
      {"no path", RecycleRecord(2, "", 1), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<RecycleBinInfo> read = ParseRecycleBinInfo(c.bytes);
    ASSERT_EQ(read.has_value(), c.read);
    if (!read) continue;
    EXPECT_EQ(read->path, path);
    EXPECT_EQ(read->size, 1234u);
    EXPECT_EQ(read->deletionTime, 0x01D9000000000000u);
  }
}

class Trash : public testing::TestWithParam<test::WorldParam> {
 protected:
  void SetUp() override { world_ = GetParam().make(); }
  IFileSystem& files() { return world_->platform().Files(); }
  std::string Content(const std::string& path) {
    const std::optional<std::vector<std::uint8_t>> bytes = files().ReadFile(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<none>";
  }
  void Add(const std::string& path, std::string_view content) {
    world_->AddFile(path, std::vector<std::uint8_t>(content.begin(), content.end()));
  }

  std::unique_ptr<test::World> world_;
};

TEST_P(Trash, FileComesBackOnlyWhereNothingTookItsPlace) {
  const std::string file = world_->Root() + "\\日本 語.xlb";
  Add(file, "first");
  TrashedFile first;
  ASSERT_EQ(files().TrashFile(file, first), win::kSuccess);
  EXPECT_FALSE(world_->FileExists(file));
  EXPECT_TRUE(EndsWithNoCase(first.path, "\\日本 語.xlb")) << first.path;
  EXPECT_FALSE(first.trashed.empty());
  EXPECT_FALSE(first.info.empty());

  // A second file of the name has an entry of its own.
  Add(file, "second");
  TrashedFile second;
  ASSERT_EQ(files().TrashFile(file, second), win::kSuccess);
  EXPECT_NE(second.trashed, first.trashed);
  EXPECT_NE(second.info, first.info);

  Add(file, "third");
  EXPECT_EQ(files().RestoreFile(first), win::kFileExists);
  EXPECT_EQ(Content(file), "third");
  ASSERT_TRUE(files().DeleteFile(file));
  EXPECT_EQ(files().RestoreFile(first), win::kSuccess);
  EXPECT_EQ(Content(file), "first");
  ASSERT_TRUE(files().DeleteFile(file));
  EXPECT_EQ(files().RestoreFile(first), win::kFileNotFound);  // it left the trash

  world_->ForgetTrashed(second);
  EXPECT_EQ(files().RestoreFile(second), win::kFileNotFound);
  EXPECT_FALSE(world_->FileExists(file));
}

TEST_P(Trash, TakesOnlyWhatDeleteFileWould) {
  const std::string root = world_->Root();
  world_->AddFile(root + "\\locked.pcb", {},
                  win::kFileAttributeArchive | win::kFileAttributeReadOnly);
  world_->AddFolder(root + "\\folder.pcb");
  const struct {
    const char* name;
    long code;
  } cases[] = {
      {"locked.pcb", win::kAccessDenied},
      {"folder.pcb", win::kAccessDenied},
      {"missing.pcb", win::kFileNotFound},
  };
  for (const auto& c : cases) {
    TrashedFile trashed;
    EXPECT_EQ(files().TrashFile(root + "\\" + c.name, trashed), c.code) << c.name;
  }
  EXPECT_TRUE(world_->FileExists(root + "\\locked.pcb"));
  EXPECT_TRUE(world_->FileExists(root + "\\folder.pcb"));
}

INSTANTIATE_TEST_SUITE_P(All, Trash, testing::ValuesIn(test::AllWorlds()),
                         [](const auto& info) { return test::WorldName(info.param); });

}  // namespace
}  // namespace tovalin
