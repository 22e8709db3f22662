// The installed program decoded for the scan: one flat array of compact steps with their
// operands resolved to byte addresses, timers and constants, so a scan runs through contiguous
// memory with the logic stack's top in a register. Every scan runs it, observed or not. Each
// step is one switch, or, where a trial finds it quicker, a stretch of bit logic runs from the
// steps' truth tables (core/truth_table.h) without a branch.
//
// The program tree stays the program's definition: the listing reads it, every observer is
// given its nodes, and an instruction whose operands cannot be resolved at install time (an
// address beyond its area, a class without a row in the instruction table) is a step that calls the
// tree's own execute(), so it raises the same error at the same point. Timers and counters
// resolve to their numbers; other operands that resolve to no byte address but cannot fault
// (timer and counter words, constants read as bits) run the instruction's behaviour on the
// operand objects, with the stack in registers. All run the instruction's one behaviour
// (instructions/machine.h). Instruction memories (edge detectors, counters' inputs) stay in
// the tree's objects, which the steps point to.
#pragma once

#include <cstdint>
#include <vector>

namespace kvx {

// The kinds of decoded steps. An instruction's row in the instruction table names its kind.
namespace step {
enum Kind : std::uint8_t {
    // Bit logic, from Ld to Lpp, first: the scan runs these from their truth tables, which
    // it finds by the kind alone. Area, addr and
    // mask are the bit.
    Ld,
    Ldn,
    And,
    AndNot,
    Or,
    OrNot,
    Assign,
    Set1,
    Reset1,
    // On the stack alone: area is the scratch area and mask 0, so the bit is read as 0 and
    // written unchanged.
    AndBlock,
    OrBlock,
    Not,
    Lps,
    Lrd,
    Lpp,
    BlockStart,
    NetworkStart,
    End,
    // Empty lines at the end of a network, for the 1 ms rule only.
    Nop,
    // Calls the tree's execute(): addr and aux are the index of the Operation.
    Tree,
    // Runs the instruction's behaviour on its operand objects, which cannot fault, with the
    // stack in registers: addr and aux are the index of the instruction.
    Resolved,
    // The same, for a class that runs in an inactive segment.
    TreeSingle,
    // A range of bits within the area from the bit that area, addr and mask name; aux is the
    // count.
    SetRange,
    ResetRange,
    // R of a timer: addr is its number.
    ResetTimer,
    // addr and aux are the index of the instruction's edge memory.
    RisingEdge,
    FallingEdge,
    // area, addr and mask are the step bit; aux (LSCR only) the index of its operand.
    Lscr,
    Scrt,
    Scre,
    // area and addr are the first operand's first byte, mask and aux the second's; constants
    // are an area of their own.
    MoveByte,
    MoveWord,
    XorByte,
    LoadWordEqual,
    AndByteEqual,
    // addr is the timer's number, mask and aux the preset's first byte.
    OnDelay,
    // ZVR: area is the counter's number, addr the index of its inputs' memory, mask and aux
    // the preset's first byte.
    UpDownCounter,
    // Ld to OrNot on the bit of a timer (area 0) or counter (area 1) numbered addr, in the
    // order of theirs.
    LdActive,
    LdnActive,
    AndActive,
    AndNotActive,
    OrActive,
    OrNotActive,
};
} // namespace step

namespace op {
struct CounterInputs;
struct EdgeMemory;
} // namespace op

struct Block;
class CPU;
class Counter;
class DecodedMachine;
class HaltCheck;
class Operation;
class Parameter;
class ScanObserver;
struct HaltedScan;
struct OpList;

class DecodedProgram final {
public:
    // `program` must stay installed in `cpu` as long as this form lives.
    DecodedProgram(const Block* program, CPU& cpu);
    DecodedProgram(const DecodedProgram&) = delete;
    DecodedProgram& operator=(const DecodedProgram&) = delete;

    // The organization blocks of one scan, one after the other; `phase` is the 1 ms phase,
    // carried from block to block. `observer`, if given, is told about every instruction node.
    void run(CPU& cpu, std::uint32_t& phase, ScanObserver* observer) const;
    // The same scan, halting: runs from `at` (HaltedScan{0, phase, 0} begins the scan) until
    // the scan ends (false; `at.phase` is then the phase) or `halt` stops it before an
    // instruction (true; `at` is where it stands, the CPU's stack as the instructions before
    // left it). When `resuming`, the instruction at `at` runs without asking `halt` again.
    bool run(CPU& cpu, HaltedScan& at, bool resuming, ScanObserver* observer,
             HaltCheck& halt) const;
    // The instruction node of the step at `at`; null past the last instruction.
    const OpList* nodeAt(const HaltedScan& at) const;

