// What opening a Wine prefix takes, and how it fails.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace tovalin {

class WinePrefixError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The host user whose trash takes the files a repair removes, as the process's environment
// names them when the prefix is opened.
struct HostUser {
  std::string dataHome;  // $XDG_DATA_HOME; "" when unset (then $HOME/.local/share)
  std::string home;      // $HOME, else the home folder of the password database
  unsigned uid = 0;
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
  // Whose trash removed files go to; the process's own user when empty. Tests give a trash of
  // their own so that they never fill the desktop's.
  std::optional<HostUser> hostUser;
};

}  // namespace tovalin
