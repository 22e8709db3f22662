// What the instruction table says of each instruction, for those that look at instructions from
// outside: the decoder, coverage, the differential generator and the highlighting test.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "core/program.h"

namespace kvx {

struct InstructionRow final {
    const char* mnemonic;
    // Declared stack effect, as Operation::getPopCount and its siblings answer it.
    int pop;
    int keep;
    int push;
    // How far below the top the instruction reads the stack (LRD reads one entry below it);
    // -1 when it does not touch the stack at all.
    int reach;
    // The step the decoder makes of it (core/decoded.h), step::Tree when it has none.
    std::uint8_t step;
    // Runs in an inactive segment too.
    bool single;
    // Reads a condition whose result is a decision, for coverage.
    bool contact;
    std::unique_ptr<Operation> (*make)(std::unique_ptr<Parameter>, std::unique_ptr<Parameter>);
};

// Every row, in the order in which parserCommand matches mnemonics.
std::span<const InstructionRow> instructionRows() noexcept;
// The row of a mnemonic, matched exactly; null for none.
const InstructionRow* instructionRow(std::string_view mnemonic) noexcept;

} // namespace kvx
