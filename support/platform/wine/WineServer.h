// Whether the prefix's wineserver runs. While it does, it holds the registry in memory and
// writes it over the hive files when it saves, so a change made to the files would be lost.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tovalin {

class WineServerProbe {
 public:
  explicit WineServerProbe(std::string prefixDir);

  // Looks each time: the server comes and goes with the prefix's programs.
  bool Running() const;
  // Asks the prefix's server of this user to save its registry and end (SIGTERM, as at a
  // shutdown). Once its programs were killed the server may stay on with no program left, and
  // a wait for it would never end.
  void Stop() const;

 private:
  // The places the server's folder ("server-<dev>-<inode>" of the prefix folder) may be, by the
  // conventions of the different Wine builds.
  std::vector<std::string> CandidateServerDirs() const;
  // The server processes of the prefix that /proc shows (this user's).
  std::vector<pid_t> ServerPids() const;

  std::string prefix_;
  std::string serverDirName_;
};

}  // namespace tovalin
