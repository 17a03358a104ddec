#include <gtest/gtest.h>

#include <thread>

#include "platform/clock.h"
#include "platform/event.h"

using platform::Event;

TEST(Event, ManualResetStaysSetUntilReset)
{
    Event e;
    ASSERT_TRUE(e.valid());
    EXPECT_FALSE(e.isSet());
    e.set();
    e.set();
    EXPECT_TRUE(e.wait(0));
    EXPECT_TRUE(e.wait(0)) << "a wait must not consume a manual-reset event";
    e.reset();
    EXPECT_FALSE(e.isSet());
    EXPECT_TRUE(Event(true).isSet());
}

TEST(Event, WaitTimesOutWhenNeverSet)
{
    Event e;
    const auto start = platform::monotonicMs();
    EXPECT_FALSE(e.wait(30));
    EXPECT_GE(platform::monotonicMs() - start, 30u);
}

TEST(Event, SetFromAnotherThreadWakesWaiter)
{
    Event request, answer;
    std::thread peer([&] {
        ASSERT_TRUE(request.wait(5000));
        answer.set();
    });
    request.set();
    EXPECT_TRUE(answer.wait(5000));
    peer.join();
}

TEST(Event, WaitAnyPrefersListOrder)
{
    Event stop, io, send;
    EXPECT_EQ(platform::waitAny({&stop, &io, &send}, 0), -1);
    send.set();
    io.set();
    EXPECT_EQ(platform::waitAny({&stop, &io, &send}, 0), 1);
    stop.set();
    EXPECT_EQ(platform::waitAny({&stop, &io, &send}, -1), 0);
}

TEST(Event, MovedFromEventIsInert)
{
    Event a;
    Event b(std::move(a));
    EXPECT_FALSE(a.valid());
    a.set(); // no effect, no crash
    EXPECT_FALSE(b.isSet());
    b.set();
    EXPECT_TRUE(b.isSet());
}
