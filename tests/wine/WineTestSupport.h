// Helpers of the Wine platform tests: temporary prefixes built from small hive files, file
// access, and running commands (Wine's own tools) with a clean environment.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tovalin::winetest {

// A folder that is removed with everything in it when the object goes.
class TempDir {
 public:
  explicit TempDir(const std::string& tag = "tovalin-wine");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A prefix made of template hives: drive C: (drive_c) and Z: (/), a user "tester" with the SID
// S-1-5-21-0-0-0-1000, the link keys and 32-bit branches of a 64-bit prefix (or none for a
// 32-bit one), the environment keys Wine writes.
class TemplatePrefix {
 public:
  explicit TemplatePrefix(bool win64 = true);
  const std::string& path() const { return dir_.path(); }
  std::string File(const std::string& relative) const { return path() + "/" + relative; }
  // Under drive_c; folders are made as needed.
  std::string AddFile(const std::string& relative, const std::string& content = {});
  void AddFolder(const std::string& relative);

 private:
  TempDir dir_;
};

// The text of a hive line for a link value: "SymbolicLinkValue"=hex(6):… naming target.
std::string LinkValueLine(const std::string& target);

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
void MakeDirs(const std::string& path);

// Runs a program (looked up along PATH) with exactly `env` as its environment. Returns the exit
// status (-1 when it could not run); stdout and stderr go to *output when given.
int Run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
        std::string* output = nullptr);
// Starts a program in the background with the given argv[0] and environment.
pid_t Spawn(const std::string& file, const std::vector<std::string>& argv,
            const std::vector<std::string>& env);
// Waits for a child to end; true when it ended within the time.
bool WaitChild(pid_t pid, int timeoutMs);
bool ProcessGone(pid_t pid);

// The environment for Wine's tools on a prefix: nothing of the host's but PATH, HOME and a
// UTF-8 locale.
std::vector<std::string> WineEnv(const std::string& prefix);
bool WineAvailable();

}  // namespace tovalin::winetest
