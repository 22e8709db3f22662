// Reaching the concrete operand behind an instruction's operand, for the instructions that
// need more than the eight accesses (bit ranges, timers, counters).
#pragma once

#include "core/common.h"
#include "core/program.h"

// The operand as the class that check() guaranteed. An instruction run without a passing
// check gets the load error instead of undefined behaviour.
template <typename Concrete>
Concrete& operandAs(Parameter* operand) {
    auto* concrete = dynamic_cast<Concrete*>(operand);
    if (concrete == nullptr) {
        throw CPUException("Parametertype not possible");
    }
    return *concrete;
}
