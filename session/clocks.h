// The clocks a session can run on: the machine's millisecond tick, and the simulated clock
// the CPU reads, which is that tick slowed down by the speed factor.
#pragma once

#include <chrono>
#include <cstdint>

#include "core/clock.h"

namespace kvx {

// Milliseconds of a monotonic clock, truncated to 32 bits: it wraps after about 49 days and
// never jumps when the wall clock is set.
class SteadyTickClock final : public Clock {
public:
    std::uint32_t getmsTime() const noexcept override;

private:
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// `ticks` slowed down by the speed factor. A change of the factor takes effect from the
// moment it is made: time runs on at the new rate from where it stood, so it never jumps, and
// a running timer neither completes at once nor waits for time that went backwards.
// The referent must outlive the clock.
class ScaledClock final : public Clock {
public:
    explicit ScaledClock(const Clock& ticks) noexcept : base(ticks) {}
    std::uint32_t getmsTime() const noexcept override;
    int faktor() const noexcept { return Faktor; }
    // A factor below 1 counts as 1.
    void setFaktor(int faktor) noexcept;

private:
    const Clock& base;
    int Faktor = 1;
    // The tick and the time at the last change: time is `sinceMs` plus the ticks since
    // `sinceTick`, divided by the factor. Both start at 0, so at factor 1 the time is the tick.
    std::uint32_t sinceTick = 0;
    std::uint32_t sinceMs = 0;
};

} // namespace kvx
