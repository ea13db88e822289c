// A Wine prefix as the machine: its registry files, its drives, its environment and the Wine
// processes that run in it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "support/platform/Platform.h"

namespace tovalin {

class WinePrefixError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct WineOpenOptions {
  // Registry changes are saved to the hive files, once per action; false keeps the prefix
  // read-only.
  bool writable = false;
  // How long an action waits for another Tovalin that is changing the same prefix.
  std::chrono::milliseconds lockTimeout{30000};
  // The time stamped on changed registry keys, as a FILETIME; the current time when empty.
  // Tests fix it to know the saved files in advance.
  std::function<std::uint64_t()> fileTimeClock;
};

// $WINEPREFIX, else ~/.wine.
std::string DefaultWinePrefix();

// Throws WinePrefixError (missing prefix, unreadable hive, a prefix that cannot be written
// when `writable` is asked for) and RegFileError (malformed hive).
std::unique_ptr<Platform> OpenWinePrefix(const std::string& prefixDir,
                                         const WineOpenOptions& options = {});

}  // namespace tovalin
