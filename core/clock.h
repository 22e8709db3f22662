// The simulated millisecond clock. Every timer and the scan cycle read time only through a
// Clock, so the window can run on real ticks while tests and the runner run on a SimClock.
#pragma once

#include <cstdint>

namespace kvx {

class Clock {
public:
    virtual ~Clock() = default;
    // Simulated time in milliseconds; unsigned 32 bits, it may wrap and may jump backwards.
    virtual std::uint32_t getmsTime() const noexcept = 0;
};

// A clock that moves only when told to.
class SimClock final : public Clock {
public:
    std::uint32_t getmsTime() const noexcept override { return now; }
    void set(std::uint32_t ms) noexcept { now = ms; }
    void advance(std::uint32_t ms) noexcept { now += ms; }

private:
    std::uint32_t now = 0;
};

} // namespace kvx
