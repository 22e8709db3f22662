#include "core/timer.h"

#include "core/clock.h"

namespace kvx {

namespace {
constexpr std::uint32_t Saturation = 0xFFFF;
}

Timer::Timer(std::uint16_t base, const Clock& source) noexcept
    : iv(base), lasttime(source.getmsTime()), clock(&source) {}

void Timer::reset() noexcept {
    stat = 0;
    active = 0;
}

void Timer::clear() noexcept {
    reset();
    lim = 0;
}

void Timer::setActive(int on) noexcept {
    if (on == 0) {
        return;
    }
    if (active == 0) {
        lasttime = clock->getmsTime();
    }
    active = 1;
}

void Timer::runFromNow(std::uint16_t value) noexcept {
    stat = value;
    active = 1;
    lasttime = clock->getmsTime();
}

void Timer::Increment() noexcept {
    if (active == 0 || iv == 0) {
        return;
    }
    const std::uint32_t now = clock->getmsTime();
    if (now < lasttime) {
        // The clock went backwards (a slower clock was chosen): count from here on.
        lasttime = now;
    }
    const std::uint32_t elapsed = now - lasttime;
    if (elapsed <= iv) {
        return;
    }
    const std::uint32_t n = elapsed / iv;
    lasttime += n * iv;
    const std::uint32_t room = Saturation - stat;
    stat = static_cast<std::uint16_t>(n >= room ? Saturation : stat + n);
}

void Counter::Add() noexcept {
    if (stat < Saturation) {
        ++stat;
    }
}

void Counter::Sub() noexcept {
    if (stat > 0) {
        --stat;
    }
}

} // namespace kvx
