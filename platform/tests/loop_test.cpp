#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/clock.h"
#include "platform/loop.h"

using platform::MessageLoop;

namespace {

bool readable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

struct Pipe {
    int r = -1, w = -1;
    Pipe()
    {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_NONBLOCK), 0);
        r = fds[0];
        w = fds[1];
    }
    ~Pipe()
    {
        ::close(r);
        ::close(w);
    }
};

} // namespace

TEST(MessageLoop, TimerTicksOnlyWhileDispatching)
{
    auto& loop = MessageLoop::current();
    int ticks = 0;
    const auto id = loop.setTimer(10, [&](MessageLoop::Id) { ++ticks; });
    platform::sleepMs(50);
    EXPECT_EQ(ticks, 0) << "no tick may run outside dispatching";
    loop.dispatchPending();
    EXPECT_EQ(ticks, 1) << "missed ticks are merged into one";
    EXPECT_TRUE(loop.runUntil([&] { return ticks >= 3; }, 2000));
    EXPECT_TRUE(loop.killTimer(id));
    EXPECT_FALSE(loop.killTimer(id));
    EXPECT_EQ(loop.timerCount(), 0u);
}

TEST(MessageLoop, TickCarriesItsTimerId)
{
    auto& loop = MessageLoop::current();
    MessageLoop::Id seen = 0;
    const auto id = loop.setTimer(1, [&](MessageLoop::Id t) { seen = t; });
    ASSERT_TRUE(loop.runUntil([&] { return seen != 0; }, 2000));
    EXPECT_EQ(seen, id);
    loop.killTimer(id);
}

TEST(MessageLoop, TimerKilledInsideACallbackNeverFiresAgain)
{
    auto& loop = MessageLoop::current();
    int aTicks = 0, bTicks = 0;
    MessageLoop::Id b = 0;
    const auto a = loop.setTimer(5, [&](MessageLoop::Id self) {
        ++aTicks;
        loop.killTimer(b);    // the other one, possibly due in this same round
        loop.killTimer(self); // and itself
    });
    b = loop.setTimer(5, [&](MessageLoop::Id) { ++bTicks; });
    platform::sleepMs(20); // both are due now; a was set first and is due first
    loop.runFor(50);
    EXPECT_EQ(aTicks, 1);
    EXPECT_EQ(bTicks, 0);
    EXPECT_FALSE(loop.killTimer(a));
}

TEST(MessageLoop, NestedDispatchKeepsTimersTicking)
{
    // A tick that waits by dispatching (as a driver waiting for an answer does)
    // sees the same timer tick again inside its wait.
    auto& loop = MessageLoop::current();
    int depth = 0, maxDepth = 0, ticks = 0;
    const auto id = loop.setTimer(5, [&](MessageLoop::Id) {
        ++ticks;
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (depth == 1)
            loop.runUntil([&] { return ticks >= 3; }, 2000);
        --depth;
    });
    ASSERT_TRUE(loop.runUntil([&] { return ticks >= 3 && depth == 0; }, 3000));
    EXPECT_EQ(maxDepth, 2);
    loop.killTimer(id);
}

TEST(MessageLoop, WatcherRunsWhenReadableAndNotReentered)
{
    auto& loop = MessageLoop::current();
    Pipe pipe;
    int calls = 0, nestedCalls = 0;
    std::vector<char> got;
    const auto id = loop.watchFd(pipe.r, [&] {
        ++calls;
        if (calls == 1) {
            // Not drained yet: a nested dispatch must not call us again.
            const int before = calls;
            loop.dispatchPending();
            nestedCalls += calls - before;
        }
        char c;
        while (::read(pipe.r, &c, 1) == 1 && c != '\n')
            got.push_back(c);
    });
    ASSERT_NE(id, 0u);
    EXPECT_EQ(loop.dispatchPending(), 0);
    ASSERT_EQ(::write(pipe.w, "ab\n", 3), 3);
    ASSERT_TRUE(loop.runUntil([&] { return got.size() == 2; }, 2000));
    EXPECT_EQ(nestedCalls, 0);
    EXPECT_TRUE(loop.unwatch(id));
    ASSERT_EQ(::write(pipe.w, "c\n", 2), 2);
    loop.runFor(20);
    EXPECT_EQ(got.size(), 2u);
    EXPECT_EQ(loop.watcherCount(), 0u);
}

