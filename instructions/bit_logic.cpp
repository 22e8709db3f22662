// Bit logic on the CPU's logic stack: loads, combinations, branches, edges and writes.

#include "core/cpu.h"
#include "instructions/operand_access.h"
#include "instructions/operators.h"
#include "operands/parameter.h"

namespace kvx {

namespace {

int bitOf(const Parameter& p, bool negate) {
    return ((readBitOf(p) != 0) != negate) ? 1 : 0;
}

// AND (`isOr` false) or OR of the top with an operand bit. The operand is read only when
// the top does not already decide, so a faulty operand fails only when it matters.
void combineWithOperand(CPU& c, const Parameter& p, bool isOr, bool negate) {
    const bool top = c.CurrentStack() != 0;
    c.replaceTop(top == isOr ? (top ? 1 : 0) : bitOf(p, negate));
}

void combineTopTwo(CPU& c, bool isOr) {
    const bool a = c.pop() != 0;
    const bool b = c.CurrentStack() != 0;
    c.replaceTop((isOr ? (a || b) : (a && b)) ? 1 : 0);
}

void detectEdge(CPU& c, int& last, bool rising) {
    const int value = c.CurrentStack();
    const bool fired = rising ? (value != 0 && last == 0) : (value == 0 && last != 0);
    c.replaceTop(fired ? 1 : 0);
    last = value;
}

// The count is the low byte of the constant, so 256 writes nothing.
void writeRange(CPU& c, Parameter* first, const Parameter& count, int value) {
    if (c.CurrentStack() == 0) {
        return;
    }
    operandAs<BitParameter>(first).SetBitRange(count.readByte(), value);
}

} // namespace

void LD_Op::execute(CPU& c) {
    c.push(bitOf(*p1, false));
}
void LDN_Op::execute(CPU& c) {
    c.push(bitOf(*p1, true));
}
void U_Op::execute(CPU& c) {
    combineWithOperand(c, *p1, false, false);
}
void UN_Op::execute(CPU& c) {
    combineWithOperand(c, *p1, false, true);
}
void O_Op::execute(CPU& c) {
    combineWithOperand(c, *p1, true, false);
}
void ON_Op::execute(CPU& c) {
    combineWithOperand(c, *p1, true, true);
}

void ULD_Op::execute(CPU& c) {
    combineTopTwo(c, false);
}
void OLD_Op::execute(CPU& c) {
    combineTopTwo(c, true);
}
void NOT_Op::execute(CPU& c) {
    c.replaceTop(c.CurrentStack() == 0 ? 1 : 0);
}

void LPS_Op::execute(CPU& c) {
    c.push(c.CurrentStack());
}
void LRD_Op::execute(CPU& c) {
    c.replaceTop(c.LastCurrentStack());
}
void LPP_Op::execute(CPU& c) {
    c.pop();
}

void EU_Op::execute(CPU& c) {
    detectEdge(c, last, true);
}
void ED_Op::execute(CPU& c) {
    detectEdge(c, last, false);
}

void gl_Op::execute(CPU& c) {
    writeBitOf(*p1, c.CurrentStack());
}
void S_Op::execute(CPU& c) {
    writeRange(c, p1.get(), *p2, 1);
}
void R_Op::execute(CPU& c) {
    if (p1->getClass() != Parameter::TType) {
        writeRange(c, p1.get(), *p2, 0);
        return;
    }
    if (c.CurrentStack() != 0) {
        operandAs<TimerParameter>(p1.get()).getTimer()->reset();
    }
}

} // namespace kvx
