// The decoded scan's machine (instructions/machine.h): operands resolved at install time to
// bytes that every access reaches, to timers by number, or to operand objects whose every
// access succeeds; and the stack's pointer and top in the scan's registers. The stack array
// always holds the exact entries below the top. It checks nothing: the decoder admitted a step
// only where its stack stays within slot 0 and the limit and its operands cannot fault.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "core/cpu.h"
#include "core/timer.h"
#include "instructions/machine.h"

namespace kvx {

namespace decoded {
struct BitAt {
    std::uint8_t* byte;
    std::uint8_t mask;
};
// The step bit of an LSCR, with the operand that SCRT clears later.
struct StepAt {
    BitAt bit;
    Parameter* operand;
};
struct TimerNo {
    std::uint16_t no;
};
// A counter, found by the scan.
struct CounterAt {
    Counter* counter;
};
// The bit of a timer or counter (its value has reached the preset), read when the step
// began: no read can fault, and none of these instructions changes a timer or counter.
struct ActiveBit {
    int value;
};
// The count of a decoded S or R: one bit, or the low byte of the count constant.
struct OneBit {};
struct BitCount {
    std::uint16_t count;
};
struct NoOperand {};
} // namespace decoded

class DecodedMachine final : public CheckedOperands {
public:
    // The decoder admitted only operands whose every access succeeds.
    static constexpr bool ReadsCannotFault = true;

    DecodedMachine(CPU& c, std::array<int, CPU::StackSize>& entries, std::ptrdiff_t& pointer,
                   int& topValue) noexcept
        : cpu(c), stack(entries), sp(pointer), topOf(topValue) {}

    int top() const noexcept { return topOf; }
    int below() const noexcept { return stack[sp - 1]; }
    void setTop(int value) noexcept { topOf = value; }
    void push(int value) noexcept {
        stack[sp] = topOf;
        ++sp;
        topOf = value;
    }
    int pop() noexcept {
        const int value = topOf;
        --sp;
        topOf = stack[sp];
        return value;
    }

    using CheckedOperands::bit;
    using CheckedOperands::byte;
    using CheckedOperands::counter;
    using CheckedOperands::isTimer;
    using CheckedOperands::resetTimer;
    using CheckedOperands::setBit;
    using CheckedOperands::setByte;
    using CheckedOperands::setRange;
    using CheckedOperands::setRangeWhen;
    using CheckedOperands::setWord;
    using CheckedOperands::timer;
    using CheckedOperands::word;

    static bool bit(decoded::BitAt a) noexcept { return (*a.byte & a.mask) != 0; }
    static bool bit(decoded::StepAt a) noexcept { return bit(a.bit); }
    static bool bit(decoded::ActiveBit a) noexcept { return a.value != 0; }
    static void setBit(decoded::BitAt a, int value) noexcept {
        *a.byte = static_cast<std::uint8_t>(value != 0 ? *a.byte | a.mask : *a.byte & ~a.mask);
    }
    static std::uint8_t byte(const std::uint8_t* a) noexcept { return *a; }
    static void setByte(std::uint8_t* a, std::uint8_t value) noexcept { *a = value; }
    static std::uint16_t word(const std::uint8_t* a) noexcept {
        return static_cast<std::uint16_t>(a[0] << 8 | a[1]);
    }
    static void setWord(std::uint8_t* a, std::uint16_t value) noexcept {
        a[0] = static_cast<std::uint8_t>(value >> 8);
        a[1] = static_cast<std::uint8_t>(value);
    }
    static void setRange(decoded::BitAt a, decoded::OneBit, int value) noexcept {
        setBit(a, value);
    }
    // The decoder admitted the range only where it lies within the area. A byte's share of
    // the range is written at once.
    static void setRange(decoded::BitAt a, decoded::BitCount n, int value) noexcept {
        unsigned left = n.count;
        unsigned from = static_cast<unsigned>(std::countr_zero(a.mask)) & 7u;
        for (std::uint8_t* byte = a.byte; left > 0; ++byte, from = 0) {
            const unsigned bits = std::min(left, 8 - from);
            setBit({byte, static_cast<std::uint8_t>(((1u << bits) - 1) << from)}, value);
            left -= bits;
        }
    }
    // One bit is written whether or not it applies, unchanged where it does not: a store costs
    // less than a branch on the data.
    static void setRangeWhen(bool when, decoded::BitAt a, decoded::OneBit, int value) noexcept {
        const auto mask = static_cast<std::uint8_t>(when ? a.mask : 0);
        *a.byte = static_cast<std::uint8_t>(value != 0 ? *a.byte | mask : *a.byte & ~mask);
    }
    static void setRangeWhen(bool when, decoded::BitAt a, decoded::BitCount n, int value) noexcept {
        if (when) {
            setRange(a, n, value);
        }
    }
    // A decoded bit is never a timer, and a timer is never a range of bits.
    static constexpr bool isTimer(decoded::BitAt) noexcept { return false; }
    static void resetTimer(decoded::BitAt) noexcept {}
    static constexpr bool isTimer(decoded::TimerNo) noexcept { return true; }
    void resetTimer(decoded::TimerNo a) { cpu.timer(a.no).reset(); }
    static void setRangeWhen(bool, decoded::TimerNo, decoded::NoOperand, int) noexcept {}
    Timer& timer(decoded::TimerNo a) { return cpu.timer(a.no); }
    static Counter& counter(decoded::CounterAt a) noexcept { return *a.counter; }

    void setSegment(int value) noexcept { cpu.scrval = value; }
    void enterStep(decoded::StepAt a) noexcept { cpu.scrparam = a.operand; }
    void enterStep(Parameter* a) noexcept { cpu.scrparam = a; }
    void leaveStep() { leaveCurrentStep(cpu); }

private:
    CPU& cpu;
    std::array<int, CPU::StackSize>& stack;
    // As wide as an address, so that indexing the stack needs no widening.
    std::ptrdiff_t& sp;
    int& topOf;
};

} // namespace kvx
