#include "loop_bridge.h"

#include <platform/loop.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kTimeoutMs = 5000;

class LoopBridge : public ::testing::Test {
protected:
    // Runs a Qt event loop until quit() or the time-out; false on time-out.
    bool runQt(int timeoutMs = kTimeoutMs)
    {
        bool timedOut = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            timedOut = true;
            qt.quit();
        });
        guard.start(timeoutMs);
        qt.exec();
        return !timedOut;
    }

    platform::MessageLoop& loop = platform::MessageLoop::current();
    CLoopBridge bridge;
    QEventLoop qt;
    const std::thread::id uiThread = std::this_thread::get_id();
};

TEST_F(LoopBridge, APlatformTimerTicksInsideQtsLoopOnThisThread)
{
    int ticks = 0;
    bool onUiThread = true;
    const auto id = loop.setTimer(10, [&](platform::MessageLoop::Id timer) {
        onUiThread = onUiThread && std::this_thread::get_id() == uiThread;
        if (++ticks == 3) {
            loop.killTimer(timer);
            qt.quit();
        }
    });
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(runQt());
    EXPECT_EQ(ticks, 3);
    EXPECT_TRUE(onUiThread);
    EXPECT_EQ(loop.timerCount(), 0u);
}

TEST_F(LoopBridge, ACallbackPostedFromAnotherThreadArrivesOnThisThread)
{
    std::thread::id ranOn;
    std::shared_ptr<platform::MessageLoop> target = platform::MessageLoop::currentShared();
    std::thread poster([target, this, &ranOn] {
        target->post([this, &ranOn]() {
            ranOn = std::this_thread::get_id();
            qt.quit();
        });
    });
    EXPECT_TRUE(runQt());
    poster.join();
    EXPECT_EQ(ranOn, uiThread);
}

TEST_F(LoopBridge, AWatchedDescriptorIsServedInsideQtsLoop)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    char got = 0;
    const auto id = loop.watchFd(fds[0], [&] {
        ASSERT_EQ(::read(fds[0], &got, 1), 1);
        qt.quit();
    });
    ASSERT_NE(id, 0u);
    std::thread writer([fd = fds[1]] { ASSERT_EQ(::write(fd, "z", 1), 1); });
    EXPECT_TRUE(runQt());
    writer.join();
    EXPECT_EQ(got, 'z');
    loop.unwatch(id);
    ::close(fds[0]);
    ::close(fds[1]);
}

// A callback that runs a nested Qt loop (as one showing a modal box does)
// while its own descriptor stays readable: timers keep ticking in the nested
// loop, and the bridge does not spin on the readable descriptor meanwhile.
TEST_F(LoopBridge, ANestedQtLoopKeepsTimersTickingWithoutSpinning)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "x", 1), 1);   // stays unread while the callback runs
    int ticks = 0;
    bool nestedDone = false;
    long long dispatchesInside = 0;
    long long nestedMs = 0;
    const auto watch = loop.watchFd(fds[0], [&] {
        if (nestedDone)
            return;
        QEventLoop nested;
        const auto timer = loop.setTimer(10, [&](platform::MessageLoop::Id) {
            if (++ticks == 5)
                nested.quit();
        });
        QTimer::singleShot(kTimeoutMs, &nested, &QEventLoop::quit);
        const long long before = bridge.dispatches();
        QElapsedTimer clock;
        clock.start();
        nested.exec();
        nestedMs = clock.elapsed();
        dispatchesInside = bridge.dispatches() - before;
        loop.killTimer(timer);
        nestedDone = true;
        char c;
        ASSERT_EQ(::read(fds[0], &c, 1), 1);
        qt.quit();
    });
    EXPECT_TRUE(runQt(2 * kTimeoutMs));
    EXPECT_EQ(ticks, 5);
    // A spinning bridge dispatches many times per millisecond; a quiet one
    // about once per tick.
    EXPECT_LT(dispatchesInside, 20 + nestedMs);
    loop.unwatch(watch);
    ::close(fds[0]);
    ::close(fds[1]);
}

} // namespace
