// On-delay timers and up/down counters. Values are unsigned 16 bits and saturate at 0 and
// 65535; neither class ever throws.
#pragma once

#include <cstdint>

namespace kvx {

class Clock;

class Timer final {
public:
    // `base` is the time base in simulated milliseconds (1, 10 or 100). The clock must
    // outlive the timer.
    Timer(std::uint16_t base, const Clock& clock) noexcept;

    void reset() noexcept;
    // As the timer was made: reset and without preset.
    void clear() noexcept;
    // The timer bit: value has reached the preset.
    int IsActive() const noexcept { return stat >= lim ? 1 : 0; }
    void setLimit(std::uint16_t limit) noexcept { lim = limit; }
    // Starts counting from now if the timer was idle; a running timer is stopped only by
    // reset(). A zero argument changes nothing.
    void setActive(int on) noexcept;
    int getValue() const noexcept { return stat; }
    // Counts the whole intervals elapsed since the last count; a part interval stays
    // pending, and exactly one interval is not yet counted.
    void Increment() noexcept;

    std::uint16_t getLimit() const noexcept { return lim; }
    std::uint16_t getBase() const noexcept { return iv; }
    bool isRunning() const noexcept { return active != 0; }
    // The time from which the next interval not yet counted runs.
    std::uint32_t countedUpTo() const noexcept { return lasttime; }
    // Puts the timer in the state of one that has counted `value` intervals up to now and
    // runs on: what a test needs to start from the middle of a timing.
    void runFromNow(std::uint16_t value) noexcept;

private:
    std::uint16_t stat = 0;
    std::uint16_t lim = 0;
    std::uint16_t iv;
    int active = 0;
    std::uint32_t lasttime;
    const Clock* clock;
};

class Counter final {
public:
    void Add() noexcept;
    void Sub() noexcept;
    std::uint16_t getValue() const noexcept { return stat; }
    void setValue(std::uint16_t value) noexcept { stat = value; }
    void setLimit(std::uint16_t limit) noexcept { lim = limit; }
    std::uint16_t getLimit() const noexcept { return lim; }
    int IsActive() const noexcept { return stat >= lim ? 1 : 0; }

private:
    std::uint16_t lim = 0;
    std::uint16_t stat = 0;
};

} // namespace kvx
