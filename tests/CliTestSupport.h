// Running tovalin-cli from a test as a shell would, in a folder of the test's own.
#pragma once

#if !defined(_WIN32)

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tovalin::clitest {

namespace fs = std::filesystem;

struct ShellResult {
  int exitCode = -1;
  std::string out;
};

// One shell word, whatever the text holds.
inline std::string Quote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a shell command line and captures its standard output.
inline ShellResult Shell(const std::string& command) {
  ShellResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// The program and its arguments as one shell command line. Appended piece by piece: GCC 12 at -O3
// reports a false -Wrestrict overlap for " " + std::string(...).
inline std::string CommandLine(const fs::path& program, const std::vector<std::string>& args) {
  std::string command = Quote(program.string());
  for (const std::string& arg : args) {
    command += ' ';
    command += Quote(arg);
  }
  return command;
}

inline std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

inline fs::path CliBinary() {
  return fs::path(TOVALIN_BINARY_DIR) / "app" / "cli" / "tovalin-cli";
}

// A folder for the running test, empty at the start and removed with the object; the process id
// keeps parallel runs of the same test apart.
class TestFolder {
 public:
  explicit TestFolder(const std::string& stem)
      : path_(fs::temp_directory_path() /
              (stem + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name())) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TestFolder() { fs::remove_all(path_); }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace tovalin::clitest

#endif
