#include "session/pace.h"

#include <algorithm>

namespace kvx {

std::optional<std::uint32_t> ScanPace::next(std::uint32_t now, bool running) noexcept {
    const std::uint32_t elapsed = now - lastMs;
    lastMs = now;
    credit = std::min(credit + std::min(elapsed, maxOwed), maxOwed);
    if (!running) {
        credit = 0;
    }
    if (credit == 0) {
        return std::nullopt;
    }
    // The oldest millisecond still owed; a stall beyond the owed ones is skipped here.
    return now - credit-- + 1;
}

} // namespace kvx
