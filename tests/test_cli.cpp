// tovalin-cli end to end: the built binary run on the sample Wine prefix and on regedit exports.
#if !defined(_WIN32) && __has_include(<nlohmann/json.hpp>)

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "support/Text.h"
#include "tests/CliTestSupport.h"

namespace tovalin {
namespace {

namespace fs = std::filesystem;
using namespace clitest;

struct CliResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class Cli : public testing::Test {
 protected:
  void SetUp() override {
    binary_ = CliBinary();
    if (!fs::exists(binary_)) GTEST_SKIP() << "tovalin-cli is not built";
    folder_.emplace("tovalin-cli-test-");
    dir_ = folder_->Path();
  }

  CliResult Run(const std::vector<std::string>& args) {
    const std::string command = CommandLine(binary_, args);
    const fs::path errFile = dir_ / "stderr.txt";
    const ShellResult shell = Shell(command + " 2>" + Quote(errFile.string()));
    return CliResult{shell.exitCode, shell.out, ReadAll(errFile)};
  }

  // A regedit export as regedit writes it: UTF-16LE with a byte-order mark, CR LF lines.
  fs::path WriteRegFile(const std::string& name, const std::string& text) {
    std::string crlf;
    for (char c : text) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
    const std::vector<std::uint8_t> body = Utf8ToUtf16Bytes(crlf);
    bytes.insert(bytes.end(), body.begin(), body.end());
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  static nlohmann::json Parse(const CliResult& result) {
    return nlohmann::json::parse(result.out, nullptr, /*allow_exceptions=*/false);
  }

  static fs::path SamplePrefix() {
    return fs::path(TOVALIN_SOURCE_DIR) / "examples" / "sample-prefix";
  }

  fs::path binary_;
  std::optional<TestFolder> folder_;
  fs::path dir_;
};

constexpr const char* kUninstall =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Every slot and item has the documented shape; settings, and only settings, carry a state.
void ExpectSlotShape(const nlohmann::json& slots) {
  ASSERT_TRUE(slots.is_array());
  int lastIndex = -1;
  for (const nlohmann::json& slot : slots) {
    ASSERT_TRUE(slot.contains("index"));
    EXPECT_GT(slot["index"].get<int>(), lastIndex);
    lastIndex = slot["index"].get<int>();
    for (const char* key : {"appName", "title", "fileName", "fileVersion", "displayVersion"}) {
      EXPECT_TRUE(slot[key].is_string()) << key;
    }
    for (const nlohmann::json& file : slot["appFiles"]) {
      EXPECT_TRUE(file["version"].is_string());
      EXPECT_TRUE(file["fileName"].is_string());
    }
    for (const nlohmann::json& item : slot["items"]) {
      EXPECT_EQ(item.contains("state"), item["kind"] == 1) << item.dump();
      EXPECT_TRUE(item["captions"].is_array());
      EXPECT_TRUE(item["title"].is_string());
      EXPECT_TRUE(item["itemId"].is_number_integer());
    }
  }
}

TEST_F(Cli, ReportsTheSamplePrefixWithoutChangingIt) {
  const std::string systemBefore = ReadAll(SamplePrefix() / "system.reg");
  const std::string userBefore = ReadAll(SamplePrefix() / "user.reg");

  const CliResult result = Run({"report", "--prefix", SamplePrefix().string(), "--json"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const nlohmann::json json = Parse(result);
  ASSERT_TRUE(json.is_object()) << result.out;

  // The 32-bit view's uninstall list: Office 2003 and 2007, the 2007 proofing tools that the
  // catalogue does not know, and the compatibility pack that it skips.
  const nlohmann::json& versions = json["versions"];
  ASSERT_EQ(versions.size(), 3u) << versions.dump(2);
  EXPECT_EQ(versions[0]["productCode"], "{90120000-001F-0411-0000-0000000FF1CE}");
  EXPECT_EQ(versions[0]["version"], "12.0");
  EXPECT_EQ(versions[0]["productId"], "");
  EXPECT_EQ(versions[1]["productCode"], "{90120000-0014-0000-0000-0000000FF1CE}");
  EXPECT_EQ(versions[1]["displayName"], "Microsoft Office Professional 2007");
  EXPECT_EQ(versions[1]["displayVersion"], "12.0.6612.1000");
  EXPECT_EQ(versions[1]["productId"], "89388-707-0253716-65412");
  EXPECT_EQ(versions[2]["productCode"], "{90110411-6000-11D3-8CFE-0150048383C9}");
  EXPECT_EQ(versions[2]["version"], "11.0");
  EXPECT_EQ(versions[2]["productId"], "73931-640-0000106-57517");  // from the registration key
  EXPECT_EQ(json["unrecognisedProducts"],
            "GUID: {90120000-001F-0411-0000-0000000FF1CE}\r\n"
            "製品名: Microsoft Office Proofing Tools 2007 - 日本語\r\n\r\n");
  EXPECT_EQ(json["company"], "株式会社サンプル商事");
  EXPECT_EQ(json["owner"], "山田 太郎");
  EXPECT_EQ(json["initials"], "YT");
  ExpectSlotShape(json["slots"]);

  EXPECT_EQ(ReadAll(SamplePrefix() / "system.reg"), systemBefore);
  EXPECT_EQ(ReadAll(SamplePrefix() / "user.reg"), userBefore);
}

TEST_F(Cli, TextReportShowsTheSameFacts) {
  const CliResult result = Run({"report", "--prefix", SamplePrefix().string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  for (const char* fact :
       {"山田 太郎", "株式会社サンプル商事", "89388-707-0253716-65412",
        "Microsoft Office Professional 2007", "GUID: {90120000-001F-0411-0000-0000000FF1CE}"}) {
    EXPECT_NE(result.out.find(fact), std::string::npos) << fact << "\n" << result.out;
  }
  EXPECT_EQ(result.out.find('\r'), std::string::npos);
}

TEST_F(Cli, RegeditExportsAreAppliedInOrder) {
  const std::string base = std::string("Windows Registry Editor Version 5.00\n\n[") + kUninstall +
                           "\\{90110411-6000-11D3-8CFE-0150048383C9}]\n"
                           "\"DisplayName\"=\"Microsoft Office Professional Edition 2003\"\n"
                           "\"ProductID\"=\"73931-640-0000106-57517\"\n\n[" +
                           kUninstall +
                           "\\{90010411-6000-11D3-8CFE-0150048383C9}]\n"
                           "\"DisplayName\"=\"試用版 2003\"\n\n[" +
                           kUninstall +
                           "\\{90120000-0030-0000-0000-0000000FF1CE}]\n"
                           "\"DisplayName\"=\"Microsoft Office Enterprise 2007\"\n\n";
  const std::string patch = std::string("Windows Registry Editor Version 5.00\n\n[-") + kUninstall +
                            "\\{90120000-0030-0000-0000-0000000FF1CE}]\n\n";
  const fs::path first = WriteRegFile("base.reg", base);
  const fs::path second = WriteRegFile("patch.reg", patch);

  const CliResult result = Run({"report", "--json", "--reg", first.string(), second.string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const nlohmann::json json = Parse(result);
  ASSERT_EQ(json["versions"].size(), 2u) << result.out;
  EXPECT_EQ(json["versions"][0]["productCode"], "{90110411-6000-11D3-8CFE-0150048383C9}");
  EXPECT_EQ(json["versions"][0]["productId"], "73931-640-0000106-57517");
  EXPECT_EQ(json["versions"][1]["productCode"], "{90010411-6000-11D3-8CFE-0150048383C9}");
  EXPECT_EQ(json["unrecognisedProducts"],
            "GUID: {90010411-6000-11D3-8CFE-0150048383C9}\r\n製品名: 試用版 2003\r\n\r\n");
  EXPECT_EQ(json["slots"], nlohmann::json::array());
}

TEST_F(Cli, FailuresGoToStandardErrorWithAnExitCode) {
  const fs::path missingPrefix = dir_ / "no-such-prefix";
  CliResult result = Run({"report", "--prefix", missingPrefix.string()});
  EXPECT_NE(result.exitCode, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("no-such-prefix"), std::string::npos) << result.err;

  const fs::path missingFile = dir_ / "missing.reg";
  result = Run({"report", "--reg", missingFile.string()});
  EXPECT_NE(result.exitCode, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("missing.reg"), std::string::npos) << result.err;

  const fs::path malformed = WriteRegFile(
      "bad.reg", "Windows Registry Editor Version 5.00\n\n\"DisplayName\"=\"before any key\"\n");
  result = Run({"report", "--reg", malformed.string()});
  EXPECT_NE(result.exitCode, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("bad.reg の 3 行目: キーより前に値があります。"), std::string::npos)
      << result.err;

  result = Run({"report", "--prefix", SamplePrefix().string(), "--reg", malformed.string()});
  EXPECT_NE(result.exitCode, 0);
  result = Run({});
  EXPECT_NE(result.exitCode, 0);
}

TEST_F(Cli, TextValueStoredAsANumberIsAWarningOfTheReport) {
  const std::string key = std::string(kUninstall) + "\\{90110411-6000-11D3-8CFE-0150048383C9}";
  const fs::path wrongType =
      WriteRegFile("dword.reg", "Windows Registry Editor Version 5.00\n\n[" + key +
                                    "]\n\"DisplayName\"=dword:00000001\n");
  const std::string warning = key + " の値 DisplayName のデータ型が不正です";
  CliResult result = Run({"report", "--reg", wrongType.string()});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("警告 (Warnings)\n  " + warning + "\n"), std::string::npos)
      << result.out;
  result = Run({"report", "--reg", wrongType.string(), "--json"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Parse(result)["warnings"], nlohmann::json::array({warning}));
}

}  // namespace
}  // namespace tovalin

#endif
