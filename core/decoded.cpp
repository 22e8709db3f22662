#include "core/decoded.h"

#include <typeinfo>

#include "core/common.h"
#include "core/cpu.h"
#include "core/timer.h"
#include "instructions/operand_access.h"
#include "instructions/operators.h"
#include "operands/parameter.h"

namespace kvx {

namespace {

using Step = DecodedProgram::Step;

enum Kind : std::uint8_t {
    BlockStart,
    NetworkStart,
    End,
    // Empty lines at the end of a network, for the 1 ms rule only.
    Nop,
    // Calls the tree's execute(): p is the Operation.
    Tree,
    // Bit logic: p is the byte, mask the bit.
    Ld,
    Ldn,
    And,
    AndNot,
    Or,
    OrNot,
    Assign,
    Set1,
    Reset1,
    // On the stack alone.
    AndBlock,
    OrBlock,
    Not,
    Lps,
    Lrd,
    Lpp,
    // p is the instruction's edge memory.
    RisingEdge,
    FallingEdge,
    // p is the step bit's byte, q (LSCR only) its operand.
    Lscr,
    Scrt,
    Scre,
    // p is the first operand's first byte, q the second's (constants read from the pool).
    MoveByte,
    MoveWord,
    XorByte,
    LoadWordEqual,
    AndByteEqual,
    // p is the Timer, q the preset's first byte.
    OnDelay,
};

// Runs in an inactive segment: the skip over such a segment stops here.
constexpr std::uint8_t Single = 1;

constexpr int MsNodes = 33;

template <typename T>
T* as(void* p) noexcept {
    return static_cast<T*>(p);
}

// What the decoder knows of an instruction class: how it moves the stack pointer, how deep the
// stack must be for it to touch only slots 0 and above, and whether it pushes.
struct Shape {
    Kind kind;
    int effect;
    int needs;
    bool pushes;
    bool segment; // LSCR, SCRT, SCRE: after them the stack depth is no longer known
};

} // namespace

std::size_t DecodedProgram::treeSteps() const noexcept {
    std::size_t n = 0;
    for (const Step& s : steps) {
        n += s.kind == Tree ? 1 : 0;
    }
    return n;
}

namespace {

class Decoder final {
public:
    Decoder(CPU& c, std::deque<std::uint8_t>& pool) : cpu(c), constants(pool) {}

    // The memory byte of a bit operand of this CPU within its area, or null.
    std::uint8_t* bitByte(const Parameter* p, std::uint8_t& mask) const {
        if (p == nullptr || !isExactly<BitParameter>(*p)) {
            return nullptr;
        }
        const auto& bit = static_cast<const BitParameter&>(*p);
        std::uint8_t* base = field(bit.getField(), bit.getClass(), bit.getAddr(), 1);
        mask = static_cast<std::uint8_t>(1u << (bit.getBit() & 7));
        return base;
    }

    // The first byte of a byte (width 1) or word (width 2) operand that reads without a fault:
    // memory of this CPU within its area, or a constant.
    std::uint8_t* readable(const Parameter* p, int width) {
        if (p == nullptr) {
            return nullptr;
        }
        if (isExactly<NumParameter>(*p)) {
            const auto value =
                static_cast<std::uint32_t>(static_cast<const NumParameter&>(*p).getValue());
            // Pairs keep a word's two bytes in one block of the deque.
            if (width == 1) {
                constants.push_back(static_cast<std::uint8_t>(value));
                constants.push_back(0);
            } else {
                constants.push_back(static_cast<std::uint8_t>(value >> 8));
                constants.push_back(static_cast<std::uint8_t>(value));
            }
            return &constants[constants.size() - 2];
        }
        return writable(p, width);
    }

    std::uint8_t* writable(const Parameter* p, int width) const {
        if (p == nullptr) {
            return nullptr;
        }
        if (width == 1 && isExactly<ByteParameter>(*p)) {
            const auto& byte = static_cast<const ByteParameter&>(*p);
            return field(byte.getField(), byte.getClass(), byte.getAddr(), 1);
        }
        if (width == 2 && isExactly<WordParameter>(*p)) {
            const auto& word = static_cast<const WordParameter&>(*p);
            return field(word.getField(), word.getClass(), word.getAddr(), 2);
        }
        return nullptr;
    }

