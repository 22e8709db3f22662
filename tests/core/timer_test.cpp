#include <gtest/gtest.h>

#include "core/clock.h"
#include "core/timer.h"

namespace kvx {

namespace {

TEST(TimerTest, CountsOnlyWholeIntervalsBeyondTheFirst) {
    // (base, start, increment at, expected value)
    struct Case {
        std::uint16_t base;
        std::uint32_t start;
        std::uint32_t at;
        int value;
    } cases[] = {
        {1, 1000, 1000, 0},   {1, 1000, 1001, 0},
        {1, 1000, 1002, 2},   {10, 0, 10, 0},
        {10, 0, 11, 1},       {10, 0, 25, 2},
        {100, 0, 1000, 10},   {100, 0, 999, 9},
        {1, 0, 70000, 65535}, {100, 5, 4000000000u, 65535},
    };
    for (const auto& c : cases) {
        SimClock clock;
        clock.set(c.start);
        Timer t(c.base, clock);
        t.setActive(1);
        clock.set(c.at);
        t.Increment();
        EXPECT_EQ(t.getValue(), c.value)
            << "base " << c.base << " from " << c.start << " to " << c.at;
    }
}

TEST(TimerTest, RemainderStaysPendingAcrossIncrements) {
    SimClock clock;
    Timer t(10, clock);
    t.setActive(1);
    for (std::uint32_t ms : {15u, 25u, 31u}) {
        clock.set(ms);
        t.Increment();
    }
    // 31 ms at a 10 ms base: three whole intervals, however the calls were spaced.
    EXPECT_EQ(t.getValue(), 3);
}

TEST(TimerTest, IdleTimerDoesNotCountAndSetActiveDoesNotRestart) {
    SimClock clock;
    Timer t(1, clock);
    clock.set(50);
    t.Increment();
    EXPECT_EQ(t.getValue(), 0);
    t.setActive(1);
    clock.set(60);
    t.setActive(1); // already running: the start time stays at 50
    t.Increment();
    EXPECT_EQ(t.getValue(), 10);
    t.setActive(0); // only reset() stops a timer
    EXPECT_TRUE(t.isRunning());
}

TEST(TimerTest, ClockGoingBackwardsCountsNothingUntilItPassesAgain) {
    SimClock clock;
    clock.set(1000);
    Timer t(10, clock);
    t.setActive(1);
    clock.set(500);
    t.Increment();
    EXPECT_EQ(t.getValue(), 0);
    clock.set(510);
    t.Increment();
    EXPECT_EQ(t.getValue(), 0);
    clock.set(511);
    t.Increment();
    EXPECT_EQ(t.getValue(), 1);
}

TEST(TimerTest, ResetClearsValueAndStopsButKeepsPreset) {
    SimClock clock;
    Timer t(1, clock);
    t.setLimit(3);
    t.setActive(1);
    clock.set(10);
    t.Increment();
    EXPECT_EQ(t.IsActive(), 1);
    t.reset();
    EXPECT_EQ(t.getValue(), 0);
    EXPECT_FALSE(t.isRunning());
    EXPECT_EQ(t.getLimit(), 3);
    EXPECT_EQ(t.IsActive(), 0);
}

TEST(CounterTest, SaturatesAtBothEnds) {
    Counter c;
    EXPECT_EQ(c.IsActive(), 1); // preset 0 is reached from the start
    c.Sub();
    EXPECT_EQ(c.getValue(), 0);
    c.setValue(65535);
    c.Add();
    EXPECT_EQ(c.getValue(), 65535);
    c.setLimit(65535);
    EXPECT_EQ(c.IsActive(), 1);
    c.Sub();
    EXPECT_EQ(c.IsActive(), 0);
}

} // namespace

} // namespace kvx
