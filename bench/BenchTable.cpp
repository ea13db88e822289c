#include "bench/BenchTable.h"

#include <algorithm>
#include <cstdio>

namespace tovalin::bench {

double Median(std::vector<double>& samples) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const std::size_t n = samples.size();
  return n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

bool Table::Print(const std::string& title) const {
  bool allMet = true;
  std::printf("\n%s\n", title.c_str());
  std::printf("%-66s %14s  %-16s %s\n", "figure", "measured", "target", "");
  std::printf("%s\n", std::string(108, '-').c_str());
  for (const Row& row : rows_) {
    if (!row.measured) {
      std::printf("%-66s %14s  %-16s %s\n", row.figure.c_str(), "-", "", row.note.c_str());
      continue;
    }
    char measured[64];
    const int decimals = row.value >= 100 ? 0 : row.value >= 10 ? 1 : 2;
    std::snprintf(measured, sizeof measured, "%.*f %s", decimals, row.value, row.unit.c_str());
    char target[64] = "";
    const char* verdict = "";
    if (row.goal != Goal::Info) {
      std::snprintf(target, sizeof target, "%s %g %s",
                    row.goal == Goal::AtMost ? "<=" : ">=", row.limit, row.unit.c_str());
      const bool met = row.goal == Goal::AtMost ? row.value <= row.limit : row.value >= row.limit;
      verdict = met ? "ok" : "MISSED";
      allMet = allMet && met;
    }
    std::printf("%-66s %14s  %-16s %s%s%s\n", row.figure.c_str(), measured, target, verdict,
                row.note.empty() ? "" : "  ", row.note.c_str());
  }
  std::fflush(stdout);
  return allMet;
}

void TargetReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.aggregate_name != "median") continue;
    for (const Target& target : targets_) {
      if (run.run_name.function_name != target.benchmark) continue;
      if (!target.args.empty() && run.run_name.args != target.args) continue;
      Row row;
      row.figure = target.figure;
      row.goal = target.goal;
      row.limit = target.limit;
      row.unit = target.unit;
      if (run.error_occurred) {
        row.measured = false;
        row.note = run.error_message;
      } else if (target.metric == Target::Metric::RealTimeMs) {
        // Reported in the benchmark's own unit; brought to milliseconds.
        row.value =
            run.GetAdjustedRealTime() * (1000.0 / benchmark::GetTimeUnitMultiplier(run.time_unit));
      } else {
        const char* counter = target.metric == Target::Metric::BytesPerSecond ? "bytes_per_second"
                                                                              : "items_per_second";
        auto it = run.counters.find(counter);
        row.value = it == run.counters.end() ? 0 : it->second.value;
        if (target.metric == Target::Metric::BytesPerSecond) row.value /= 1e6;
      }
      table_.Add(std::move(row));
    }
  }
}

}  // namespace tovalin::bench