TEST(MessageLoop, WaitInsideAWatcherDoesNotSpinOnItsOwnDescriptor)
{
    // A watcher that waits (dispatching) before it reads its descriptor: the
    // nested wait must sleep, not wake over and over for that descriptor.
    auto& loop = MessageLoop::current();
    Pipe pipe;
    int nestedRounds = 0;
    bool done = false;
    const auto id = loop.watchFd(pipe.r, [&] {
        const auto until = platform::monotonicMs() + 100;
        while (platform::monotonicMs() < until) {
            loop.dispatchOnce(static_cast<int>(until - platform::monotonicMs()));
            ++nestedRounds;
        }
        char c;
        while (::read(pipe.r, &c, 1) == 1) {
        }
        done = true;
    });
    ASSERT_EQ(::write(pipe.w, "x", 1), 1);
    ASSERT_TRUE(loop.runUntil([&] { return done; }, 2000));
    EXPECT_LT(nestedRounds, 10) << "the nested wait woke for the running watcher's descriptor";
    // Back in the set afterwards.
    done = false;
    ASSERT_EQ(::write(pipe.w, "y", 1), 1);
    EXPECT_TRUE(loop.runUntil([&] { return done; }, 2000));
    loop.unwatch(id);
}

TEST(MessageLoop, PostFromAnotherThreadRunsOnOwner)
{
    auto loop = MessageLoop::currentShared();
    const auto owner = std::this_thread::get_id();
    std::atomic<bool> ran{false};
    std::thread::id ranOn;
    std::thread poster([&] {
        loop->post([&] {
            ranOn = std::this_thread::get_id();
            ran = true;
        });
    });
    poster.join();
    EXPECT_FALSE(ran) << "posted work waits for the owner's dispatching";
    ASSERT_TRUE(loop->runUntil([&] { return ran.load(); }, 2000));
    EXPECT_EQ(ranOn, owner);
}

TEST(MessageLoop, EachThreadHasItsOwnLoop)
{
    MessageLoop* mine = &MessageLoop::current();
    MessageLoop* theirs = nullptr;
    std::thread t([&] { theirs = &MessageLoop::current(); });
    t.join();
    EXPECT_NE(mine, theirs);
}

TEST(MessageLoop, WakeFdSignalsDueWorkToAForeignLoop)
{
    auto& loop = MessageLoop::current();
    const int fd = loop.wakeFd();
    EXPECT_FALSE(readable(fd, 0));

    int ticks = 0;
    const auto id = loop.setTimer(20, [&](MessageLoop::Id) { ++ticks; });
    EXPECT_FALSE(readable(fd, 0));
    ASSERT_TRUE(readable(fd, 2000)) << "the timer's due time must wake a foreign poll";
    loop.dispatchPending();
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(readable(fd, 0)) << "after dispatching nothing is due";
    loop.killTimer(id);

    bool posted = false;
    loop.post([&] { posted = true; });
    ASSERT_TRUE(readable(fd, 0));
    loop.dispatchPending();
    EXPECT_TRUE(posted);
    EXPECT_FALSE(readable(fd, 0));
}

TEST(MessageLoop, DispatchOnceWakesPromptlyOnInput)
{
    auto& loop = MessageLoop::current();
    Pipe pipe;
    bool seen = false;
    const auto id = loop.watchFd(pipe.r, [&] {
        char c;
        while (::read(pipe.r, &c, 1) == 1) {
        }
        seen = true;
    });
    std::thread writer([&] {
        platform::sleepMs(20);
        ASSERT_EQ(::write(pipe.w, "x", 1), 1);
    });
    EXPECT_GT(loop.dispatchOnce(5000), 0);
    EXPECT_TRUE(seen);
    writer.join();
    loop.unwatch(id);
}
