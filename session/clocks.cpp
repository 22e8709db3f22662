#include "session/clocks.h"

namespace kvx {

std::uint32_t SteadyTickClock::getmsTime() const noexcept {
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

std::uint32_t ScaledClock::getmsTime() const noexcept {
    // Unsigned subtraction: the tick's own wrap after 49 days costs nothing here.
    const std::uint32_t ticks = base.getmsTime() - sinceTick;
    return sinceMs + ticks / static_cast<std::uint32_t>(Faktor);
}

void ScaledClock::setFaktor(int faktor) noexcept {
    // The part of a millisecond counted at the old rate is dropped, so time never runs back.
    sinceMs = getmsTime();
    sinceTick = base.getmsTime();
    Faktor = faktor < 1 ? 1 : faktor;
}

} // namespace kvx
