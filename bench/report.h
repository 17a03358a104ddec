// The performance report: every benchmark adds rows of a measured figure next
// to the limit it is held against, both measured in the same run, with the
// ratio and the target for it. bench_all prints the rows as one table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bench {

struct Row {
    std::string measure;      // what was measured
    double value = 0;         // its figure, in unit
    std::string limit;        // what it is held against
    double limitValue = 0;    // the limit's figure, in unit
    std::string unit;
    double ratio = 0;         // usually value / limitValue
    std::string target;       // the target, as the issue names it ("" when none is named)
    std::optional<bool> met;  // nullopt: no target
    bool failed = false;      // the benchmark could not run (limit says why)
    bool skipped = false;     // the benchmark does not apply to this build (limit says why)
};

class Report {
public:
    void add(Row row) { rows_.push_back(std::move(row)); }
    // A benchmark that could not run: shown in the table as failed.
    void failed(const std::string& measure, const std::string& why);
    // A benchmark left out of this build: shown as skipped, not failed.
    void skipped(const std::string& measure, const std::string& why);
    bool anyFailed() const { return failed_; }
    void print() const;

private:
    std::vector<Row> rows_;
    bool failed_ = false;
};

// Percentile q (0..1) of some samples; median is q = 0.5.
double percentile(std::vector<double> samples, double q);

// CPU time (user + system) in microseconds: of one thread of this process,
// of a whole process; -1 when unknown.
double threadCpuUs(int tid);
double processCpuUs(int pid);
// Context switches of a thread of this process (each wake-up is one), -1 when unknown.
long threadWakeUps(int tid);
// The thread ids of this process.
std::vector<int> threadIds();

} // namespace bench
