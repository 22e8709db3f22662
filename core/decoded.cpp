#include "core/decoded.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <typeinfo>
#include <unordered_map>
#include <utility>

#include "core/common.h"
#include "core/cpu.h"
#include "core/decoded_machine.h"
#include "core/decoded_scan.h"
#include "core/observer.h"
#include "core/timer.h"
#include "core/truth_table.h"
#include "instructions/instruction_table.h"
#include "instructions/machine.h"
#include "instructions/operand_access.h"
#include "instructions/operators.h"
#include "operands/parameter.h"

namespace kvx {

namespace {

using Step = DecodedProgram::Step;

using namespace step;

using namespace scan_detail;

// The steps that read or change a timer, or may raise: a plain scan counts the nodes before
// them, in their ticks, before it runs them. The scan's switch does so in exactly these cases.
bool countsNodes(std::uint8_t kind) noexcept {
    switch (kind) {
    case Tree:
    case TreeSingle:
    case Resolved:
    case OnDelay:
    case ResetTimer:
    case LdActive:
    case LdnActive:
    case AndActive:
    case AndNotActive:
    case OrActive:
    case OrNotActive:
    case Scrt:
        return true;
    default:
        return false;
    }
}

// What the decoder knows of an instruction class: how it moves the stack pointer, how deep the
// stack must be for it to touch only slots 0 and above, and whether it pushes.
struct Shape {
    Kind kind;
    int effect;
    int needs;
    bool pushes;
    bool segment; // LSCR, SCRT, SCRE
};

// What the decoder knows of the stack pointer at a point of a network, relative to the network
// start: bounds while exact knowledge is lost to skips, and those of the points where a skip
// may have begun since the last SCRE (the network start is one).
struct Depth {
    int low = 0;
    int high = 0;
    bool known = true;
    int skipLow = 0;
    int skipHigh = 0;
    bool skipping = true;

    // The stack stays within slot 0 and the limit, whatever way the scan came here.
    bool fits(const Shape& shape) const noexcept {
        return shape.needs < 0 ||
               (known && low >= shape.needs && (!shape.pushes || high + 1 <= CPU::StackLimit));
    }

    void after(const Shape& shape) noexcept {
        if (shape.kind == Tree && shape.segment) {
            known = false;
            return;
        }
        low += shape.effect;
        high += shape.effect;
        if (shape.kind == Lscr || shape.kind == Scrt) {
            skipLow = skipping ? std::min(skipLow, low) : low;
            skipHigh = skipping ? std::max(skipHigh, high) : high;
            skipping = true;
        } else if (shape.kind == Scre && skipping) {
            low = std::min(low, skipLow);
            high = std::max(high, skipHigh);
            skipping = false;
        }
    }
};

} // namespace

std::size_t DecodedProgram::treeSteps() const noexcept {
    std::size_t n = 0;
    for (const Step& s : steps) {
        n += s.kind == Tree || s.kind == TreeSingle ? 1 : 0;
    }
    return n;
}

namespace {

// An operand as a step names it: area number and byte address.
struct Place {
    std::uint8_t area;
    std::uint16_t addr;
};

class Decoder final {
public:
    Decoder(CPU& c, std::vector<std::uint8_t>& pool) : cpu(c), constants(pool) {}

    // A bit operand of this CPU within its area.
    std::optional<Place> bit(const Parameter* p, std::uint8_t& mask) const {
        if (p == nullptr || !isExactly<BitParameter>(*p)) {
            return std::nullopt;
        }
        const auto& b = static_cast<const BitParameter&>(*p);
        mask = static_cast<std::uint8_t>(1u << (b.getBit() & 7));
        return memory(b.getField(), b.getClass(), b.getAddr(), 1);
    }

    // A byte (width 1) or word (width 2) operand that reads without a fault: memory of this
    // CPU within its area, or a constant.
    std::optional<Place> readable(const Parameter* p, int width) {
        if (p != nullptr && isExactly<NumParameter>(*p)) {
            const auto value =
                static_cast<std::uint32_t>(static_cast<const NumParameter&>(*p).getValue());
            const std::uint32_t bytes = width == 1 ? (value & 0xFFu) << 8 : value & 0xFFFFu;
            return constant(bytes);
        }
        return writable(p, width);
    }

