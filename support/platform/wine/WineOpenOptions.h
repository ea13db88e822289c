// What opening a Wine prefix takes, and how it fails.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>

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

}  // namespace tovalin
