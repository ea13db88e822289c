// The figures every benchmark program prints at the end: one row per figure, with what was
// measured beside what it must be, so a reader sees at a glance which target holds.
#pragma once

#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tovalin::bench {

enum class Goal {
  AtMost,   // the measured value must not exceed the limit (times, CPU share)
  AtLeast,  // the measured value must reach the limit (rates)
  Info,     // printed for comparison only
};

struct Row {
  std::string figure;
  double value = 0;
  std::string unit;  // "ms", "MB/s", "files/s", "%", "MB"
  Goal goal = Goal::Info;
  double limit = 0;
  bool measured = true;  // false: the figure could not be taken (the reason is in `note`)
  std::string note;
};

inline Row Figure(std::string figure, double value, std::string unit, Goal goal = Goal::Info,
                  double limit = 0) {
  Row row;
  row.figure = std::move(figure);
  row.value = value;
  row.unit = std::move(unit);
  row.goal = goal;
  row.limit = limit;
  return row;
}

// What a benchmark's median is compared with.
struct Target {
  std::string benchmark;  // the benchmark's function name, as registered
  std::string figure;
  enum class Metric { RealTimeMs, BytesPerSecond, ItemsPerSecond } metric;
  Goal goal;
  double limit;  // ms, MB/s or items/s
  std::string unit;
  std::string args = {};  // the run's arguments ("30"); empty: every run of the benchmark
};

class Table {
 public:
  void Add(Row row) { rows_.push_back(std::move(row)); }
  void Missing(const std::string& figure, const std::string& why) {
    Row row;
    row.figure = figure;
    row.measured = false;
    row.note = why;
    rows_.push_back(std::move(row));
  }
  // Prints the table; returns false when a measured figure misses its target.
  bool Print(const std::string& title) const;
  bool empty() const { return rows_.empty(); }
  void Append(const Table& other) {
    rows_.insert(rows_.end(), other.rows_.begin(), other.rows_.end());
  }

 private:
  std::vector<Row> rows_;
};

// Shows Google Benchmark's own lines and keeps the median of every benchmark that has a target.
class TargetReporter : public benchmark::ConsoleReporter {
 public:
  TargetReporter(std::vector<Target> targets, Table& table)
      : targets_(std::move(targets)), table_(table) {}
  void ReportRuns(const std::vector<Run>& runs) override;

 private:
  std::vector<Target> targets_;
  Table& table_;
};

// The median of a list of samples (sorted in place).
double Median(std::vector<double>& samples);

}  // namespace tovalin::bench