    std::optional<Place> writable(const Parameter* p, int width) const {
        if (p == nullptr) {
            return std::nullopt;
        }
        if (width == 1 && isExactly<ByteParameter>(*p)) {
            const auto& byte = static_cast<const ByteParameter&>(*p);
            return memory(byte.getField(), byte.getClass(), byte.getAddr(), 1);
        }
        if (width == 2 && isExactly<WordParameter>(*p)) {
            const auto& word = static_cast<const WordParameter&>(*p);
            return memory(word.getField(), word.getClass(), word.getAddr(), 2);
        }
        return std::nullopt;
    }

    // `count` bits from a bit operand of this CPU upward, all within its area.
    std::optional<Place> range(const Parameter* p, unsigned count, std::uint8_t& mask) const {
        if (p == nullptr || !isExactly<BitParameter>(*p)) {
            return std::nullopt;
        }
        const auto& b = static_cast<const BitParameter&>(*p);
        const int bit = b.getBit() & 7;
        mask = static_cast<std::uint8_t>(1u << bit);
        const int bytes = count == 0 ? 1 : (bit + static_cast<int>(count) - 1) / 8 + 1;
        return memory(b.getField(), b.getClass(), b.getAddr(), bytes);
    }

    // Whether every access that the load-time checks allow on `p` succeeds: timers, counters
    // and constants never fault, memory operands when they lie within this CPU's area. A bit
    // range is never admitted here: a bit operand of this CPU decodes to its own steps.
    bool faultless(const Parameter* p) const {
        if (p == nullptr || isExactly<TimerParameter>(*p) || isExactly<CounterParameter>(*p) ||
            isExactly<NumParameter>(*p)) {
            return true;
        }
        if (isExactly<LongParameter>(*p)) {
            const auto& value = static_cast<const LongParameter&>(*p);
            return memory(value.getField(), value.getClass(), value.getAddr(), 4).has_value();
        }
        std::uint8_t mask = 0;
        return bit(p, mask) || writable(p, 1) || writable(p, 2);
    }

    // The number of a timer or counter of this CPU, and whether it is a counter.
    std::optional<std::pair<int, bool>> activeOf(const Parameter* p) const {
        if (const auto no = timerOf(p)) {
            return std::pair{*no, false};
        }
        if (p == nullptr || !isExactly<CounterParameter>(*p)) {
            return std::nullopt;
        }
        const auto& counter = static_cast<const CounterParameter&>(*p);
        const int no = counter.getNo();
        if (no < 0 || no >= CPU::CounterCount || &cpu.counter(no) != counter.getCounter()) {
            return std::nullopt;
        }
        return std::pair{no, true};
    }

    std::optional<int> timerOf(const Parameter* p) const {
        if (p == nullptr || !isExactly<TimerParameter>(*p)) {
            return std::nullopt;
        }
        const auto& timer = static_cast<const TimerParameter&>(*p);
        const int no = timer.getNo();
        if (no < 0 || no >= CPU::TimerCount || &cpu.timer(no) != timer.getTimer()) {
            return std::nullopt;
        }
        return no;
    }

private:
    // `width` bytes from `addr` of `f`, if `f` is this CPU's area of class `cls` and every
    // access to them succeeds.
    std::optional<Place> memory(MemField* f, Parameter::ParamClass cls, int addr, int width) const {
        for (std::uint8_t k = 0; k < std::size(AreaClasses); ++k) {
            if (AreaClasses[k] == cls && f == &cpu.area(cls) && f->direct(addr, width) != nullptr) {
                return Place{k, static_cast<std::uint16_t>(addr)};
            }
        }
        return std::nullopt;
    }

    // Two bytes of the pool, shared by every operand of the same value.
    std::optional<Place> constant(std::uint32_t bytes) {
        const auto [it, added] =
            offsets.try_emplace(bytes, static_cast<std::uint32_t>(constants.size()));
        if (added) {
            constants.push_back(static_cast<std::uint8_t>(bytes >> 8));
            constants.push_back(static_cast<std::uint8_t>(bytes));
        }
        if (it->second > 0xFFFF) {
            return std::nullopt;
        }
        return Place{ConstantArea, static_cast<std::uint16_t>(it->second)};
    }

