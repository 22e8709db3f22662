#include "scenario/progress.h"

namespace kvx {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto Quiet = std::chrono::seconds(2);
constexpr auto Interval = std::chrono::milliseconds(250);

} // namespace

Progress::Progress(std::ostream* o, std::string l, std::uint64_t t)
    : to(o), label(std::move(l)), total(t), start(Clock::now()), shownAt(start) {}

Progress::~Progress() {
    clear();
}

void Progress::show(std::uint64_t done) {
    const auto now = Clock::now();
    if (now - start < Quiet || (visible && now - shownAt < Interval)) {
        return;
    }
    shownAt = now;
    visible = true;
    // Counts stay far below 2^57, so the product cannot overflow.
    const std::uint64_t percent = total == 0 ? 100 : done * 100 / total;
    // Carriage return and "erase to end of line": the new text replaces the old in place.
    *to << "\r\033[K" << label << ": scan " << done << " of " << total << " (" << percent << "%)"
        << std::flush;
}

void Progress::clear() {
    if (visible) {
        *to << "\r\033[K" << std::flush;
        visible = false;
    }
}

} // namespace kvx
