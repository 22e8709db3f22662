// The pacing of real-time scans, one per elapsed millisecond of the machine's tick, shared by
// every front end that runs a session in real time: the window's timer and the page's worker
// wake at their own rhythm, and this decides which millisecond each scan runs at.
//
// Each elapsed millisecond earns one scan, up to `maxOwed` of them, and each owed scan runs at
// its own millisecond, the oldest first. So scans lie exactly one tick apart however late the
// caller wakes, a scan made up late still reads its own time, and after a stall beyond the
// owed scans the session goes on at the normal rate instead of racing to catch up.
#pragma once

#include <cstdint>
#include <optional>

namespace kvx {

class ScanPace final {
public:
    // `now` is the tick at the start; `maxOwed` at least 1.
    ScanPace(std::uint32_t now, std::uint32_t maxOwed) noexcept
        : lastMs(now), maxOwed(maxOwed == 0 ? 1 : maxOwed) {}

    // At tick `now`: the millisecond the next scan runs at, or nullopt when none is owed. A
    // session that is not running owes none and earns none.
    std::optional<std::uint32_t> next(std::uint32_t now, bool running) noexcept;
    // Whether a scan is still owed at `now` without waiting for the next tick.
    bool owes(std::uint32_t now) const noexcept { return credit > 0 || now != lastMs; }

private:
    std::uint32_t lastMs;
    std::uint32_t maxOwed;
    std::uint32_t credit = 0;
};

} // namespace kvx