    // How a plain scan runs bit logic: through the one switch, whose jump the branch predictor
    // learns in a program short enough, or from the truth tables (core/truth_table.h), which
    // cost the same whatever order the kinds come in. Both leave the same state; a program with
    // bit logic tries each on its first plain scans and keeps the quicker, and tries again now
    // and then, so that a moment when the machine was busy does not decide for good. Observed
    // and halting scans always go through the switch.
    enum class Form : std::uint8_t { Trying, Switch, Tables };
    Form form() const noexcept { return trial.form; }
    // Ends the trial with `form` (Switch or Tables) for good: for tests and comparisons.
    void keepForm(Form form) const noexcept {
        trial.form = form;
        trial.fixed = true;
    }
    // The trial: blocks of plain scans, each form's in turn; it starts again after this many
    // plain scans in the form it kept.
    static constexpr int TrialBlock = 32;
    static constexpr int TrialBlocks = 6;
    static constexpr std::uint32_t TrialAgainAfter = 4096;

    // Steps, including the block, network and end markers; for tests and statistics.
    std::size_t size() const noexcept { return steps.size() - 1; }
    // Steps that call the tree's execute() instead of running decoded.
    std::size_t treeSteps() const noexcept;

    // Eight bytes, so that a scan of a program far larger than the caches streams as little
    // as possible. Memory operands are an area number and a byte address; what does not fit
    // (the tree's instruction, an edge memory, the step bit's operand) is an index into a side
    // table that only those steps read.
    struct Step {
        std::uint8_t kind;
        // Nodes of the tree this step stands for in the 1 ms rule: the instruction and the
        // empty lines before it in its network; 0 for the markers. Where plain scans count
        // nodes only where they can show, the nodes carried to this step (deferTicks()).
        std::uint8_t ticks;
        // The bit of a bit operand; the second operand's area where there are two.
        std::uint8_t mask;
        // The area of the (first) operand.
        std::uint8_t area;
        std::uint16_t addr;
        std::uint16_t aux;
    };

private:
    template <bool Halting, bool Observed, bool Tables = false>
    bool scan(CPU& cpu, HaltedScan& at, bool resuming, ScanObserver* observer,
              HaltCheck* halt) const;

    // Instruction steps from the first to `step`, inclusive.
    std::uint64_t executedUpTo(const Step* step) const noexcept;

    const Block* program;
    // The steps, then a copy of the end marker that no scan reaches: the threaded scan reads the
    // kind of the step after the one it jumps to.
    std::vector<Step> steps;
    std::uint64_t instructionSteps = 0;
    // The tree's node of every step, null for the markers: read only by an observed scan and
    // to locate a fault, so it is built the first time one asks, and a program that only runs
    // does without its eight bytes a step.
    mutable std::vector<const OpList*> nodes;
    // The nodes of the 1 ms rule as the tree counts them, per step: what observed and halting
    // scans count. Built with the node index.
    mutable std::vector<std::uint8_t> exactTicks;
    const std::vector<const OpList*>& nodeIndex() const;
    // Whether plain scans count nodes only where the count can show (deferTicks()).
    bool deferred = false;
    bool deferTicks() noexcept;
    // Side tables: tree and resolved instructions, edge memories, step-bit operands.
    std::vector<Operation*> operations;
    std::vector<op::EdgeMemory*> memories;
    std::vector<op::CounterInputs*> counterInputs;
    std::vector<Parameter*> stepBits;
    struct Resolver {
        void (*run)(DecodedMachine&, Operation&);
        Operation* op;
    };
    std::vector<Resolver> resolvers;
    static void runResolved(const Resolver& r, CPU& cpu);
    static int activeBit(const CPU& cpu, std::uint16_t no, bool counter);
    static Counter& counterOf(CPU& cpu, std::uint8_t no);
    // Constant operands as big-endian byte pairs, read like a memory area.
    std::vector<std::uint8_t> constants;

    // How the trial of the two forms stands: the quickest time per instruction each has
    // taken. Changing it changes no result, so a const scan may.
    struct Trial {
        Form form = Form::Trying;
        // No trial again: the forms are one, or a test chose.
        bool fixed = false;
        // Plain scans since the trial ended.
        std::uint32_t kept = 0;
        int scans = 0;
        // The timed half of the current block so far.
        double seconds = 0;
        std::uint64_t ran = 0;
        double best[2] = {0, 0};
    };
    mutable Trial trial;
    void tryForms(CPU& cpu, std::uint32_t& phase) const;
    void plainScan(CPU& cpu, HaltedScan& at, bool tables) const;
};

} // namespace kvx