    CPU& cpu;
    std::vector<std::uint8_t>& constants;
    std::unordered_map<std::uint32_t, std::uint32_t> offsets;
};

// What the table row says of an instruction; a class without a row may do anything to the
// stack and the segment state, and runs through the tree.
Shape shapeOf(const Operation& op) noexcept {
    const InstructionRow* row = op.row();
    if (row == nullptr) {
        return {Tree, 0, 0, false, true};
    }
    const auto kind = static_cast<Kind>(row->step);
    // An instruction that leaves the stack alone fits at any depth.
    return {kind, row->push - row->pop, row->reach < 0 ? -1000 : row->reach, row->push > row->pop,
            kind == Lscr || kind == Scrt || kind == Scre};
}

// Side tables are indexed by 32 bits (addr and aux) or, beside an operand, by aux alone.
template <typename T>
std::optional<std::uint32_t> append(std::vector<T*>& table, T* entry, std::uint32_t limit) {
    if (table.size() > limit) {
        return std::nullopt;
    }
    table.push_back(entry);
    return static_cast<std::uint32_t>(table.size() - 1);
}

void setIndex(Step& s, std::uint32_t index) noexcept {
    s.addr = static_cast<std::uint16_t>(index);
    s.aux = static_cast<std::uint16_t>(index >> 16);
}

struct Tables {
    std::vector<Operation*>& operations;
    std::vector<op::EdgeMemory*>& memories;
    std::vector<op::CounterInputs*>& counterInputs;
    std::vector<Parameter*>& stepBits;
};

// Fills in the operands of a decodable step; false when they do not resolve, and the step then
// runs through the tree.
bool resolve(Step& s, Operation& op, Decoder& d, const Tables& t) {
    Parameter* first = op.getP1();
    Parameter* second = op.getP2();
    const auto place = [&s](std::optional<Place> p) {
        if (p) {
            s.area = p->area;
            s.addr = p->addr;
        }
        return p.has_value();
    };
    const auto second_ = [&s](std::optional<Place> p) {
        if (p) {
            s.mask = p->area;
            s.aux = p->addr;
        }
        return p.has_value();
    };
    const auto memory = [&s, &t](op::EdgeMemory* m) {
        const auto index = append(t.memories, m, 0xFFFFFFFEu);
        if (index) {
            setIndex(s, *index);
        }
        return index.has_value();
    };
    switch (static_cast<Kind>(s.kind)) {
    case Ld:
    case Ldn:
    case And:
    case AndNot:
    case Or:
    case OrNot:
        if (const auto active = d.activeOf(first)) {
            s.kind = static_cast<std::uint8_t>(LdActive + (s.kind - Ld));
            s.area = active->second ? 1 : 0;
            s.addr = static_cast<std::uint16_t>(active->first);
            return true;
        }
        return place(d.bit(first, s.mask));
    case Assign:
    case Scrt:
        return place(d.bit(first, s.mask));
    case Lscr: {
        if (!place(d.bit(first, s.mask))) {
            return false;
        }
        const auto index = append(t.stepBits, first, 0xFFFE);
        s.aux = static_cast<std::uint16_t>(index.value_or(0));
        return index.has_value();
    }
    case Set1:
    case Reset1: {
        // R of a timer resets it, whatever the count.
        if (const auto no = d.timerOf(first); no && s.kind == Reset1) {
            s.kind = ResetTimer;
            s.addr = static_cast<std::uint16_t>(*no);
            return true;
        }
        // The count is the low byte of the constant; a range of one bit has steps of its own.
        if (second == nullptr || !isExactly<NumParameter>(*second)) {
            return false;
        }
        const auto count =
            static_cast<std::uint8_t>(static_cast<NumParameter&>(*second).getValue());
        if (count != 1) {
            s.kind = s.kind == Set1 ? SetRange : ResetRange;
            s.aux = count;
        }
        return place(d.range(first, count, s.mask));
    }
    case RisingEdge:
        return memory(&static_cast<Instruction<op::RisingEdge>&>(op).memory());
    case FallingEdge:
        return memory(&static_cast<Instruction<op::FallingEdge>&>(op).memory());
    case UpDownCounter: {
        // The counter's number fits in the area, the inputs' index in addr.
        const auto counter = d.activeOf(first);
        if (!counter || !counter->second || counter->first > 0xFF) {
            return false;
        }
        const auto inputs = append(
            t.counterInputs, &static_cast<Instruction<op::UpDownCounter>&>(op).memory(), 0xFFFE);
        if (!inputs) {
            return false;
        }
        s.area = static_cast<std::uint8_t>(counter->first);
        s.addr = static_cast<std::uint16_t>(*inputs);
        return second_(d.readable(second, 2));
    }
    case OnDelay: {
        const auto no = d.timerOf(first);
        s.addr = static_cast<std::uint16_t>(no.value_or(0));
        return no.has_value() && second_(d.readable(second, 2));
    }
    case MoveByte:
    case XorByte:
        return place(d.readable(first, 1)) && second_(d.writable(second, 1));
    case MoveWord:
        return place(d.readable(first, 2)) && second_(d.writable(second, 2));
    case LoadWordEqual:
        return place(d.readable(first, 2)) && second_(d.readable(second, 2));
    case AndByteEqual:
        return place(d.readable(first, 1)) && second_(d.readable(second, 1));
    case Resolved:
        return false;
    default:
        return true;
    }
}

// Whether an instruction whose operands resolve to no byte address may run its behaviour on the
// operand objects: not the segment instructions, which the scan follows by their kinds, and
// only where no access can fault.
bool resolvable(const Shape& shape, const Operation& op, const Decoder& d) {
    if (shape.segment) {
        return false;
    }
    const Parameter* first = op.getP1();
    // A bit operand of a range that did not decode lies beyond its area.
    if ((shape.kind == Set1 || shape.kind == Reset1) && first != nullptr &&
        isExactly<BitParameter>(*first)) {
        return false;
    }
    return d.faultless(first) && d.faultless(op.getP2());
}

} // namespace

namespace {

// Every step of the program in order: `marker(kind, ticks)` for the block, network and end
// markers and the empty lines at the end of a network, `instruction(node, ticks)` for every
// instruction node, with the empty lines before it in its network.
template <typename Marker, typename Instruction>
void forEachStep(const Block* program, Marker&& marker, Instruction&& instruction) {
    for (const Block* block = program; block != nullptr; block = block->Next.get()) {
        if (block->Type != Block::Organization) {
            continue;
        }
        marker(BlockStart, 0);
        for (const Network* net = block->Networks.get(); net != nullptr; net = net->Next.get()) {
            marker(NetworkStart, 0);
            unsigned pending = 0;
            for (const OpList* node = net->Ops.get(); node != nullptr; node = node->Next.get()) {
                ++pending;
                if (node->Op) {
                    instruction(*node, static_cast<std::uint8_t>(pending));
                    pending = 0;
                } else if (pending == 255) {
                    marker(Nop, 255);
                    pending = 0;
                }
            }
            if (pending != 0) {
                marker(Nop, static_cast<std::uint8_t>(pending));
            }
        }
    }
    marker(End, 0);
}

} // namespace

DecodedProgram::DecodedProgram(const Block* root, CPU& cpu) : program(root) {
    std::size_t count = 0;
    forEachStep(
        program, [&count](std::uint8_t, std::uint8_t) { ++count; },
        [&count](const OpList&, std::uint8_t) { ++count; });
    steps.reserve(count + 1);

    Decoder decoder(cpu, constants);
    const Tables tables{operations, memories, counterInputs, stepBits};
    // Bounds of the stack pointer relative to the network start, which pushes 1 when a
    // segment is open. Nothing moves it by other than its class's effect (a fault ends the
    // scan) but a skip over an inactive segment: one that starts at the network start or after
    // LSCR or SCRT leaves the pointer as it was there until the next SCRE. An unknown class
    // makes both unknown.
    Depth depth;
    const auto marker = [this, &depth](std::uint8_t kind, std::uint8_t ticks) {
        steps.push_back({kind, ticks, 0, 0, 0, 0});
        if (kind == NetworkStart) {
            depth = Depth{};
        }
    };
    const auto instruction = [&](const OpList& node, std::uint8_t ticks) {
        Operation* op = node.Op.get();
        const Shape shape = shapeOf(*op);
        Step s{shape.kind, ticks, 0, 0, 0, 0};
        const bool single = op->IsSingleType() != 0;
        // A decoded step checks nothing: the stack must stay within its slots, with or without
        // the open segment's entry, and an unknown class must not be mistaken for one that
        // runs in an inactive segment.
        const bool singleFits = (shape.kind == Scre) == single;
        bool decodes = shape.kind != Tree && depth.fits(shape) && singleFits;
        if (decodes && !resolve(s, *op, decoder, tables)) {
            decodes = resolvable(shape, *op, decoder);
            if (decodes) {
                s = Step{Resolved, s.ticks, 0, 0, 0, 0};
                setIndex(s, static_cast<std::uint32_t>(resolvers.size()));
                resolvers.push_back({op->row()->resolved, op});
            }
        }
        if (decodes && isLogic(s.kind) && s.mask == 0) {
            s.area = ScratchArea;
        }
        if (!decodes) {
            s = Step{static_cast<std::uint8_t>(single ? TreeSingle : Tree), s.ticks, 0, 0, 0, 0};
            setIndex(s, static_cast<std::uint32_t>(operations.size()));
            operations.push_back(op);
        }
        steps.push_back(s);
        ++instructionSteps;
        depth.after(shape);
    };
    forEachStep(program, marker, instruction);
    constants.shrink_to_fit();
    deferred = deferTicks();
    steps.push_back(steps.back());
    // Without bit logic the two forms are one.
    if (std::none_of(steps.begin(), steps.end(), [](const Step& st) { return isLogic(st.kind); })) {
        keepForm(Form::Switch);
    }
}

const std::vector<const OpList*>& DecodedProgram::nodeIndex() const {
    if (nodes.empty()) {
        nodes.reserve(steps.size());
        exactTicks.reserve(steps.size());
        forEachStep(
            program,
            [this](std::uint8_t, std::uint8_t ticks) {
                nodes.push_back(nullptr);
                exactTicks.push_back(ticks);
            },
            [this](const OpList& node, std::uint8_t ticks) {
                nodes.push_back(&node);
                exactTicks.push_back(ticks);
            });
    }
    return nodes;
}

// The 1 ms rule shows only in the timers, which count on from the clock. So a plain scan counts
// nodes only before a step that reads or changes a timer or may raise (after a fault the
// timers stand as the steps before it left them), and at the markers: a count that comes a
// few steps later finds the same timers, and the same clock where the clock stands still
// during a scan (the runner's and the tests'); the window's real milliseconds may pass between.
// Each of these carries the nodes since the one before: an instruction in its ticks, a marker in
// its index. Every step is either run or skipped, and a skip counts what the steps it passes carry,
// so a scan counts the same nodes either way. A network with more than 255 nodes before such an
// instruction keeps the exact counts, and its plain scans run as observed ones without an
// observer.
bool DecodedProgram::deferTicks() noexcept {
    std::uint32_t carry = 0;
    for (const Step& st : steps) {
        carry += st.ticks;
        if (countsNodes(st.kind) && carry > 0xFF) {
            return false;
        }
        carry = carriesNodes(st.kind) || countsNodes(st.kind) ? 0 : carry;
    }
    for (Step& st : steps) {
        carry += st.ticks;
        st.ticks = 0;
        if (carriesNodes(st.kind)) {
            setIndex(st, carry);
            carry = 0;
        } else if (countsNodes(st.kind)) {
            st.ticks = static_cast<std::uint8_t>(carry);
            carry = 0;
        }
    }
    return true;
}

std::uint64_t DecodedProgram::executedUpTo(const Step* step) const noexcept {
    std::uint64_t n = 0;
    for (const Step* s = steps.data(); s <= step; ++s) {
        n += isInstruction(s->kind) ? 1 : 0;
    }
    return n;
}

// These two out of line: inlined, the timers' and counters' range checks crowded the scan's
// registers.
[[gnu::noinline]] int DecodedProgram::activeBit(const CPU& cpu, std::uint16_t no, bool counter) {
    return counter ? cpu.counter(no).IsActive() : cpu.timer(no).IsActive();
}

[[gnu::noinline]] Counter& DecodedProgram::counterOf(CPU& cpu, std::uint8_t no) {
    return cpu.counter(no);
}

// Out of line, on the CPU's own stack: a call that took the scan's registers by reference
// would keep the stack pointer and the top out of them for every other step.
void DecodedProgram::runResolved(const Resolver& r, CPU& cpu) {
    int top = cpu.stackAt(cpu.sp);
    std::ptrdiff_t sp = cpu.sp;
    DecodedMachine m(cpu, cpu.stack, sp, top);
    r.run(m, *r.op);
    cpu.sp = static_cast<int>(sp);
    if (sp >= 0) {
        cpu.stack[static_cast<std::size_t>(sp)] = top;
    }
}

// The plain scan through the switch is compiled in a file of its own (decoded_plain.cpp).
extern template bool DecodedProgram::scan<false, false, false>(CPU&, HaltedScan&, bool,
                                                               ScanObserver*, HaltCheck*) const;

// The scan keeps the stack pointer and the top of the stack in registers, which the decoded
// machine works on; the top is written back whenever something else may look at the stack: a
// tree step, a network start, the end of the scan and a fault. Decoded steps raise nothing;
// only tree steps and SCRT's clearing of the previous step can raise.
//
// A scan without an observer is compiled without the test after each step; an attached one
// sees the step's node of the tree and the CPU after the instruction, with the top
// written back.
void DecodedProgram::run(CPU& cpu, std::uint32_t& phase, ScanObserver* observer) const {
    if (observer == nullptr && deferred && !trial.fixed &&
        (trial.form == Form::Trying || ++trial.kept == TrialAgainAfter)) {
        if (trial.form != Form::Trying) {
            trial = Trial{};
        }
        tryForms(cpu, phase);
        return;
    }
    HaltedScan at{0, phase, 0};
    if (observer != nullptr || !deferred) {
        scan<false, true>(cpu, at, false, observer, nullptr);
    } else {
        plainScan(cpu, at, trial.form == Form::Tables);
    }
    phase = at.phase;
}

void DecodedProgram::plainScan(CPU& cpu, HaltedScan& at, bool tables) const {
    if (tables) {
        scan<false, false, true>(cpu, at, false, nullptr, nullptr);
    } else {
        scan<false, false>(cpu, at, false, nullptr, nullptr);
    }
}

// One plain scan of the trial. The forms take turns in blocks of scans; the first half of a
// block lets the branch predictor learn the program again, which takes it a few scans, and the
// second half is timed, per instruction it ran. A fault leaves the trial where it was.
void DecodedProgram::tryForms(CPU& cpu, std::uint32_t& phase) const {
    using Clock = std::chrono::steady_clock;
    const bool tables = trial.scans / TrialBlock % 2 != 0;
    const int within = trial.scans % TrialBlock;
    const std::uint64_t before = cpu.executedCount();
    const Clock::time_point start = Clock::now();
    HaltedScan at{0, phase, 0};
    plainScan(cpu, at, tables);
    const std::chrono::duration<double> took = Clock::now() - start;
    phase = at.phase;
    if (within >= TrialBlock / 2) {
        trial.seconds += took.count();
        trial.ran += cpu.executedCount() - before;
    }
    if (within == TrialBlock - 1 && trial.ran > 0) {
        double& best = trial.best[tables ? 1 : 0];
        const double perInstruction = trial.seconds / static_cast<double>(trial.ran);
        best = best == 0 || perInstruction < best ? perInstruction : best;
        trial.seconds = 0;
        trial.ran = 0;
    }
    if (++trial.scans == TrialBlock * TrialBlocks) {
        const bool timed = trial.best[0] > 0 && trial.best[1] > 0;
        // The tables must win clearly: where the two are close, timing noise decides.
        trial.form = timed && trial.best[1] < 0.95 * trial.best[0] ? Form::Tables : Form::Switch;
    }
}

bool DecodedProgram::run(CPU& cpu, HaltedScan& at, bool resuming, ScanObserver* observer,
                         HaltCheck& halt) const {
    return scan<true, true>(cpu, at, resuming, observer, &halt);
}

const OpList* DecodedProgram::nodeAt(const HaltedScan& at) const {
    return at.step < size() ? nodeIndex()[at.step] : nullptr;
}

} // namespace kvx
