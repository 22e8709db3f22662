// The 27 instructions of the instruction list. Each is an Instruction<Behaviour>: its
// behaviour, written once for every machine that runs it, and its row of the instruction
// table. CPU::parserCommand (declared in core/cpu.h) creates them from a line's text.
//
// Adding an instruction touches two places, and the compiler names any that is missing:
// 1. its behaviour: a struct in the namespace kvx::op beside those of its family
//    (bit_logic.h, sequence_control.h, byte_word.h, timer_counter.h) with a static run()
//    template over the machine (instructions/machine.h), and a `Memory` type when it keeps
//    something from scan to scan (reset() clears it);
// 2. a row in the table of instructions/instruction_table.cpp: behaviour, mnemonic, stack
//    effect, operands (column, load-time rules and shape), how far below the top it reads the
//    stack, its decoded step and whether it is a contact. The step may be `Resolved`: the scan
//    then runs the behaviour on the instruction's operand objects; a step kind of its own
//    (core/decoded.h and its case in the scan loop) is an optimisation that the differential
//    test proves.
// The listing, the trace, the loader, coverage and the differential generator need nothing
// more; the editors' highlighting does: its test fails until packaging/syntax/awl.xml and its
// sample program know the mnemonic.
//
// Contract shared by all of them:
// - check() validates the operands once, at load time, and throws CPUException with the
//   message of the first rule that fails. execute() may only be called on an instruction
//   whose check() passed; it raises nothing of its own, only what the stack, the memory
//   areas and the operands raise.
// - Stack entries are read and written only through the machine's top, below, setTop, push
//   and pop, so an instruction that takes more entries than its network pushed reads zeros
//   below the bottom and never reaches outside the stack.
// - The pop / keep / push counts describe the instruction; the decoded scan relies on them
//   and on the reach to keep the stack within its slots, and the differential test holds
//   the behaviour to them.
#pragma once

#include <type_traits>

#include "core/program.h"
#include "instructions/bit_logic.h"
#include "instructions/byte_word.h"
#include "instructions/sequence_control.h"
#include "instructions/timer_counter.h"

namespace kvx {

class CPU;

// The memory of a behaviour that keeps none.
struct NoMemory {};

template <typename Behaviour>
struct MemoryOfBehaviour {
    using type = NoMemory;
};

template <typename Behaviour>
requires requires {
    typename Behaviour::Memory;
}
struct MemoryOfBehaviour<Behaviour> {
    using type = typename Behaviour::Memory;
};

// One instruction: the members are defined, for every row of the table, in
// instructions/instruction_table.cpp.
template <typename Behaviour>
class Instruction final : public Operation {
public:
    using Memory = typename MemoryOfBehaviour<Behaviour>::type;

    using Operation::Operation;
    void execute(CPU& c) override;
    void check() const override;
    int IsSingleType() const noexcept override;
    const char* getName() const noexcept override;
    int getPopCount() const noexcept override;
    int getKeepCount() const noexcept override;
    int getPushCount() const noexcept override;
    const InstructionRow* row() const noexcept override;
    void reset() noexcept override { kept = Memory{}; }
    // The decoded scan works on the same memory, so both ways of running an instruction see
    // one history.
    Memory& memory() noexcept { return kept; }

private:
    [[no_unique_address]] Memory kept{};
};

} // namespace kvx
