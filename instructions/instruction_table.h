// What the instruction table says of each instruction, for those that look at instructions from
// outside: the decoder, coverage, the differential generator and the highlighting test.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "core/program.h"

namespace kvx {

class DecodedMachine;

// The operands a program writes after the mnemonic, as the load-time checks accept them: what
// a program writer (the differential generator) needs to write the instruction.
enum class OperandShape : std::uint8_t {
    None,
    ReadBit,          // a bit, or anything that reads as one
    WriteBit,         // a bit that can be written
    BitRange,         // a bit that can be written and a count
    BitRangeOrTimer,  // the same, or a timer with the count 1
    StepBit,          // an S bit
    ByteToByte,       // a byte or constant, then a byte that can be written
    WordToWord,       // a word or constant, then a word that can be written
    TwoBytes,         // two bytes or constants
    TwoWords,         // two words or constants
    OnDelayTimer,     // an on-delay timer and its preset
    CounterAndPreset, // a counter and its preset
};

struct InstructionRow final {
    const char* mnemonic;
    // Declared stack effect, as Operation::getPopCount and its siblings answer it.
    int pop;
    int keep;
    int push;
    // How far below the top the instruction reads the stack (LRD reads one entry below it);
    // -1 when it does not touch the stack at all.
    int reach;
    // The step the decoder makes of it (core/decoded.h), step::Resolved when it has no faster
    // one of its own.
    std::uint8_t step;
    // Runs in an inactive segment too.
    bool single;
    // Reads a condition whose result is a decision, for coverage.
    bool contact;
    OperandShape operands;
    std::unique_ptr<Operation> (*make)(std::unique_ptr<Parameter>, std::unique_ptr<Parameter>);
    // Runs the behaviour of `op`, an instruction of this row, on the decoded scan's machine with
    // the instruction's own operand objects; for operands that the decoder found cannot fault.
    void (*resolved)(DecodedMachine& machine, Operation& op);
};

// Every row, in the order in which parserCommand matches mnemonics.
std::span<const InstructionRow> instructionRows() noexcept;
// The row of a mnemonic, matched exactly; null for none.
const InstructionRow* instructionRow(std::string_view mnemonic) noexcept;

} // namespace kvx
