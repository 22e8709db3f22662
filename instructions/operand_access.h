// Reaching the concrete operand behind an instruction's operand, for the instructions that
// need more than the eight accesses (bit ranges, timers, counters).
#pragma once

#include <type_traits>
#include <typeinfo>

#include "core/common.h"
#include "core/program.h"
#include "operands/parameter.h"

namespace kvx {

// Whether the operand is exactly the final class `Concrete`, cheaply enough for every scan. It
// compares type identities only: where that cannot tell, it says no, and the callers fall back
// to an access that answers the same.
template <typename Concrete>
bool isExactly(const Parameter& operand) noexcept {
    static_assert(std::is_final_v<Concrete>);
    return &typeid(operand) == &typeid(Concrete);
}

// The operand as the class that check() guaranteed. An instruction run without a passing
// check gets the load error instead of undefined behaviour.
template <typename Concrete>
Concrete& operandAs(Parameter* operand) {
    if (operand != nullptr && isExactly<Concrete>(*operand)) [[likely]] {
        return static_cast<Concrete&>(*operand);
    }
    auto* concrete = dynamic_cast<Concrete*>(operand);
    if (concrete == nullptr) {
        throw CPUException("Parametertype not possible");
    }
    return *concrete;
}

// Bit accesses as every operand class answers them. Nearly every bit operand is a memory bit;
// naming its final class lets the compiler inline the access instead of calling through the
// operand's table, which is most of the cost of a contact or a coil.
inline int readBitOf(const Parameter& operand) {
    if (isExactly<BitParameter>(operand)) [[likely]] {
        return static_cast<const BitParameter&>(operand).readBit();
    }
    return operand.readBit();
}

inline void writeBitOf(Parameter& operand, int val) {
    if (isExactly<BitParameter>(operand)) [[likely]] {
        static_cast<BitParameter&>(operand).writeBit(val);
        return;
    }
    operand.writeBit(val);
}

} // namespace kvx
