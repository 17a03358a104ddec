// bench_all: every benchmark in one run, then one table of each measured
// figure next to its limit measured in the same run, the ratio and the target.
//
// Usage (from build/bin, where Dalrix.so, tagctl and Tagging lie):
//   bench_all [--quick] [--only NAME]...
// Names: link, dalrix, throughput, tagging, idle. --quick runs fewer
// iterations (a check that everything runs, not figures to quote).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "benchmarks.h"

int main(int argc, char** argv)
{
    bool quick = false;
    std::vector<std::string> only;
    const std::vector<std::string> names{"link", "dalrix", "throughput", "tagging", "idle"};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc
                   && std::find(names.begin(), names.end(), argv[i + 1]) != names.end()) {
            only.emplace_back(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench_all [--quick] [--only link|dalrix|throughput|tagging|idle]...\n");
            return 2;
        }
    }
    const auto runs = [&](const char* name) { return only.empty() || std::count(only.begin(), only.end(), name); };

    bench::Report report;
    if (runs("link"))
        bench::linkRoundTrip(report, quick ? 500 : 5000, quick ? 1 : 5);
    if (runs("dalrix"))
        bench::dalrixExchange(report, quick ? 100 : 1000);
    if (runs("throughput"))
        bench::throughput(report);
    if (runs("tagging"))
        bench::tagging(report, quick ? 3 : 20, quick ? 10 : 200);
    if (runs("idle"))
        bench::idleProgram(report, quick ? 1 : 5);
    report.print();
    return report.anyFailed() ? 1 : 0;
}
