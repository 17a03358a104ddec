#include "report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <unistd.h>

namespace bench {

namespace {

// utime + stime of a /proc/.../stat line, in microseconds.
double statCpuUs(const std::string& path)
{
    std::ifstream stat(path);
    std::string line;
    if (!std::getline(stat, line))
        return -1;
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::vector<std::string> fields;
    std::string field;
    for (char c : line.substr(close + 2) + ' ') {
        if (c == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (fields.size() < 13)
        return -1;
    const double ticks = std::stod(fields[11]) + std::stod(fields[12]);
    return ticks * 1e6 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::string figure(double value, const std::string& unit)
{
    char text[64];
    if (value != 0 && (value < 0.01 || value >= 1e6))
        std::snprintf(text, sizeof text, "%.3g %s", value, unit.c_str());
    else
        std::snprintf(text, sizeof text, "%.*f %s", value < 10 ? 2 : 1, value, unit.c_str());
    return text;
}

} // namespace

void Report::failed(const std::string& measure, const std::string& why)
{
    failed_ = true;
    Row row;
    row.measure = measure;
    row.limit = "not measured: " + why;
    row.failed = true;
    rows_.push_back(std::move(row));
}

void Report::skipped(const std::string& measure, const std::string& why)
{
    Row row;
    row.measure = measure;
    row.limit = "skipped: " + why;
    row.skipped = true;
    rows_.push_back(std::move(row));
}

void Report::print() const
{
    std::size_t measureWidth = 7, limitWidth = 5;
    for (const Row& r : rows_) {
        measureWidth = std::max(measureWidth, r.measure.size());
        limitWidth = std::max(limitWidth, r.limit.size());
    }
    const int mw = static_cast<int>(measureWidth), lw = static_cast<int>(limitWidth);
    std::printf("\n%-*s  %14s  %-*s  %14s  %8s  %-24s  %s\n", mw, "measure", "value", lw, "limit", "limit value", "ratio",
                "target", "");
    for (const Row& r : rows_) {
        if (r.failed || r.skipped) {
            std::printf("%-*s  %14s  %-*s  %14s  %8s  %-24s  %s\n", mw, r.measure.c_str(), "-", lw, r.limit.c_str(), "-",
                        "-", "", r.failed ? "FAILED" : "skipped");
            continue;
        }
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, r.ratio < 0.01 ? "%.2g" : "%.3f", r.ratio);
        const char* verdict = !r.met ? "" : *r.met ? "met" : "MISSED";
        std::printf("%-*s  %14s  %-*s  %14s  %8s  %-24s  %s\n", mw, r.measure.c_str(), figure(r.value, r.unit).c_str(),
                    lw, r.limit.c_str(), figure(r.limitValue, r.unit).c_str(), ratio,
                    r.target.empty() ? "(none named)" : r.target.c_str(), verdict);
    }
}

double percentile(std::vector<double> samples, double q)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto at = std::min(samples.size() - 1, static_cast<std::size_t>(q * static_cast<double>(samples.size())));
    return samples[at];
}

double threadCpuUs(int tid)
{
    // The kernel's per-thread CPU clock: ~tid << 3 | CPUCLOCK_SCHED | CPUCLOCK_PERTHREAD.
    const clockid_t clock = static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6);
    timespec ts{};
    if (::clock_gettime(clock, &ts) == 0)
        return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
    return statCpuUs("/proc/self/task/" + std::to_string(tid) + "/stat");
}

double processCpuUs(int pid)
{
    return statCpuUs("/proc/" + std::to_string(pid) + "/stat");
}

long threadWakeUps(int tid)
{
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    std::string line;
    long total = -1;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
            total = (total < 0 ? 0 : total) + std::atol(line.substr(line.find(':') + 1).c_str());
    }
    return total;
}

std::vector<int> threadIds()
{
    std::vector<int> ids;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.')
                ids.push_back(std::atoi(e->d_name));
        ::closedir(dir);
    }
    return ids;
}

} // namespace bench
