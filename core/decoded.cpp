#include "core/decoded.h"

#include <algorithm>
#include <array>
#include <optional>
#include <typeinfo>
#include <unordered_map>
#include <utility>

#include "core/common.h"
#include "core/cpu.h"
#include "core/decoded_machine.h"
#include "core/observer.h"
#include "core/timer.h"
#include "instructions/instruction_table.h"
#include "instructions/machine.h"
#include "instructions/operand_access.h"
#include "instructions/operators.h"
#include "operands/parameter.h"

namespace kvx {

namespace {

using Step = DecodedProgram::Step;

using namespace step;

constexpr int MsNodes = 33;

// The areas a step names: the CPU's six, then the constants.
constexpr Parameter::ParamClass AreaClasses[] = {Parameter::EType,  Parameter::AType,
                                                 Parameter::MType,  Parameter::VType,
                                                 Parameter::SMType, Parameter::SType};
constexpr std::uint8_t ConstantArea = 6;
constexpr std::size_t Areas = 7;

bool isInstruction(std::uint8_t kind) noexcept {
    return kind != BlockStart && kind != NetworkStart && kind != End && kind != Nop;
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

DecodedProgram::DecodedProgram(const Block* root, CPU& cpu) : program(root) {
    std::size_t count = 1;
    for (const Block* block = program; block != nullptr; block = block->Next.get()) {
        if (block->Type != Block::Organization) {
            continue;
        }
        ++count;
        for (const Network* net = block->Networks.get(); net != nullptr; net = net->Next.get()) {
            // its start, its trailing empty lines, and at most one step per node
            count += 2;
            for (const OpList* node = net->Ops.get(); node != nullptr; node = node->Next.get()) {
                ++count;
            }
        }
    }
    steps.reserve(count);

    Decoder decoder(cpu, constants);
    const Tables tables{operations, memories, stepBits};
    nodes.reserve(count);
    const auto marker = [this](std::uint8_t kind, std::uint8_t ticks = 0) {
        steps.push_back({kind, ticks, 0, 0, 0, 0, 0});
        nodes.push_back(nullptr);
    };
    for (const Block* block = program; block != nullptr; block = block->Next.get()) {
        if (block->Type != Block::Organization) {
            continue;
        }
        marker(BlockStart);
        for (const Network* net = block->Networks.get(); net != nullptr; net = net->Next.get()) {
            marker(NetworkStart);
            // Bounds of the stack pointer relative to the network start, which pushes 1 when a
            // segment is open. Nothing moves it by other than its class's effect (a fault ends
            // the scan) but a skip over an inactive segment: one that starts at the network
            // start or after LSCR or SCRT leaves the pointer as it was there until the next
            // SCRE. An unknown class makes both unknown.
            Depth depth;
            unsigned pending = 0;
            for (const OpList* node = net->Ops.get(); node != nullptr; node = node->Next.get()) {
                ++pending;
                Operation* op = node->Op.get();
                if (op == nullptr) {
                    if (pending == 255) {
                        marker(Nop, 255);
                        pending = 0;
                    }
                    continue;
                }
                const Shape shape = shapeOf(*op);
                Step s{shape.kind, static_cast<std::uint8_t>(pending), 0, 0, 0, 0, 0};
                pending = 0;
                const bool single = op->IsSingleType() != 0;
                // A decoded step checks nothing: the stack must stay within its slots, with
                // or without the open segment's entry, and an unknown class must not be
                // mistaken for one that runs in an inactive segment.
                const bool singleFits = (shape.kind == Scre) == single;
                bool decodes = shape.kind != Tree && depth.fits(shape) && singleFits;
                if (decodes && !resolve(s, *op, decoder, tables)) {
                    decodes = resolvable(shape, *op, decoder);
                    if (decodes) {
                        s = Step{Resolved, s.ticks, 0, 0, 0, 0, 0};
                        setIndex(s, static_cast<std::uint32_t>(resolvers.size()));
                        resolvers.push_back({op->row()->resolved, op});
                    }
                }
                if (!decodes) {
                    const Kind tree = single ? TreeSingle : Tree;
                    s = Step{tree, s.ticks, 0, 0, 0, 0, 0};
                    setIndex(s, static_cast<std::uint32_t>(operations.size()));
                    operations.push_back(op);
                }
                steps.push_back(s);
                nodes.push_back(node);
                ++instructionSteps;
                depth.after(shape);
            }
            if (pending != 0) {
                marker(Nop, static_cast<std::uint8_t>(pending));
            }
        }
    }
    marker(End);
    constants.shrink_to_fit();
    link(cpu);
}

std::uint64_t DecodedProgram::executedUpTo(const Step* step) const noexcept {
    std::uint64_t n = 0;
    for (const Step* s = steps.data(); s <= step; ++s) {
        n += isInstruction(s->kind) ? 1 : 0;
    }
    return n;
}

namespace {

using decoded::BitAt;
using decoded::BitCount;
using decoded::NoOperand;
using decoded::OneBit;
using decoded::StepAt;
using decoded::TimerNo;

} // namespace

// Out of line, on the CPU's own stack: a call that took the scan's registers by reference
// would keep the stack pointer and the top out of them for every other step.
void DecodedProgram::runResolved(const Resolver& r, CPU& cpu) {
    int top = cpu.stackAt(cpu.sp);
    DecodedMachine m(cpu, cpu.stack, cpu.sp, top);
    r.run(m, *r.op);
    if (cpu.sp >= 0) {
        cpu.stack[static_cast<std::size_t>(cpu.sp)] = top;
    }
}

// The scan keeps the stack pointer and the top of the stack in registers, which the decoded
// machine works on; the top is written back whenever something else may look at the stack: a
// tree step, a network start, the end of the scan and a fault. Decoded steps raise nothing;
// only tree steps and SCRT's clearing of the previous step can raise.
//
// An attached observer is a test after each executed step, as cheap as a flag while none is
// attached; it sees the step's node of the tree and the CPU after the instruction, with the top
// written back.
void DecodedProgram::run(CPU& cpu, std::uint32_t& phase, ScanObserver* observer) const {
    HaltedScan at{0, phase, 0};
    scan<false>(cpu, at, false, observer, nullptr, nullptr);
    phase = at.phase;
}

void DecodedProgram::link(CPU& cpu) {
    HaltedScan at;
    scan<false>(cpu, at, false, nullptr, nullptr, steps.data());
}

bool DecodedProgram::run(CPU& cpu, HaltedScan& at, bool resuming, ScanObserver* observer,
                         HaltCheck& halt) const {
    return scan<true>(cpu, at, resuming, observer, &halt, nullptr);
}

const OpList* DecodedProgram::nodeAt(const HaltedScan& at) const noexcept {
    return at.step < nodes.size() ? nodes[at.step] : nullptr;
}

// Every step kind in the order of its number, for the table of handlers.
#define KVX_STEP_KINDS(X)                                                                          \
    X(BlockStart)                                                                                  \
    X(NetworkStart)                                                                                \
    X(End)                                                                                         \
    X(Nop)                                                                                         \
    X(Tree)                                                                                        \
    X(Resolved)                                                                                    \
    X(TreeSingle)                                                                                  \
    X(Ld)                                                                                          \
    X(Ldn)                                                                                         \
    X(And)                                                                                         \
    X(AndNot)                                                                                      \
    X(Or)                                                                                          \
    X(OrNot)                                                                                       \
    X(Assign)                                                                                      \
    X(Set1)                                                                                        \
    X(Reset1)                                                                                      \
    X(SetRange)                                                                                    \
    X(ResetRange)                                                                                  \
    X(AndBlock)                                                                                    \
    X(OrBlock)                                                                                     \
    X(Not)                                                                                         \
    X(Lps)                                                                                         \
    X(Lrd)                                                                                         \
    X(Lpp)                                                                                         \
    X(RisingEdge)                                                                                  \
    X(FallingEdge)                                                                                 \
    X(Lscr)                                                                                        \
    X(Scrt)                                                                                        \
    X(Scre)                                                                                        \
    X(MoveByte)                                                                                    \
    X(MoveWord)                                                                                    \
    X(XorByte)                                                                                     \
    X(LoadWordEqual)                                                                               \
    X(AndByteEqual)                                                                                \
    X(OnDelay)

namespace {
#define KVX_KIND_NUMBER(kind) kind,
constexpr Kind KindOrder[] = {KVX_STEP_KINDS(KVX_KIND_NUMBER)};
#undef KVX_KIND_NUMBER
constexpr bool numbered() noexcept {
    for (std::size_t k = 0; k < std::size(KindOrder); ++k) {
        if (KindOrder[k] != k) {
            return false;
        }
    }
    return KindOrder[std::size(KindOrder) - 1] == OnDelay;
}
static_assert(numbered(), "the handler table must list every step kind in order");
} // namespace

// The steps that run one behaviour of the instruction table on their operands, are observed
// and go on with the next step; the scan below expands each into its handler.
#define KVX_BEHAVIOUR_STEPS(X)                                                                     \
    X(Ld, op::Ld::run(m, bitAt(*s), none))                                                         \
    X(Ldn, op::Ldn::run(m, bitAt(*s), none))                                                       \
    X(And, op::And::run(m, bitAt(*s), none))                                                       \
    X(AndNot, op::AndNot::run(m, bitAt(*s), none))                                                 \
    X(Or, op::Or::run(m, bitAt(*s), none))                                                         \
    X(OrNot, op::OrNot::run(m, bitAt(*s), none))                                                   \
    X(Assign, op::Assign::run(m, bitAt(*s), none))                                                 \
    X(Set1, op::Set::run(m, bitAt(*s), OneBit{}))                                                  \
    X(Reset1, op::Reset::run(m, bitAt(*s), OneBit{}))                                              \
    X(SetRange, op::Set::run(m, bitAt(*s), BitCount{s->aux}))                                      \
    X(ResetRange, op::Reset::run(m, bitAt(*s), BitCount{s->aux}))                                  \
    X(AndBlock, op::AndBlock::run(m, none, none))                                                  \
    X(OrBlock, op::OrBlock::run(m, none, none))                                                    \
    X(Not, op::Not::run(m, none, none))                                                            \
    X(Lps, op::Lps::run(m, none, none))                                                            \
    X(Lrd, op::Lrd::run(m, none, none))                                                            \
    X(Lpp, op::Lpp::run(m, none, none))                                                            \
    X(RisingEdge, op::RisingEdge::run(m, none, none, *memories[index(*s)]))                        \
    X(FallingEdge, op::FallingEdge::run(m, none, none, *memories[index(*s)]))                      \
    X(Scre, op::Scre::run(m, none, none))                                                          \
    X(MoveByte, op::MoveByte::run(m, first(*s), second(*s)))                                       \
    X(MoveWord, op::MoveWord::run(m, first(*s), second(*s)))                                       \
    X(XorByte, op::XorByte::run(m, first(*s), second(*s)))                                         \
    X(LoadWordEqual, op::LoadWordEqual::run(m, first(*s), second(*s)))                             \
    X(AndByteEqual, op::AndByteEqual::run(m, first(*s), second(*s)))                               \
    X(OnDelay, op::OnDelay::run(m, TimerNo{s->addr}, second(*s)))

// Where the compiler takes the addresses of labels, every handler ends with a jump of its own to
// the next step's handler, so that the processor predicts each from the step before instead of
// one shared jump for all. WebAssembly has no indirect jumps: there the handlers are the cases
// of one switch, which its engines compile to a jump table.
#if defined(__GNUC__) && !defined(__EMSCRIPTEN__) && !defined(KVX_SWITCH_DISPATCH)
#define KVX_THREADED 1
#else
#define KVX_THREADED 0
#endif

#if KVX_THREADED
// Label addresses and computed jumps are a compiler extension.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#define KVX_HANDLER(kind) run_##kind:
#define KVX_HANDLER_ADDRESS(kind) &&run_##kind,
// The plain scan jumps to the handler whose place the step holds; the halting one, compiled
// apart, looks its handler up by the kind.
#define KVX_HANDLERS_BEGIN                                                                         \
    static const void* const handlers[] = {KVX_STEP_KINDS(KVX_HANDLER_ADDRESS)};                   \
    const auto entry = static_cast<const char*>(&&run_BlockStart);                                 \
    if constexpr (!Halting) {                                                                      \
        if (linking != nullptr) {                                                                  \
            for (Step* st = linking; st != linking + steps.size(); ++st) {                         \
                st->handler = static_cast<std::int32_t>(                                           \
                    static_cast<const char*>(handlers[st->kind]) - entry);                         \
            }                                                                                      \
            return false;                                                                          \
        }                                                                                          \
    }                                                                                              \
    KVX_DISPATCH();
#define KVX_HANDLERS_END
// Runs the step that `s` points at. Braces, not a loop around: in the switch form below it is
// the loop's `continue`.
#define KVX_DISPATCH()                                                                             \
    {                                                                                              \
        KVX_ENTER();                                                                               \
        if constexpr (Halting) {                                                                   \
            goto* handlers[s->kind];                                                               \
        } else {                                                                                   \
            goto*(entry + s->handler);                                                             \
        }                                                                                          \
    }
#else
#define KVX_HANDLER(kind) case kind:
// A switch has no handler places to fill in: linking must not run the program.
#define KVX_HANDLERS_BEGIN                                                                         \
    if (linking != nullptr) {                                                                      \
        return false;                                                                              \
    }                                                                                              \
    for (;;) {                                                                                     \
        KVX_ENTER();                                                                               \
        switch (static_cast<Kind>(s->kind)) {
// Only the decoder writes kinds; saying so spares the dispatch a range check.
#define KVX_HANDLERS_END                                                                           \
    default:                                                                                       \
        __builtin_unreachable();                                                                   \
        }                                                                                          \
        }
#define KVX_DISPATCH() continue
#endif
#define KVX_NEXT()                                                                                 \
    {                                                                                              \
        ++s;                                                                                       \
        KVX_DISPATCH();                                                                            \
    }

// The small helpers of the scan below must melt into every handler that uses them: one that
// stayed a call would hold the scan's registers in memory. (GCC and Clang take the attribute of
// a lambda at different places around `noexcept`; right after the parameters, without it, both
// do.)
#if defined(__GNUC__)
#define KVX_INLINE __attribute__((always_inline))
#else
#define KVX_INLINE
#endif

// Every 33rd node is about one millisecond of a real controller.
inline std::uint32_t DecodedProgram::advanced(CPU& cpu, std::uint32_t phase,
                                              std::uint8_t ticks) noexcept {
    phase += ticks;
    if (phase >= MsNodes) [[unlikely]] {
        do {
            phase -= MsNodes;
            cpu.updateTimer1ms();
        } while (phase >= MsNodes);
    }
    return phase;
}

// A halting scan asks before each instruction; the plain one is compiled without the question,
// so a scan without a debugger is the same loop as ever.
template <bool Halting>
bool DecodedProgram::scan(CPU& cpu, HaltedScan& at, bool resuming, ScanObserver* observer,
                          HaltCheck* halt, [[maybe_unused]] Step* linking) const {
    std::uint8_t* base[Areas];
    for (std::size_t k = 0; k < std::size(AreaClasses); ++k) {
        base[k] = cpu.area(AreaClasses[k]).direct(0, 0);
    }
    // Constants are only ever read.
    base[ConstantArea] = const_cast<std::uint8_t*>(constants.data());

    std::uint32_t phase = at.phase;
    // Every instruction step is either run or skipped, so the count of those run needs no
    // register: the skipped ones are counted instead, and only the skip loop does that.
    std::uint64_t skipped = at.skipped;
    // Through the CPU, so that no register holds the stack's address.
    auto& stack = cpu.stack;
    int sp = cpu.sp;
    int top = cpu.stackAt(sp);
    const Step* s = steps.data() + at.step;

    const auto writeBack = [&]() KVX_INLINE {
        if (sp >= 0) {
            stack[sp] = top;
        }
        cpu.sp = sp;
    };
    DecodedMachine m(cpu, stack, sp, top);
    constexpr NoOperand none{};
    const auto first = [&base](const Step& st) KVX_INLINE { return base[st.area] + st.addr; };
    const auto second = [&base](const Step& st) KVX_INLINE { return base[st.mask] + st.aux; };
    const auto bitAt = [&first](const Step& st) KVX_INLINE { return BitAt{first(st), st.mask}; };
    const auto index = [](const Step& st) KVX_INLINE {
        return static_cast<std::size_t>(st.addr) | static_cast<std::size_t>(st.aux) << 16;
    };
    const auto nodeOf = [this](const Step* st) KVX_INLINE {
        return nodes[static_cast<std::size_t>(st - steps.data())];
    };
    const auto observe = [&]() KVX_INLINE {
        if (observer != nullptr) [[unlikely]] {
            writeBack();
            observer->executed(*nodeOf(s), cpu);
        }
    };
    const auto networkStart = [&]() KVX_INLINE {
        writeBack();
        sp = 0;
        top = stack[0];
        if (cpu.scrval != -1) {
            m.push(cpu.scrval);
        }
    };
    // Passes over an inactive segment: every step up to the next one that runs in it (SCRE),
    // or the end of the block, counts for the 1 ms rule only; networks still start.
    const auto skip = [&]() {
        for (++s;; ++s) {
            switch (s->kind) {
            case NetworkStart:
                networkStart();
                continue;
            case Scre:
            case TreeSingle:
            case BlockStart:
            case End:
                return;
            case Nop:
                break;
            default:
                ++skipped;
                if (observer != nullptr) [[unlikely]] {
                    observer->skipped(*nodeOf(s));
                }
                break;
            }
            phase = advanced(cpu, phase, s->ticks);
        }
    };

    // Before each step: the debugger's question and the 1 ms phase. A program far larger than
    // the caches streams its steps from memory.
#define KVX_ENTER()                                                                                \
    do {                                                                                           \
        if constexpr (Halting) {                                                                   \
            if (isInstruction(s->kind) && !std::exchange(resuming, false)) {                       \
                writeBack();                                                                       \
                if (halt->haltBefore(*nodeOf(s), cpu)) {                                           \
                    at = {static_cast<std::size_t>(s - steps.data()), phase, skipped};             \
                    return true;                                                                   \
                }                                                                                  \
            }                                                                                      \
        }                                                                                          \
        __builtin_prefetch(s + 128);                                                               \
        phase = advanced(cpu, phase, s->ticks);                                                    \
    } while (false)
// After a step that may close the segment: an inactive one is passed over up to the step that
// runs in it, which runs next.
#define KVX_NEXT_IN_SEGMENT()                                                                      \
    {                                                                                              \
        if (cpu.scrval == 0) {                                                                     \
            goto pass_segment;                                                                     \
        }                                                                                          \
        KVX_NEXT();                                                                                \
    }

    try {
        KVX_HANDLERS_BEGIN
        KVX_HANDLER(BlockStart)
        cpu.scrval = -1;
        KVX_NEXT();
        KVX_HANDLER(NetworkStart)
        networkStart();
        KVX_NEXT();
        KVX_HANDLER(End)
        writeBack();
        cpu.executed += instructionSteps - skipped;
        at = {0, phase, 0};
        return false;
        KVX_HANDLER(Nop)
        KVX_NEXT();
        KVX_HANDLER(Tree)
        KVX_HANDLER(TreeSingle)
        writeBack();
        operations[index(*s)]->execute(cpu);
        sp = cpu.sp;
        top = cpu.stackAt(sp);
        observe();
        KVX_NEXT_IN_SEGMENT();
        KVX_HANDLER(Resolved)
        writeBack();
        runResolved(resolvers[index(*s)], cpu);
        sp = cpu.sp;
        top = cpu.stackAt(sp);
        observe();
        KVX_NEXT_IN_SEGMENT();
        KVX_HANDLER(Lscr)
        op::Lscr::run(m, StepAt{bitAt(*s), stepBits[s->aux]}, none);
        observe();
        KVX_NEXT_IN_SEGMENT();
        KVX_HANDLER(Scrt)
        // It runs only in an active segment or outside one, so afterwards the segment
        // is inactive exactly when the transition fired.
        op::Scrt::run(m, bitAt(*s), none);
        observe();
        KVX_NEXT_IN_SEGMENT();
#define KVX_BEHAVIOUR_HANDLER(kind, behaviour)                                                     \
    KVX_HANDLER(kind)                                                                              \
    behaviour;                                                                                     \
    observe();                                                                                     \
    KVX_NEXT();
        KVX_BEHAVIOUR_STEPS(KVX_BEHAVIOUR_HANDLER)
#undef KVX_BEHAVIOUR_HANDLER
    // One place for the skip, so that it is compiled once, inline.
    pass_segment:
        skip();
        KVX_DISPATCH();
        KVX_HANDLERS_END
    } catch (const CPUException& error) {
        // A tree step left the CPU's stack as it was when it raised.
        const bool tree = s->kind == Tree || s->kind == TreeSingle;
        if (!tree) {
            writeBack();
        }
        cpu.executed += executedUpTo(s) - skipped;
        const OpList* node = nodeOf(s);
        if (node == nullptr) {
            throw;
        }
        if (observer != nullptr) {
            observer->faulted(*node, cpu);
        }
        throw error.locatedAt(node->Line, node->Op->getName());
    } catch (...) {
        if (s->kind != Tree && s->kind != TreeSingle) {
            writeBack();
        }
        cpu.executed += executedUpTo(s) - skipped;
        throw;
    }
}

#undef KVX_ENTER
#undef KVX_NEXT_IN_SEGMENT
#undef KVX_NEXT
#undef KVX_DISPATCH
#undef KVX_HANDLER
#undef KVX_HANDLER_ADDRESS
#undef KVX_HANDLERS_BEGIN
#undef KVX_HANDLERS_END
#undef KVX_INLINE
#if KVX_THREADED
#pragma GCC diagnostic pop
#endif

} // namespace kvx
