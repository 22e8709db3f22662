// The machine an instruction's behaviour acts on (instructions/bit_logic.h and its siblings).
// Every behaviour is a template over it, written once; two machines instantiate it:
// - TreeMachine, below: the program tree's checked access. Operands are the instruction's
//   Parameter objects, which raise "Out of field read" and the like, and the stack is the
//   CPU's, which raises "StackOverflow" and reads zeros below its bottom.
// - the decoded scan's machine (core/decoded_machine.h): operands resolved at install time to
//   bytes that every access reaches, or to operand objects that cannot fault, and the stack's
//   top in a register.
//
// What a machine offers, for an operand `a` of the kind the machine uses:
//   top(), below() (the entry under the top), setTop(v), push(v), pop() -> the old top;
//   bit(a) -> bool, setBit(a, v), byte(a), setByte(a, v), word(a), setWord(a, v);
//   setRange(a, count, v) (a range of bits from a), setRangeWhen(c, a, count, v) (the same
//   where c holds, and nothing else), isTimer(a), resetTimer(a), timer(a),
//   counter(a); setSegment(v) (-1 none, 1 active, 0 inactive), enterStep(a) (the step bit
//   of the open segment), leaveStep() (clears the current step bit);
//   ReadsCannotFault: whether every read of an operand succeeds, so that a behaviour may read
//   where the checked machine must not.
#pragma once

#include <cstdint>

#include "core/cpu.h"
#include "core/timer.h"
#include "instructions/operand_access.h"
#include "operands/parameter.h"

namespace kvx {

// Clears the step bit of the last LSCR that ran. Without an LSCR of this program having run
// there is no current step to clear.
inline void leaveCurrentStep(CPU& cpu) {
    if (cpu.scrparam != nullptr) {
        writeBitOf(*cpu.scrparam, 0);
    }
}

// Operands as the tree holds them: every access raises what the operand raises.
struct CheckedOperands {
    static bool bit(const Parameter* a) { return readBitOf(*a) != 0; }
    static void setBit(Parameter* a, int value) { writeBitOf(*a, value); }
    static std::uint8_t byte(const Parameter* a) { return a->readByte(); }
    static void setByte(Parameter* a, std::uint8_t value) { a->writeByte(value); }
    static std::uint16_t word(const Parameter* a) { return a->readWord(); }
    static void setWord(Parameter* a, std::uint16_t value) { a->writeWord(value); }

    // The count is the low byte of the constant, so 256 writes nothing.
    static void setRange(Parameter* a, const Parameter* count, int value) {
        operandAs<BitParameter>(a).SetBitRange(count->readByte(), value);
    }
    static void setRangeWhen(bool when, Parameter* a, const Parameter* count, int value) {
        if (when) {
            setRange(a, count, value);
        }
    }
    static bool isTimer(const Parameter* a) noexcept { return a->getClass() == Parameter::TType; }
    static void resetTimer(Parameter* a) { timer(a).reset(); }
    static Timer& timer(Parameter* a) { return *operandAs<TimerParameter>(a).getTimer(); }
    static Counter& counter(Parameter* a) { return *operandAs<CounterParameter>(a).getCounter(); }
};

class TreeMachine final : public CheckedOperands {
public:
    static constexpr bool ReadsCannotFault = false;

    explicit TreeMachine(CPU& c) noexcept : cpu(c) {}

    int top() const noexcept { return cpu.CurrentStack(); }
    int below() const noexcept { return cpu.LastCurrentStack(); }
    void setTop(int value) noexcept { cpu.replaceTop(value); }
    void push(int value) { cpu.push(value); }
    int pop() noexcept { return cpu.pop(); }

    void setSegment(int value) noexcept { cpu.scrval = value; }
    void enterStep(Parameter* a) noexcept { cpu.scrparam = a; }
    void leaveStep() { leaveCurrentStep(cpu); }

private:
    CPU& cpu;
};

} // namespace kvx
