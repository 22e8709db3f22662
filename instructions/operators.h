// The 27 instructions of the instruction list, one class per mnemonic. `=` is spelled `gl`
// in class names. CPU::parserCommand (declared in core/cpu.h) creates them from a line's text.
//
// Adding an instruction touches three places, and the compiler or linker names any that is
// missing:
// 1. a row in the table of instructions/instruction_table.cpp: class, mnemonic, stack effect,
//    operand column and load-time rules; the row defines check(), the constant answers and
//    the factory that parserCommand uses;
// 2. the class below, declared with KVX_INSTRUCTION (plus any memory it keeps, with reset());
// 3. its execute() beside those of its family (bit_logic.cpp, sequence_control.cpp,
//    byte_word.cpp, timer_counter.cpp).
// The listing, the trace and the loader need nothing more.
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

// What every instruction class declares; the values come from its row of the instruction
// table, the execute() body from its family's source file.
#define KVX_INSTRUCTION                                                                            \
public:                                                                                            \
    using Operation::Operation;                                                                    \
    void execute(CPU& c) override;                                                                 \
    void check() const override;                                                                   \
    int IsSingleType() const noexcept override;                                                    \
    const char* getName() const noexcept override;                                                 \
    int getPopCount() const noexcept override;                                                     \
    int getKeepCount() const noexcept override;                                                    \
    int getPushCount() const noexcept override;                                                    \
    const InstructionRow* row() const noexcept override;

// ---- bit logic ----------------------------------------------------------------------------

// Pushes the operand's bit.
class LD_Op final : public Operation {
    KVX_INSTRUCTION
};

// Pushes the inverted operand bit.
class LDN_Op final : public Operation {
    KVX_INSTRUCTION
};

// AND of the top with the operand bit; the operand is read only when the top is 1.
class U_Op final : public Operation {
    KVX_INSTRUCTION
};

// AND of the top with the inverted operand bit; read only when the top is 1.
class UN_Op final : public Operation {
    KVX_INSTRUCTION
};

// OR of the top with the operand bit; the operand is read only when the top is 0.
class O_Op final : public Operation {
    KVX_INSTRUCTION
};

// OR of the top with the inverted operand bit; read only when the top is 0.
class ON_Op final : public Operation {
    KVX_INSTRUCTION
};

// Replaces the two top entries by their AND.
class ULD_Op final : public Operation {
    KVX_INSTRUCTION
};

// Replaces the two top entries by their OR.
class OLD_Op final : public Operation {
    KVX_INSTRUCTION
};

// Inverts the top.
class NOT_Op final : public Operation {
    KVX_INSTRUCTION
};

// Duplicates the top: saves the value at a branch point.
class LPS_Op final : public Operation {
    KVX_INSTRUCTION
};

// Replaces the top by a copy of the entry below it: restores the branch value, keeping it.
class LRD_Op final : public Operation {
    KVX_INSTRUCTION
};

// Drops the top: restores the branch value for the last branch.
class LPP_Op final : public Operation {
    KVX_INSTRUCTION
};

// Replaces the top by 1 when it rose from 0 since this instruction last ran, else by 0.
class EU_Op final : public Operation {
    KVX_INSTRUCTION
    void reset() noexcept override { last = 0; }
    // The decoded scan works on the same memory, so both scan paths see one edge history.
    int& memory() noexcept { return last; }

private:
    int last = 0;
};

// Replaces the top by 1 when it fell from 1 since this instruction last ran, else by 0.
class ED_Op final : public Operation {
    KVX_INSTRUCTION
    void reset() noexcept override { last = 0; }
    int& memory() noexcept { return last; }

private:
    int last = 0;
};

// Writes the top to the operand bit, 0 or 1, at every execution.
class gl_Op final : public Operation {
    KVX_INSTRUCTION
};

// While the top is 1: sets as many bits from the operand upward as the low byte of the
// count constant says.
class S_Op final : public Operation {
    KVX_INSTRUCTION
};

// While the top is 1: clears a bit range like S does, or resets a timer operand.
class R_Op final : public Operation {
    KVX_INSTRUCTION
};

// ---- sequence control ---------------------------------------------------------------------

// Opens the segment guarded by an S bit: the segment is active while that bit is 1.
class LSCR_Op final : public Operation {
    KVX_INSTRUCTION
};

// While the top is 1: hands control from the current segment's step to its own S bit and
// skips the rest of the segment in this scan.
class SCRT_Op final : public Operation {
    KVX_INSTRUCTION
};

// Closes the segment; the one instruction that runs inside an inactive segment too.
class SCRE_Op final : public Operation {
    KVX_INSTRUCTION
};

// ---- byte and word ------------------------------------------------------------------------

// While the top is 1: copies the first operand's byte into the second.
class MOVB_Op final : public Operation {
    KVX_INSTRUCTION
};

// While the top is 1: copies the first operand's word into the second.
class MOVW_Op final : public Operation {
    KVX_INSTRUCTION
};

// While the top is 1: second byte := first byte XOR second byte (second read first).
class XORB_Op final : public Operation {
    KVX_INSTRUCTION
};

// Pushes 1 when the two words are equal, else 0.
class LDWgl_Op final : public Operation {
    KVX_INSTRUCTION
};

// AND of the top with "the two bytes are equal"; the bytes are read only when the top is 1.
class UBgl_Op final : public Operation {
    KVX_INSTRUCTION
};

// ---- timers and counters ------------------------------------------------------------------

// On-delay timer, enabled by the top: counts whole time-base intervals while enabled and is
// cleared at once when not. The preset is taken at every execution.
class TON_Op final : public Operation {
    KVX_INSTRUCTION
};

// Up/down counter on the three top entries (from the top: count up, count down, reset),
// which it leaves in place. Reset, then the up edge, then the down edge apply in one
// execution; the edges are against this instruction's previous execution.
class ZVR_Op final : public Operation {
    KVX_INSTRUCTION
    void reset() noexcept override { up = down = 0; }

private:
    int up = 0;
    int down = 0;
};

#undef KVX_INSTRUCTION

} // namespace kvx
