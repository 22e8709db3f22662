// The 27 instructions of the instruction list, one class per mnemonic. `=` is spelled `gl`
// in class names. CPU::parserCommand (declared in core/cpu.h) creates them from a line's text.
//
// Contract shared by all of them:
// - check() validates the operands once, at load time, and throws CPUException with the
//   message of the first rule that fails. execute() may only be called on an instruction
//   whose check() passed; it raises nothing of its own, only what the stack, the memory
//   areas and the operands raise.
// - Stack entries are read and written only through CPU::push, CPU::pop and
//   CPU::CurrentStack, so an instruction that takes more entries than its network pushed
//   reads zeros below the bottom and never reaches outside the stack.
// - The pop / keep / push counts describe the instruction; nothing enforces them.
#pragma once

#include "core/program.h"

namespace kvx {

class CPU;

// The constant answers and the two per-class operations, identical in shape for every
// instruction; only the values differ.
#define KVX_INSTRUCTION(NAME, SINGLE, POP, KEEP, PUSH)                                             \
public:                                                                                            \
    using Operation::Operation;                                                                    \
    void execute(CPU& c) override;                                                                 \
    void check() const override;                                                                   \
    int IsSingleType() const noexcept override {                                                   \
        return SINGLE;                                                                             \
    }                                                                                              \
    const char* getName() const noexcept override {                                                \
        return NAME;                                                                               \
    }                                                                                              \
    int getPopCount() const noexcept override {                                                    \
        return POP;                                                                                \
    }                                                                                              \
    int getKeepCount() const noexcept override {                                                   \
        return KEEP;                                                                               \
    }                                                                                              \
    int getPushCount() const noexcept override {                                                   \
        return PUSH;                                                                               \
    }

// ---- bit logic ----------------------------------------------------------------------------

// Pushes the operand's bit.
class LD_Op final : public Operation {
    KVX_INSTRUCTION("LD", 0, 0, 0, 1)
};

// Pushes the inverted operand bit.
class LDN_Op final : public Operation {
    KVX_INSTRUCTION("LDN", 0, 0, 0, 1)
};

// AND of the top with the operand bit; the operand is read only when the top is 1.
class U_Op final : public Operation {
    KVX_INSTRUCTION("U", 0, 1, 0, 1)
};

// AND of the top with the inverted operand bit; read only when the top is 1.
class UN_Op final : public Operation {
    KVX_INSTRUCTION("UN", 0, 1, 0, 1)
};

// OR of the top with the operand bit; the operand is read only when the top is 0.
class O_Op final : public Operation {
    KVX_INSTRUCTION("O", 0, 1, 0, 1)
};

// OR of the top with the inverted operand bit; read only when the top is 0.
class ON_Op final : public Operation {
    KVX_INSTRUCTION("ON", 0, 1, 0, 1)
};

// Replaces the two top entries by their AND.
class ULD_Op final : public Operation {
    KVX_INSTRUCTION("ULD", 0, 2, 0, 1)
};

// Replaces the two top entries by their OR.
class OLD_Op final : public Operation {
    KVX_INSTRUCTION("OLD", 0, 2, 0, 1)
};

// Inverts the top.
class NOT_Op final : public Operation {
    KVX_INSTRUCTION("NOT", 0, 1, 0, 1)
};

// Duplicates the top: saves the value at a branch point.
class LPS_Op final : public Operation {
    KVX_INSTRUCTION("LPS", 0, 1, 0, 2)
};

// Replaces the top by a copy of the entry below it: restores the branch value, keeping it.
class LRD_Op final : public Operation {
    KVX_INSTRUCTION("LRD", 0, 1, 0, 1)
};

// Drops the top: restores the branch value for the last branch.
class LPP_Op final : public Operation {
    KVX_INSTRUCTION("LPP", 0, 1, 0, 0)
};

// Replaces the top by 1 when it rose from 0 since this instruction last ran, else by 0.
class EU_Op final : public Operation {
    KVX_INSTRUCTION("EU", 0, 1, 0, 1)
    void reset() noexcept override { last = 0; }

private:
    int last = 0;
};

// Replaces the top by 1 when it fell from 1 since this instruction last ran, else by 0.
class ED_Op final : public Operation {
    KVX_INSTRUCTION("ED", 0, 1, 0, 1)
    void reset() noexcept override { last = 0; }

private:
    int last = 0;
};

// Writes the top to the operand bit, 0 or 1, at every execution.
class gl_Op final : public Operation {
    KVX_INSTRUCTION("=", 0, 0, 1, 0)
};

// While the top is 1: sets as many bits from the operand upward as the low byte of the
// count constant says.
class S_Op final : public Operation {
    KVX_INSTRUCTION("S", 0, 0, 1, 0)
};

// While the top is 1: clears a bit range like S does, or resets a timer operand.
class R_Op final : public Operation {
    KVX_INSTRUCTION("R", 0, 0, 1, 0)
};

// ---- sequence control ---------------------------------------------------------------------

// Opens the segment guarded by an S bit: the segment is active while that bit is 1.
class LSCR_Op final : public Operation {
    KVX_INSTRUCTION("LSCR", 0, 0, 0, 0)
};

// While the top is 1: hands control from the current segment's step to its own S bit and
// skips the rest of the segment in this scan.
class SCRT_Op final : public Operation {
    KVX_INSTRUCTION("SCRT", 0, 0, 1, 0)
};

// Closes the segment; the one instruction that runs inside an inactive segment too.
class SCRE_Op final : public Operation {
    KVX_INSTRUCTION("SCRE", 1, 0, 0, 0)
};

// ---- byte and word ------------------------------------------------------------------------

// While the top is 1: copies the first operand's byte into the second.
class MOVB_Op final : public Operation {
    KVX_INSTRUCTION("MOVB", 0, 0, 1, 0)
};

// While the top is 1: copies the first operand's word into the second.
class MOVW_Op final : public Operation {
    KVX_INSTRUCTION("MOVW", 0, 0, 1, 0)
};

// While the top is 1: second byte := first byte XOR second byte (second read first).
class XORB_Op final : public Operation {
    KVX_INSTRUCTION("XORB", 0, 0, 1, 0)
};

// Pushes 1 when the two words are equal, else 0.
class LDWgl_Op final : public Operation {
    KVX_INSTRUCTION("LDW=", 0, 0, 0, 1)
};

// AND of the top with "the two bytes are equal"; the bytes are read only when the top is 1.
class UBgl_Op final : public Operation {
    KVX_INSTRUCTION("UB=", 0, 1, 0, 1)
};

// ---- timers and counters ------------------------------------------------------------------

// On-delay timer, enabled by the top: counts whole time-base intervals while enabled and is
// cleared at once when not. The preset is taken at every execution.
class TON_Op final : public Operation {
    KVX_INSTRUCTION("TON", 0, 0, 1, 0)
};

// Up/down counter on the three top entries (from the top: count up, count down, reset),
// which it leaves in place. Reset, then the up edge, then the down edge apply in one
// execution; the edges are against this instruction's previous execution.
class ZVR_Op final : public Operation {
    KVX_INSTRUCTION("ZVR", 0, 0, 3, 0)
    void reset() noexcept override { up = down = 0; }

private:
    int up = 0;
    int down = 0;
};

#undef KVX_INSTRUCTION

} // namespace kvx
