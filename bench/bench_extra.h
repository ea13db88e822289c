// Figures a benchmark takes beside its own timing (a reference tool's time, a count), printed
// after the main table.
#pragma once

#include "bench/BenchTable.h"

namespace tovalin::bench {

Table& ExtraRows();

}  // namespace tovalin::bench
