// Byte and word moves, exclusive-or and equality comparisons.

#include "core/cpu.h"
#include "instructions/operators.h"
#include "operands/parameter.h"

namespace kvx {

namespace {

template <Width W>
auto readAs(const Parameter& p) {
    if constexpr (W == Width::Byte) {
        return p.readByte();
    } else {
        return p.readWord();
    }
}

template <Width W>
void move(CPU& c, const Parameter& source, Parameter& destination) {
    if (c.CurrentStack() == 0) {
        return;
    }
    const auto value = readAs<W>(source);
    if constexpr (W == Width::Byte) {
        destination.writeByte(value);
    } else {
        destination.writeWord(value);
    }
}

// Reads the first operand before the second, so an error names the first one first.
template <Width W>
int equal(const Parameter& first, const Parameter& second) {
    const auto x = readAs<W>(first);
    const auto y = readAs<W>(second);
    return x == y ? 1 : 0;
}

} // namespace

void MOVB_Op::execute(CPU& c) {
    move<Width::Byte>(c, *p1, *p2);
}
void MOVW_Op::execute(CPU& c) {
    move<Width::Word>(c, *p1, *p2);
}

void XORB_Op::execute(CPU& c) {
    if (c.CurrentStack() == 0) {
        return;
    }
    const std::uint8_t y = p2->readByte();
    const std::uint8_t x = p1->readByte();
    p2->writeByte(static_cast<std::uint8_t>(x ^ y));
}

void LDWgl_Op::execute(CPU& c) {
    c.push(equal<Width::Word>(*p1, *p2));
}

void UBgl_Op::execute(CPU& c) {
    const bool enabled = c.CurrentStack() != 0;
    c.replaceTop(enabled ? equal<Width::Byte>(*p1, *p2) : 0);
}

} // namespace kvx
