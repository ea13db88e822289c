// Figures a benchmark takes beside its own timing (a reference tool's time, a count), printed
// after the main table.
#pragma once

#include "bench/BenchTable.h"

namespace tovalin::bench {

Table& ExtraRows();
// Figures with a target that a benchmark takes itself (child processes, files on disk), printed
// in the main table and counted like the others.
Table& MeasuredRows();

// `--peak-memory PROGRAM ARGS...`: runs the program and prints its peak resident memory in KB
// and its exit code.
int PeakMemoryMain(char** program);

}  // namespace tovalin::bench
