#include "platform/thread.h"

#include <cerrno>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kHighestNice = -20;

// The thread's nice value before its first raise.
thread_local std::optional<int> normalNice;

// On Linux a thread's nice value is set through its thread id.
id_t self() { return static_cast<id_t>(::gettid()); }

std::optional<int> currentNice()
{
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, self());
    if (nice == -1 && errno != 0)
        return std::nullopt;
    return nice;
}

bool setNice(int nice) { return ::setpriority(PRIO_PROCESS, self(), nice) == 0; }

// The lowest nice value an unprivileged thread may take: 20 - RLIMIT_NICE.
int lowestPermittedNice()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == 0)
        return 20;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= 40)
        return kHighestNice;
    return 20 - static_cast<int>(limit.rlim_cur);
}

} // namespace

bool raiseThreadPriority()
{
    const auto now = currentNice();
    if (!now)
        return false;
    if (!normalNice)
        normalNice = *now;
    if (*now > kHighestNice && !setNice(kHighestNice)) {
        const int lowest = lowestPermittedNice();
        if (lowest < *now)
            setNice(lowest);
    }
    const auto raised = currentNice();
    return raised && *raised < *normalNice;
}

void restoreThreadPriority()
{
    if (!normalNice)
        return;
    setNice(*normalNice); // a higher nice value is always permitted
    normalNice.reset();
}

} // namespace platform
