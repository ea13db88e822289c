// Where the benchmarks find their inputs; set from the command line by the benchmark program.
#pragma once

#include <string>

namespace tovalin::bench {

struct BenchOptions {
  std::string sourceDir;   // the source tree (the sample prefix lives there)
  std::string winePrefix;  // a prefix made by wineboot, for its system.reg; "" skips those
  std::string peFolder = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
  int sleepers = 500;  // extra processes running during the process poll
  std::string cli;     // tovalin-cli, run as a user runs it; "" skips those figures
};

BenchOptions& Options();

}  // namespace tovalin::bench
