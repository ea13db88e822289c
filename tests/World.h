// A test's machine, built the same way on every backend: the in-memory platform here, the
// Windows native platform (under Wine) where it is built. Shared test bodies set up their world
// only through this interface, so one body serves every platform; a test that needs something a
// backend cannot model asks Supports() and skips.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "support/platform/Platform.h"

namespace tovalin::test {

enum class Feature {
  KeyAccessLimits,   // SetKeyAccess works
  FakeProcesses,     // AddProcess works (processes that are only entries in a table)
  RealProcesses,     // StartProcess works
  PrivilegeControl,  // SetDebugPrivilegeAllowed works
  PlatformChoice,    // SetPlatformId works
  LongKeyNames,      // key names of 260 units or more can be stored
  FileLinks,         // AddFile with the reparse-point attribute adds a link to a file elsewhere
};

class World {
 public:
  virtual ~World() = default;
  virtual Platform& platform() = 0;
  virtual bool Supports(Feature feature) const = 0;
  virtual std::string Name() const = 0;

  // Registry set-up. Paths are relative to the root, without a leading "\".
  virtual void CreateKey(RootKey root, std::string_view path) = 0;
  virtual void SetValue(RootKey root, std::string_view path, std::string_view name,
                        std::uint32_t type, const std::vector<std::uint8_t>& data) = 0;
  virtual void DeleteTree(RootKey root, std::string_view path) = 0;
  virtual bool KeyExists(RootKey root, std::string_view path) = 0;
  virtual void SetKeyAccess(RootKey root, std::string_view path, std::uint32_t access) = 0;
  void SetString(RootKey root, std::string_view path, std::string_view name, std::string_view text,
                 std::uint32_t type = 1 /* REG_SZ */);
  void SetDword(RootKey root, std::string_view path, std::string_view name, std::uint32_t value);
  void SetBinary(RootKey root, std::string_view path, std::string_view name,
                 const std::vector<std::uint8_t>& data);

  // Files. Paths are Windows paths below Root(); the world maps them onto its own storage.
  // Root() is a folder the test may fill, such as "C:\tovalin-test".
  virtual std::string Root() = 0;
  virtual void AddFile(std::string_view path, const std::vector<std::uint8_t>& content = {},
                       std::uint32_t attributes = 0x20) = 0;
  virtual void AddFolder(std::string_view path) = 0;
  virtual bool FileExists(std::string_view path) = 0;
  // Empties the machine's trash of a file TrashFile put there, as the user may.
  virtual void ForgetTrashed(const TrashedFile& trashed) = 0;

  virtual void SetEnv(std::string_view name, std::string_view value) = 0;

  // Processes.
  virtual std::uint32_t AddProcess(std::string_view imagePath) = 0;
  virtual bool ProcessRunning(std::uint32_t pid) = 0;
  virtual void SetDebugPrivilegeAllowed(bool allowed) = 0;
  virtual void SetPlatformId(std::uint32_t id) = 0;
};

using WorldFactory = std::function<std::unique_ptr<World>()>;

// The in-memory world.
std::unique_ptr<World> MakeMemoryWorld();
// A temporary Wine prefix opened for writing (host builds only).
std::unique_ptr<World> MakeWineWorld();

// Every world this test binary can build, for INSTANTIATE_TEST_SUITE_P.
struct WorldParam {
  std::string name;
  WorldFactory make;
};
std::vector<WorldParam> AllWorlds();
// gtest parameter name printer.
std::string WorldName(const WorldParam& param);
// Shown by gtest in place of the parameter's bytes.
inline void PrintTo(const WorldParam& param, std::ostream* os) {
  *os << param.name;
}

// The model's warning of a value stored with a type its read does not take.
std::string WrongTypeWarning(RootKey root, std::string_view path, std::string_view name);

// The bytes of a file of the sample prefix's drive C:, by its path below drive_c/ (stand-in
// Office programs with version resources and icons). A failed read fails the test.
std::vector<std::uint8_t> SampleFile(const std::string& relative);

}  // namespace tovalin::test
