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

// `ticks` divided by the speed factor, read afresh at every call: raising the factor makes the
// simulated time jump backwards, lowering it makes it jump forwards. A factor below 1 counts
// as 1. Both referents must outlive the clock.
class ScaledClock final : public Clock {
public:
    ScaledClock(const Clock& ticks, const int& faktor) noexcept : base(ticks), Faktor(faktor) {}
    std::uint32_t getmsTime() const noexcept override;

private:
    const Clock& base;
    const int& Faktor;
};

} // namespace kvx