    Timer* timerOf(const Parameter* p) const {
        if (p == nullptr || !isExactly<TimerParameter>(*p)) {
            return nullptr;
        }
        const auto& timer = static_cast<const TimerParameter&>(*p);
        const int no = timer.getNo();
        if (no < 0 || no >= CPU::TimerCount || &cpu.timer(no) != timer.getTimer()) {
            return nullptr;
        }
        return timer.getTimer();
    }

private:
    // `width` bytes from `addr` of `f`, if `f` is this CPU's area of class `cls` and writable.
    std::uint8_t* field(MemField* f, Parameter::ParamClass cls, int addr, int width) const {
        switch (cls) {
        case Parameter::EType:
        case Parameter::AType:
        case Parameter::VType:
        case Parameter::MType:
        case Parameter::SMType:
        case Parameter::SType:
            break;
        default:
            return nullptr;
        }
        if (f != &cpu.area(cls)) {
            return nullptr;
        }
        return f->direct(addr, width);
    }

    CPU& cpu;
    std::deque<std::uint8_t>& constants;
};

// The class of an instruction, by its exact type; anything else runs through the tree.
Shape shapeOf(const Operation& op) {
    const std::type_info* t = &typeid(op);
    struct Entry {
        const std::type_info* type;
        Shape shape;
    };
    // The most frequent first: the search runs once per instruction at install time.
    static const Entry Table[] = {
        {&typeid(U_Op), {And, 0, 0, false, false}},
        {&typeid(LD_Op), {Ld, 1, 0, true, false}},
        {&typeid(gl_Op), {Assign, 0, 0, false, false}},
        {&typeid(O_Op), {Or, 0, 0, false, false}},
        {&typeid(UN_Op), {AndNot, 0, 0, false, false}},
        {&typeid(ON_Op), {OrNot, 0, 0, false, false}},
        {&typeid(LDN_Op), {Ldn, 1, 0, true, false}},
        {&typeid(ULD_Op), {AndBlock, -1, 1, false, false}},
        {&typeid(OLD_Op), {OrBlock, -1, 1, false, false}},
        {&typeid(LPS_Op), {Lps, 1, 0, true, false}},
        {&typeid(LRD_Op), {Lrd, 0, 1, false, false}},
        {&typeid(LPP_Op), {Lpp, -1, 1, false, false}},
        {&typeid(NOT_Op), {Not, 0, 0, false, false}},
        {&typeid(S_Op), {Set1, 0, 0, false, false}},
        {&typeid(R_Op), {Reset1, 0, 0, false, false}},
        {&typeid(EU_Op), {RisingEdge, 0, 0, false, false}},
        {&typeid(ED_Op), {FallingEdge, 0, 0, false, false}},
        {&typeid(TON_Op), {OnDelay, 0, 0, false, false}},
        {&typeid(MOVB_Op), {MoveByte, 0, 0, false, false}},
        {&typeid(MOVW_Op), {MoveWord, 0, 0, false, false}},
        {&typeid(XORB_Op), {XorByte, 0, 0, false, false}},
        {&typeid(LDWgl_Op), {LoadWordEqual, 1, 0, true, false}},
        {&typeid(UBgl_Op), {AndByteEqual, 0, 0, false, false}},
        {&typeid(LSCR_Op), {Lscr, 0, -1000, false, true}},
        {&typeid(SCRT_Op), {Scrt, 0, 0, false, true}},
        {&typeid(SCRE_Op), {Scre, 0, -1000, false, true}},
        // The counter always runs through the tree; it moves the stack by nothing.
        {&typeid(ZVR_Op), {Tree, 0, 2, false, false}},
    };
    for (const Entry& e : Table) {
        if (e.type == t) {
            return e.shape;
        }
    }
    // An unknown class may do anything to the stack and the segment state.
    return {Tree, 0, 0, false, true};
}

// Fills in the operands of a decodable step; false when they do not resolve, and the step then
// runs through the tree.
bool resolve(Step& s, Operation& op, Decoder& d) {
    Parameter* first = op.getP1();
    Parameter* second = op.getP2();
    switch (static_cast<Kind>(s.kind)) {
    case Ld:
    case Ldn:
    case And:
    case AndNot:
    case Or:
    case OrNot:
    case Assign:
    case Scrt:
        s.p = d.bitByte(first, s.mask);
        return s.p != nullptr;
    case Lscr:
        s.p = d.bitByte(first, s.mask);
        s.q = first;
        return s.p != nullptr;
    case Set1:
    case Reset1:
        // Only a range of one bit decodes; longer ones, timers and counts of 0 use the tree.
        if (second == nullptr || !isExactly<NumParameter>(*second) ||
            static_cast<std::uint8_t>(static_cast<NumParameter&>(*second).getValue()) != 1) {
            return false;
        }
        s.p = d.bitByte(first, s.mask);
        return s.p != nullptr;
    case RisingEdge:
        s.p = &static_cast<EU_Op&>(op).memory();
        return true;
    case FallingEdge:
        s.p = &static_cast<ED_Op&>(op).memory();
        return true;
    case OnDelay:
        s.p = d.timerOf(first);
        s.q = d.readable(second, 2);
        return s.p != nullptr && s.q != nullptr;
    case MoveByte:
    case XorByte:
        s.p = d.readable(first, 1);
        s.q = d.writable(second, 1);
        return s.p != nullptr && s.q != nullptr;
    case MoveWord:
        s.p = d.readable(first, 2);
        s.q = d.writable(second, 2);
        return s.p != nullptr && s.q != nullptr;
    case LoadWordEqual:
        s.p = d.readable(first, 2);
        s.q = d.readable(second, 2);
        return s.p != nullptr && s.q != nullptr;
    case AndByteEqual:
        s.p = d.readable(first, 1);
        s.q = d.readable(second, 1);
        return s.p != nullptr && s.q != nullptr;
    default:
        return true;
    }
}

} // namespace

DecodedProgram::DecodedProgram(const Block* program, CPU& cpu) {
    std::size_t count = 1;
    for (const Block* block = program; block != nullptr; block = block->Next.get()) {
        if (block->Type != Block::Organization) {
            continue;
        }
        ++count;
        for (const Network* net = block->Networks.get(); net != nullptr; net = net->Next.get()) {
            count += 2;
            for (const OpList* node = net->Ops.get(); node != nullptr; node = node->Next.get()) {
                ++count;
            }
        }
    }
    steps.reserve(count);

    Decoder decoder(cpu, constants);
    for (const Block* block = program; block != nullptr; block = block->Next.get()) {
        if (block->Type != Block::Organization) {
            continue;
        }
        steps.push_back({BlockStart, 0, 0, 0, 0, nullptr, nullptr});
        for (const Network* net = block->Networks.get(); net != nullptr; net = net->Next.get()) {
            steps.push_back({NetworkStart, 0, 0, 0, 0, nullptr, nullptr});
            // The stack pointer relative to the network start, which pushes 1 when a segment is
            // open. Exact until a segment instruction or an unknown class, since nothing else
            // moves it by other than its class's effect (a fault ends the scan).
            int depth = 0;
            bool known = true;
            unsigned pending = 0;
            for (const OpList* node = net->Ops.get(); node != nullptr; node = node->Next.get()) {
                ++pending;
                Operation* op = node->Op.get();
                if (op == nullptr) {
                    if (pending == 255) {
                        steps.push_back({Nop, 255, 0, 0, node->Line, nullptr, nullptr});
                        pending = 0;
                    }
                    continue;
                }
                const Shape shape = shapeOf(*op);
                Step s{shape.kind, static_cast<std::uint8_t>(pending), 0, 0, node->Line, op,
                       nullptr};
                pending = 0;
                if (op->IsSingleType() != 0) {
                    s.flags = Single;
                }
                // A decoded step checks nothing: the stack must stay within its slots, with
                // or without the open segment's entry, and an unknown class must not be
                // mistaken for one that runs in an inactive segment.
                const bool stackFits =
                    shape.needs < 0 || (known && depth >= shape.needs &&
                                        (!shape.pushes || depth + 1 <= CPU::StackLimit));
                const bool singleFits = (shape.kind == Scre) == (s.flags == Single);
                if (shape.kind != Tree && stackFits && singleFits && resolve(s, *op, decoder)) {
                    // decoded
                } else {
                    s.kind = Tree;
                    s.p = op;
                    s.q = nullptr;
                }
                steps.push_back(s);
                depth += shape.effect;
                if (shape.segment) {
                    known = false;
                }
            }
            if (pending != 0) {
                steps.push_back(
                    {Nop, static_cast<std::uint8_t>(pending), 0, 0, 0, nullptr, nullptr});
            }
        }
    }
    steps.push_back({End, 0, 0, 0, 0, nullptr, nullptr});
}

// The scan keeps the stack pointer and the top of the stack in registers. The stack array
// always holds the exact entries below the top; the top itself is written back whenever
// something else may look at the stack: a tree step, a network start, the end of the scan and
// a fault. Decoded steps were admitted only where the stack stays within slot 0 and the limit,
// so they check nothing and raise nothing; only tree steps and SCRT's clearing of the previous
// step can raise.
void DecodedProgram::run(CPU& cpu, std::uint32_t& incno) const {
    std::uint32_t phase = incno;
    std::uint64_t count = 0;
    int* const stack = cpu.stack.data();
    int sp = cpu.sp;
    int top = cpu.stackAt(sp);
    const Step* s = steps.data();

    const auto writeBack = [&]() noexcept {
        if (sp >= 0) {
            stack[sp] = top;
        }
        cpu.sp = sp;
    };
    const auto push = [&](int value) noexcept {
        stack[sp] = top;
        ++sp;
        top = value;
    };
    const auto bit = [](const Step& st) noexcept {
        return (*as<std::uint8_t>(st.p) & st.mask) != 0;
    };
    const auto word = [](const void* p) noexcept {
        const auto* b = static_cast<const std::uint8_t*>(p);
        return static_cast<unsigned>(b[0] << 8 | b[1]);
    };
    const auto networkStart = [&]() noexcept {
        writeBack();
        sp = 0;
        top = stack[0];
        if (cpu.scrval != -1) {
            push(cpu.scrval);
        }
    };
    // Passes over an inactive segment: every step up to the next one that runs in it (SCRE),
    // or the end of the block, counts for the 1 ms rule only; networks still start.
    const auto skip = [&]() noexcept {
        for (++s;; ++s) {
            if (s->kind == NetworkStart) {
                networkStart();
                continue;
            }
            if ((s->flags & Single) != 0 || s->kind == BlockStart || s->kind == End) {
                return;
            }
            phase += s->ticks;
            while (phase >= MsNodes) {
                phase -= MsNodes;
                cpu.updateTimer1ms();
            }
        }
    };

    try {
        for (;; ++s) {
            // Every 33rd node is about one millisecond of a real controller.
            phase += s->ticks;
            if (phase >= MsNodes) [[unlikely]] {
                do {
                    phase -= MsNodes;
                    cpu.updateTimer1ms();
                } while (phase >= MsNodes);
            }
            switch (static_cast<Kind>(s->kind)) {
            case BlockStart:
                cpu.scrval = -1;
                break;
            case NetworkStart:
                networkStart();
                break;
            case End:
                writeBack();
                cpu.executed += count;
                incno = phase;
                return;
            case Nop:
                break;
            case Tree:
                writeBack();
                ++count;
                as<Operation>(s->p)->execute(cpu);
                sp = cpu.sp;
                top = cpu.stackAt(sp);
                if (cpu.scrval == 0) {
                    skip();
                    --s;
                }
                break;
            case Ld:
                ++count;
                push(bit(*s) ? 1 : 0);
                break;
            case Ldn:
                ++count;
                push(bit(*s) ? 0 : 1);
                break;
            case And:
                ++count;
                top = (top != 0 && bit(*s)) ? 1 : 0;
                break;
            case AndNot:
                ++count;
                top = (top != 0 && !bit(*s)) ? 1 : 0;
                break;
            case Or:
                ++count;
                top = (top != 0 || bit(*s)) ? 1 : 0;
                break;
            case OrNot:
                ++count;
                top = (top != 0 || !bit(*s)) ? 1 : 0;
                break;
            case Assign: {
                ++count;
                std::uint8_t& byte = *as<std::uint8_t>(s->p);
                byte = static_cast<std::uint8_t>(top != 0 ? byte | s->mask : byte & ~s->mask);
                break;
            }
            case Set1:
                ++count;
                if (top != 0) {
                    *as<std::uint8_t>(s->p) |= s->mask;
                }
                break;
            case Reset1:
                ++count;
                if (top != 0) {
                    *as<std::uint8_t>(s->p) &= static_cast<std::uint8_t>(~s->mask);
                }
                break;
            case AndBlock:
                ++count;
                --sp;
                top = (top != 0 && stack[sp] != 0) ? 1 : 0;
                break;
            case OrBlock:
                ++count;
                --sp;
                top = (top != 0 || stack[sp] != 0) ? 1 : 0;
                break;
            case Not:
                ++count;
                top = top == 0 ? 1 : 0;
                break;
            case Lps:
                ++count;
                push(top);
                break;
            case Lrd:
                ++count;
                top = stack[sp - 1];
                break;
            case Lpp:
                ++count;
                --sp;
                top = stack[sp];
                break;
            case RisingEdge: {
                ++count;
                int& last = *as<int>(s->p);
                const int value = top;
                top = value != 0 && last == 0 ? 1 : 0;
                last = value;
                break;
            }
            case FallingEdge: {
                ++count;
                int& last = *as<int>(s->p);
                const int value = top;
                top = value == 0 && last != 0 ? 1 : 0;
                last = value;
                break;
            }
            case Lscr:
                ++count;
                cpu.scrval = bit(*s) ? 1 : 0;
                cpu.scrparam = as<Parameter>(s->q);
                if (cpu.scrval == 0) {
                    skip();
                    --s;
                }
                break;
            case Scrt:
                ++count;
                if (top != 0) {
                    if (cpu.scrparam != nullptr) {
                        writeBitOf(*cpu.scrparam, 0);
                    }
                    *as<std::uint8_t>(s->p) |= s->mask;
                    cpu.scrval = 0;
                    skip();
                    --s;
                }
                break;
            case Scre:
                ++count;
                cpu.scrval = -1;
                break;
            case MoveByte:
                ++count;
                if (top != 0) {
                    *as<std::uint8_t>(s->q) = *as<std::uint8_t>(s->p);
                }
                break;
            case MoveWord:
                ++count;
                if (top != 0) {
                    const unsigned value = word(s->p);
                    as<std::uint8_t>(s->q)[0] = static_cast<std::uint8_t>(value >> 8);
                    as<std::uint8_t>(s->q)[1] = static_cast<std::uint8_t>(value);
                }
                break;
            case XorByte:
                ++count;
                if (top != 0) {
                    *as<std::uint8_t>(s->q) ^= *as<std::uint8_t>(s->p);
                }
                break;
            case LoadWordEqual:
                ++count;
                push(word(s->p) == word(s->q) ? 1 : 0);
                break;
            case AndByteEqual:
                ++count;
                top = top != 0 && *as<std::uint8_t>(s->p) == *as<std::uint8_t>(s->q) ? 1 : 0;
                break;
            case OnDelay: {
                ++count;
                Timer& timer = *as<Timer>(s->p);
                timer.setLimit(static_cast<std::uint16_t>(word(s->q)));
                if (top == 0) {
                    timer.reset();
                } else {
                    timer.setActive(1);
                    timer.Increment();
                }
                break;
            }
            }
        }
    } catch (const CPUException& error) {
        // A tree step left the CPU's stack as it was when it raised.
        if (s->kind != Tree) {
            writeBack();
        }
        cpu.executed += count;
        const char* name = s->kind == Tree ? as<Operation>(s->p)->getName() : "SCRT";
        throw error.locatedAt(s->line, name);
    } catch (...) {
        if (s->kind != Tree) {
            writeBack();
        }
        cpu.executed += count;
        throw;
    }
}

} // namespace kvx
