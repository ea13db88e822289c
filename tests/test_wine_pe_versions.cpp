// The version reader against a second, independent reader (Debian's python3-pefile) on every
// PE file Wine ships: the four fields the window shows must agree on each of them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "support/ZelVersionInfo.h"
#include "support/platform/memory/MemoryPlatform.h"

namespace tovalin {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWineFolder = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
constexpr const char* kPython = "/usr/bin/python3";

// Runs a command and returns what it printed, or nothing when it failed.
std::optional<std::string> Output(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buffer[65536];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return out;
}

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out.push_back(c);
    }
  }
  return out + "'";
}

TEST(VersionReaderAgainstPefile, FourFieldsAgreeOnEveryWinePeFile) {
  std::error_code error;
  if (!fs::is_directory(kWineFolder, error)) GTEST_SKIP() << "Wine is not installed";
  if (!Output(std::string(kPython) + " -c 'import pefile' 2>/dev/null")) {
    GTEST_SKIP() << "python3-pefile is not installed";
  }
  std::vector<std::string> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(kWineFolder, error)) {
    if (entry.is_regular_file()) files.push_back(entry.path().string());
  }
  ASSERT_FALSE(files.empty());
  std::string command = std::string(kPython) + " " +
                        Quoted(std::string(TOVALIN_SOURCE_DIR) + "/tests/pe_version_fields.py");
  for (const std::string& file : files) {
    // Appended: GCC 12 at -O3 reports a false -Wrestrict overlap for " " + std::string(...).
    command += ' ';
    command += Quoted(file);
  }
  const std::optional<std::string> json = Output(command);
  ASSERT_TRUE(json.has_value()) << "the second reader failed";
  const nlohmann::json expected = nlohmann::json::parse(*json);

  std::size_t withVersion = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    // Read in one go: these are 600 MB in all, too much to take a byte at a time.
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    MemoryPlatform platform;
    const std::string path = "C:\\wine\\" + fs::path(file).filename().string();
    platform.files.AddFile(path, std::move(bytes));
    TZelVersionInfo info(platform);
    ASSERT_EQ(info.LoadFromFile(path), 0);

    ASSERT_TRUE(expected.contains(file));
    const nlohmann::json& fields = expected[file];
    if (fields.is_null()) {
      EXPECT_EQ(info.FileVersion, "");
      EXPECT_EQ(info.ProductVersion, "");
      EXPECT_EQ(info.CompanyName, "");
      EXPECT_EQ(info.ProductName, "");
      continue;
    }
    ++withVersion;
    EXPECT_EQ(info.FileVersion, fields["FileVersion"].get<std::string>());
    EXPECT_EQ(info.ProductVersion, fields["ProductVersion"].get<std::string>());
    EXPECT_EQ(info.CompanyName, fields["CompanyName"].get<std::string>());
    EXPECT_EQ(info.ProductName, fields["ProductName"].get<std::string>());
  }
  // Wine's programs and most of its libraries carry version resources: a reader that found
  // none at all would agree with a broken second reader.
  EXPECT_GT(withVersion, files.size() / 4);
}

}  // namespace
}  // namespace tovalin
