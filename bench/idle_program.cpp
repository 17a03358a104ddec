// The CPU time of the desktop program sitting idle: Tagging started headless
// (offscreen platform, staff actions from a pipe: --drive), connected to a
// simulated FENO reader on COM3 and not reading, over a few seconds. Idle, it
// should only wait: no timers polling the reader or redrawing the form.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "benchmarks.h"
#include "platform/clock.h"
#include "platform/dynlib.h"
#include "sim/testing.h"

namespace bench {

#ifdef TAGGING_BENCH_GUI
namespace {

constexpr int kPort = 3;             // the program's default port (settings index 2)
constexpr int kConnectWaitMs = 20000;
constexpr double kTargetShare = 0.01; // of one core

// One line from fd within the time; empty on time-out or end.
std::string readLine(int fd, int timeoutMs)
{
    std::string line;
    const std::uint64_t end = platform::monotonicMs() + static_cast<std::uint64_t>(timeoutMs);
    while (platform::monotonicMs() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(end - platform::monotonicMs())) <= 0)
            continue;
        char c;
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0)
            break;
        if (c == '\n')
            return line;
        line += c;
    }
    return {};
}

// Waits for the child up to timeoutMs, then kills it.
void reap(pid_t pid, int timeoutMs)
{
    const std::uint64_t end = platform::monotonicMs() + static_cast<std::uint64_t>(timeoutMs);
    while (platform::monotonicMs() < end) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        platform::sleepMs(20);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

} // namespace
#endif

void idleProgram(Report& report, int seconds)
{
    const std::string measure = "idle program CPU time (Tagging connected, not reading)";
#ifndef TAGGING_BENCH_GUI
    (void)seconds;
    return report.skipped(measure, "the desktop program is not built (TAGGING_GUI=OFF)");
#else
    const std::string bin = platform::programDirectory();
    if (!std::filesystem::exists(bin + "/Tagging"))
        return report.skipped(measure, "no Tagging next to bench_all");

    sim::PortFolder ports;
    std::string error;
    sim::ServedReader served = sim::serveReader("feno", ports.portPath(kPort), 0, {}, &error);
    if (!served)
        return report.failed(measure, error);

    // The program's settings and work folder in the port folder, so the
    // user's own settings are left alone.
    const std::string config = ports.dir() + "/config";
    std::filesystem::create_directories(config + "/Local AppWizard-Generated Applications");
    std::filesystem::create_directories(ports.dir() + "/work");
    std::ofstream(config + "/Local AppWizard-Generated Applications/Tagging.ini")
        << "[LastEnv]\nLibraryID=44120\nWorkPath=" << ports.dir() << "/work\n";

    int toChild[2], fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0)
        return report.failed(measure, "no pipes");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(toChild[0], STDIN_FILENO);
        ::dup2(fromChild[1], STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::close(toChild[1]);
        ::close(fromChild[0]);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        if (::chdir(bin.c_str()) == 0)
            ::execl("./Tagging", "Tagging", "--drive", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    if (pid < 0) {
        ::close(toChild[1]);
        ::close(fromChild[0]);
        return report.failed(measure, "cannot start Tagging");
    }

    const std::string first = readLine(fromChild[0], kConnectWaitMs);
    double cpuUs = -1;
    if (first.rfind("connected", 0) == 0) {
        // Let start-up work (first paint, settings) settle before measuring.
        platform::sleepMs(500);
        const double cpu0 = processCpuUs(pid);
        platform::sleepMs(static_cast<unsigned>(seconds) * 1000);
        cpuUs = processCpuUs(pid) - cpu0;
    }
    const char quit[] = "quit\n";
    (void)!::write(toChild[1], quit, sizeof quit - 1);
    ::close(toChild[1]);
    reap(pid, 5000);
    ::close(fromChild[0]);
    if (first.rfind("connected", 0) != 0)
        return report.failed(measure, "Tagging said \"" + first + "\" instead of connecting");
    if (cpuUs < 0)
        return report.failed(measure, "no CPU time of Tagging in /proc");

    std::printf("idle program over %d s: CPU time %.1f ms\n", seconds, cpuUs / 1000.0);
    const double share = cpuUs / (seconds * 1e6);
    report.add({measure, cpuUs / 1000.0, "idle time", seconds * 1000.0, "ms", share, "< 0.01 (a core)",
                share < kTargetShare});
#endif
}

} // namespace bench
