#include <gtest/gtest.h>

#include <cerrno>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#include "platform/thread.h"

namespace {

int niceOf(pid_t tid)
{
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    EXPECT_EQ(errno, 0);
    return nice;
}

int ownNice() { return niceOf(::gettid()); }

// Whether this process may lower a nice value (privilege or RLIMIT_NICE).
bool mayRaise()
{
    rlimit limit{};
    return ::geteuid() == 0 || (::getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur > 20);
}

// Runs body on a thread of its own, so the test's thread keeps its priority.
template <typename F>
void onThread(F body)
{
    std::thread t(body);
    t.join();
}

} // namespace

TEST(ThreadPriority, RaiseAndRestoreFromEachStartingLevel)
{
    for (const int start : {0, 5, 19}) {
        onThread([start] {
            ASSERT_EQ(::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), start), 0);
            const bool raised = platform::raiseThreadPriority();
            const int during = ownNice();
            EXPECT_EQ(raised, during < start) << "start " << start;
            if (mayRaise()) {
                EXPECT_TRUE(raised);
                EXPECT_EQ(during, -20);
            } else {
                EXPECT_LE(during, start);
            }
            platform::restoreThreadPriority();
            EXPECT_EQ(ownNice(), start) << "the thread's own level comes back";
        });
    }
}

TEST(ThreadPriority, SecondRaiseKeepsTheNormalLevel)
{
    onThread([] {
        ASSERT_EQ(::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 3), 0);
        platform::raiseThreadPriority();
        platform::raiseThreadPriority();
        platform::restoreThreadPriority();
        EXPECT_EQ(ownNice(), 3);
        platform::restoreThreadPriority(); // nothing raised: no change
        EXPECT_EQ(ownNice(), 3);
    });
}

TEST(ThreadPriority, OnlyTheCallingThreadChanges)
{
    const pid_t mainThread = ::gettid();
    const int mainNice = niceOf(mainThread);
    onThread([&] {
        platform::raiseThreadPriority();
        EXPECT_EQ(niceOf(mainThread), mainNice);
        platform::restoreThreadPriority();
    });
    EXPECT_EQ(ownNice(), mainNice);
}

TEST(ThreadPriority, RestoreWithoutRaiseLeavesTheThreadAlone)
{
    onThread([] {
        ASSERT_EQ(::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 7), 0);
        platform::restoreThreadPriority();
        EXPECT_EQ(ownNice(), 7);
    });
}
