// Reaching the concrete operand behind an instruction's operand, for the instructions that
// need more than the eight accesses (bit ranges, timers, counters).
#pragma once

#include <type_traits>
#include <typeinfo>

#include "core/common.h"
#include "core/program.h"
#include "operands/parameter.h"

// The operand as the class that check() guaranteed. An instruction run without a passing
// check gets the load error instead of undefined behaviour. The operand classes are final, so
// an identical type identity settles it without the cost of a dynamic_cast in every scan.
template <typename Concrete>
Concrete& operandAs(Parameter* operand) {
    static_assert(std::is_final_v<Concrete>);
    if (operand != nullptr && &typeid(*operand) == &typeid(Concrete)) [[likely]] {
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
// operand's table, which is most of the cost of a contact or a coil. The class test compares
// type identities only: where it cannot tell, the operand's own access answers the same.
inline bool isMemoryBit(const Parameter& operand) noexcept {
    return &typeid(operand) == &typeid(BitParameter);
}

inline int readBitOf(const Parameter& operand) {
    if (isMemoryBit(operand)) [[likely]] {
        return static_cast<const BitParameter&>(operand).readBit();
    }
    return operand.readBit();
}

inline void writeBitOf(Parameter& operand, int val) {
    if (isMemoryBit(operand)) [[likely]] {
        static_cast<BitParameter&>(operand).writeBit(val);
        return;
    }
    operand.writeBit(val);
}
