#include "session/clocks.h"

namespace kvx {

std::uint32_t SteadyTickClock::getmsTime() const noexcept {
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

std::uint32_t ScaledClock::getmsTime() const noexcept {
    const auto divisor = static_cast<std::uint32_t>(Faktor < 1 ? 1 : Faktor);
    return base.getmsTime() / divisor;
}

} // namespace kvx
