// The installed program decoded for the plain scan: one flat array of compact steps with their
// operands resolved to byte addresses, timers and constants, so a scan runs through contiguous
// memory with one switch per instruction and the logic stack's top in a register.
//
// The program tree stays the program's definition: the listing, the trace and every observer
// walk it, and an instruction whose operands cannot be resolved at install time (an address
// beyond its area, a timer read as a bit, an instruction class the decoder does not know) is a
// step that calls the tree's own execute(), so it raises the same error at the same point.
// Instruction memories (edge detectors, counters' inputs) stay in the tree's objects, which the
// steps point to, so the two paths can take turns from scan to scan.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace kvx {

struct Block;
class CPU;

class DecodedProgram final {
public:
    // `program` must stay installed in `cpu` as long as this form lives.
    DecodedProgram(const Block* program, CPU& cpu);
    DecodedProgram(const DecodedProgram&) = delete;
    DecodedProgram& operator=(const DecodedProgram&) = delete;

    // The organization blocks of one scan, as CPU::runBlock runs them one after the other;
    // `phase` is the 1 ms phase, carried from block to block as there.
    void run(CPU& cpu, std::uint32_t& phase) const;

    // Steps, including the block, network and end markers; for tests and statistics.
    std::size_t size() const noexcept { return steps.size(); }
    // Steps that call the tree's execute() instead of running decoded.
    std::size_t treeSteps() const noexcept;

    struct Step {
        std::uint8_t kind;
        // Nodes of the tree this step stands for in the 1 ms rule: the instruction and the
        // empty lines before it in its network; 0 for the markers.
        std::uint8_t ticks;
        std::uint8_t mask;
        std::uint8_t flags;
        std::int32_t line;
        void* p;
        void* q;
    };

private:
    std::vector<Step> steps;
    // Constant operands as big-endian byte pairs, so that a constant reads like memory. A deque
    // never moves what it holds, and pairs never straddle its blocks.
    std::deque<std::uint8_t> constants;
};

} // namespace kvx
