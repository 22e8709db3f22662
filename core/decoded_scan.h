// The scan loop itself, for the two files that compile it: decoded.cpp has the observed,
// halting and tables forms, decoded_plain.cpp the plain scan through the switch, whose
// threaded dispatch needs a flag of its own (core/CMakeLists.txt). Nothing else includes this.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>

#include "core/common.h"
#include "core/cpu.h"
#include "core/decoded.h"
#include "core/decoded_machine.h"
#include "core/observer.h"
#include "core/truth_table.h"
#include "instructions/operators.h"

#if defined(__GNUC__) && !defined(__clang__)
#define KVX_THREADED 1
#else
#define KVX_THREADED 0
#endif

namespace kvx {

namespace scan_detail {

using namespace step;

inline constexpr int MsNodes = 33;

// The areas a step names: the CPU's six, then the constants.
inline constexpr Parameter::ParamClass AreaClasses[] = {Parameter::EType,  Parameter::AType,
                                                        Parameter::MType,  Parameter::VType,
                                                        Parameter::SMType, Parameter::SType};
inline constexpr std::uint8_t ConstantArea = 6;
// One byte of the scan's own, for the bit-logic steps without an operand.
inline constexpr std::uint8_t ScratchArea = 7;
inline constexpr std::size_t Areas = 8;
// Columns of the threaded scan's table of pairs: every kind's number is below it.
inline constexpr std::size_t PairStride = 64;
static_assert(step::OrNotActive < PairStride);

constexpr bool isInstruction(std::uint8_t kind) noexcept {
    return kind != BlockStart && kind != NetworkStart && kind != End && kind != Nop;
}

// The markers that carry the nodes before them in a plain scan, in their index.
constexpr bool carriesNodes(std::uint8_t kind) noexcept {
    return kind == BlockStart || kind == NetworkStart || kind == End;
}

} // namespace scan_detail

// A halting scan asks before each instruction; the plain one is compiled without the question,
// so a scan without a debugger is the same loop as ever.
template <bool Halting, bool Observed, bool Tables>
bool DecodedProgram::scan(CPU& cpu, HaltedScan& at, bool resuming, ScanObserver* observer,
                          HaltCheck* halt) const {
    using namespace scan_detail;
    using decoded::ActiveBit;
    using decoded::BitAt;
    using decoded::BitCount;
    using decoded::CounterAt;
    using decoded::NoOperand;
    using decoded::OneBit;
    using decoded::StepAt;
    using decoded::TimerNo;
    if constexpr (!Observed) {
        observer = nullptr;
    }
    // Only observers and faults ask for nodes: a plain scan does not build their index. The
    // call that may build it stays out of the loop's lambdas: one there, able to throw, made
    // GCC keep the stack pointer and top in memory for every step.
    const OpList* const* const nodeTable = Observed ? nodeIndex().data() : nullptr;
    const std::uint8_t* const exact = Observed ? exactTicks.data() : nullptr;
    // Plain scans count nodes where they can show (deferTicks()), the others at every step.
    constexpr bool Deferred = !Observed;
    std::uint8_t* base[Areas];
    for (std::size_t k = 0; k < std::size(AreaClasses); ++k) {
        base[k] = cpu.area(AreaClasses[k]).direct(0, 0);
    }
    // Constants are only ever read.
    base[ConstantArea] = const_cast<std::uint8_t*>(constants.data());
    std::uint8_t scratch = 0;
    base[ScratchArea] = &scratch;

    std::uint32_t phase = at.phase;
    // Every instruction step is either run or skipped, so the count of those run needs no
    // register: the skipped ones are counted instead, and only the skip loop does that.
    std::uint64_t skipped = at.skipped;
    // Through the CPU, so that no register holds the stack's address.
    auto& stack = cpu.stack;
    std::ptrdiff_t sp = cpu.sp;
    int top = cpu.stackAt(sp);
    const Step* s = steps.data() + at.step;

    const auto writeBack = [&]() noexcept {
        if (sp >= 0) {
            stack[sp] = top;
        }
        cpu.sp = static_cast<int>(sp);
    };
    // The plain scan through the switch is threaded (below). There, every call that may raise
    // comes after this, and before the step changes the registers: a fault then finds the
    // CPU's stack exactly as the instruction met it, and the handler of faults needs no
    // register of the loop. One that did made GCC keep the stack pointer and top in memory for
    // every step, which cost the bit-logic program a tenth. The other forms write back when
    // they handle the fault, which the mix is quicker with.
    constexpr bool Threaded = KVX_THREADED && !Halting && !Observed && !Tables;
    const auto beforeCall = [&]() noexcept {
        if constexpr (Threaded) {
            writeBack();
        }
    };
    DecodedMachine m(cpu, stack, sp, top);
    constexpr NoOperand none{};
    const auto first = [&base](const Step& st) noexcept { return base[st.area] + st.addr; };
    const auto second = [&base](const Step& st) noexcept { return base[st.mask] + st.aux; };
    const auto bitAt = [&first](const Step& st) noexcept { return BitAt{first(st), st.mask}; };
    const auto activeAt = [&cpu](const Step& st) {
        return ActiveBit{activeBit(cpu, st.addr, st.area != 0)};
    };
    const auto index = [](const Step& st) noexcept {
        return static_cast<std::size_t>(st.addr) | static_cast<std::size_t>(st.aux) << 16;
    };
    const auto nodeOf = [this, nodeTable](const Step* st) noexcept {
        return nodeTable[st - steps.data()];
    };
    const auto observe = [&]() {
        if (observer != nullptr) [[unlikely]] {
            writeBack();
            observer->executed(*nodeOf(s), cpu);
        }
    };
    // Every 33rd node is about one millisecond of a real controller.
    const auto tick = [&](std::uint32_t nodes) noexcept {
        phase += nodes;
        if (phase >= MsNodes) [[unlikely]] {
            do {
                phase -= MsNodes;
                cpu.updateTimer1ms();
            } while (phase >= MsNodes);
        }
    };
    // The nodes a step counts in this scan.
    const auto due = [&](const Step* st) noexcept -> std::uint32_t {
        if constexpr (Deferred) {
            return carriesNodes(st->kind) ? static_cast<std::uint32_t>(index(*st)) : st->ticks;
        } else {
            return exact[st - steps.data()];
        }
    };
    // In a plain scan, where the step carries them (countsNodes(), carriesNodes()).
    const auto count = [&]() noexcept {
        if constexpr (Deferred) {
            tick(due(s));
        }
    };
    // One bit-logic step from its truth table: the operand bit is read and written back
    // whatever the kind (a mask of 0 leaves the scratch byte alone), and the old top is written
    // where a push leaves it. The stack holds 0 and 1 only, and `top` is one of them once a
    // stretch of these steps has begun.
    const auto logic = [&](const Step& st) noexcept {
        const TruthTable& table = TruthTables[st.kind];
        std::uint8_t* const byte = first(st);
        const unsigned bit = (*byte & st.mask) != 0 ? 1u : 0u;
        const unsigned below = stack[sp > 0 ? sp - 1 : 0] != 0 ? 4u : 0u;
        // TruthTable::index, as two address computations.
        const unsigned row = bit + 2 * static_cast<unsigned>(top) + below;
        stack[sp] = top;
        sp += table.move;
        top = static_cast<int>(table.top >> row & 1u);
        const unsigned written = table.bit >> row & 1u;
        *byte = static_cast<std::uint8_t>(*byte ^ (st.mask & (0u - (bit ^ written))));
    };
    const auto networkStart = [&]() noexcept {
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
                tick(due(s));
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
            tick(due(s));
        }
    };

    // Each bit-logic kind's step, as its switch case and the pairs below run it.
#define KVX_RUN_Ld op::Ld::run(m, bitAt(*s), none)
#define KVX_RUN_Ldn op::Ldn::run(m, bitAt(*s), none)
#define KVX_RUN_And op::And::run(m, bitAt(*s), none)
#define KVX_RUN_AndNot op::AndNot::run(m, bitAt(*s), none)
#define KVX_RUN_Or op::Or::run(m, bitAt(*s), none)
#define KVX_RUN_OrNot op::OrNot::run(m, bitAt(*s), none)
#define KVX_RUN_Assign op::Assign::run(m, bitAt(*s), none)
#define KVX_RUN_Set1 op::Set::run(m, bitAt(*s), OneBit{})
#define KVX_RUN_Reset1 op::Reset::run(m, bitAt(*s), OneBit{})
#define KVX_RUN_AndBlock op::AndBlock::run(m, none, none)
#define KVX_RUN_OrBlock op::OrBlock::run(m, none, none)
#define KVX_RUN_Not op::Not::run(m, none, none)
#define KVX_RUN_Lps op::Lps::run(m, none, none)
#define KVX_RUN_Lrd op::Lrd::run(m, none, none)
#define KVX_RUN_Lpp op::Lpp::run(m, none, none)
    // The bit-logic kinds, from Ld on, in the kinds' order.
#define KVX_LOGIC_KINDS(X)                                                                         \
    X(Ld)                                                                                          \
    X(Ldn)                                                                                         \
    X(And)                                                                                         \
    X(AndNot)                                                                                      \
    X(Or)                                                                                          \
    X(OrNot)                                                                                       \
    X(Assign)                                                                                      \
    X(Set1)                                                                                        \
    X(Reset1)                                                                                      \
    X(AndBlock)                                                                                    \
    X(OrBlock)                                                                                     \
    X(Not)                                                                                         \
    X(Lps)                                                                                         \
    X(Lrd)                                                                                         \
    X(Lpp)
#define KVX_LOGIC_PAIRS_WITH(X, A)                                                                 \
    X(A, Ld)                                                                                       \
    X(A, Ldn)                                                                                      \
    X(A, And)                                                                                      \
    X(A, AndNot)                                                                                   \
    X(A, Or)                                                                                       \
    X(A, OrNot)                                                                                    \
    X(A, Assign)                                                                                   \
    X(A, Set1)                                                                                     \
    X(A, Reset1)                                                                                   \
    X(A, AndBlock)                                                                                 \
    X(A, OrBlock)                                                                                  \
    X(A, Not)                                                                                      \
    X(A, Lps)                                                                                      \
    X(A, Lrd)                                                                                      \
    X(A, Lpp)

    // The plain scan through the switch is threaded: each handler ends in a jump of its own to
    // the next step's handler, so the branch predictor keeps what follows each kind apart,
    // where the switch predicts every step from one shared jump. The bit-logic program runs a
    // third quicker so. The other forms, and other compilers, go back to the switch, which is
    // what the steps that leave it with `continue` do here too.
    //
    // Two bit-logic steps in a row run as one pair, after one jump. The jumps are what the
    // processor must predict, and once a program has more of them than its predictor holds,
    // each costs much more: the million-instruction program ran at 3.1 ns a step without the
    // pairs, 1.4 with them; the 1000-instruction one at 1.2 either way. A jump goes through
    // the table of pairs, by the next step's kind and the one after it: the pair's handler where
    // both are bit logic, the next step's own handler otherwise. So the step after the end
    // marker is read too, and the steps end in a copy of it (DecodedProgram::steps).
#if KVX_THREADED
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
    // Only the threaded form takes its handlers' addresses: in the others, whose code must stay
    // as the compiler lays it out best, the labels are plain ones.
    const void* const* dispatch = nullptr;
    if constexpr (Threaded) {
        static const void* const handlers[] = {&&handle_Ld,
                                               &&handle_Ldn,
                                               &&handle_And,
                                               &&handle_AndNot,
                                               &&handle_Or,
                                               &&handle_OrNot,
                                               &&handle_Assign,
                                               &&handle_Set1,
                                               &&handle_Reset1,
                                               &&handle_AndBlock,
                                               &&handle_OrBlock,
                                               &&handle_Not,
                                               &&handle_Lps,
                                               &&handle_Lrd,
                                               &&handle_Lpp,
                                               &&handle_BlockStart,
                                               &&handle_NetworkStart,
                                               &&handle_End,
                                               &&handle_Nop,
                                               &&handle_Tree,
                                               &&handle_Resolved,
                                               &&handle_TreeSingle,
                                               &&handle_SetRange,
                                               &&handle_ResetRange,
                                               &&handle_ResetTimer,
                                               &&handle_RisingEdge,
                                               &&handle_FallingEdge,
                                               &&handle_Lscr,
                                               &&handle_Scrt,
                                               &&handle_Scre,
                                               &&handle_MoveByte,
                                               &&handle_MoveWord,
                                               &&handle_XorByte,
                                               &&handle_LoadWordEqual,
                                               &&handle_AndByteEqual,
                                               &&handle_OnDelay,
                                               &&handle_UpDownCounter,
                                               &&handle_LdActive,
                                               &&handle_LdnActive,
                                               &&handle_AndActive,
                                               &&handle_AndNotActive,
                                               &&handle_OrActive,
                                               &&handle_OrNotActive};
        static_assert(std::size(handlers) == OrNotActive + 1, "one handler per kind, in order");
        static const void* const pairs[][LastLogic + 1] = {
#define KVX_PAIR_ADDRESS(A, B) &&pair_##A##_##B,
#define KVX_PAIR_ROW(A) {KVX_LOGIC_PAIRS_WITH(KVX_PAIR_ADDRESS, A)},
            KVX_LOGIC_KINDS(KVX_PAIR_ROW)
#undef KVX_PAIR_ROW
#undef KVX_PAIR_ADDRESS
        };
#define KVX_KIND(K) K,
#define KVX_SECOND(A, K) K,
        static constexpr std::uint8_t firsts[] = {KVX_LOGIC_KINDS(KVX_KIND)};
        static constexpr std::uint8_t seconds[] = {KVX_LOGIC_PAIRS_WITH(KVX_SECOND, Ld)};
#undef KVX_SECOND
#undef KVX_KIND
        constexpr auto inKindOrder = [](const auto& kinds) {
            std::uint8_t kind = 0;
            for (const std::uint8_t k : kinds) {
                if (k != kind++) {
                    return false;
                }
            }
            return kind == LastLogic + 1;
        };
        static_assert(inKindOrder(firsts) && inKindOrder(seconds),
                      "the pairs are indexed by kind: every bit-logic kind, in order");
        static const auto table = [](const void* const* one,
                                     const void* const(*two)[LastLogic + 1]) {
            std::array<const void*, std::size(handlers) * PairStride> jumps{};
            for (std::size_t next = 0; next < std::size(handlers); ++next) {
                for (std::size_t after = 0; after < PairStride; ++after) {
                    jumps[next * PairStride + after] =
                        isLogic(static_cast<std::uint8_t>(next)) &&
                                isLogic(static_cast<std::uint8_t>(after))
                            ? two[next][after]
                            : one[next];
                }
            }
            return jumps;
        }(handlers, pairs);
        dispatch = table.data();
    }
#define KVX_HANDLER(kind) handle_##kind : __attribute__((unused));
// Unlike the loop's head, a threaded jump does not prefetch: the processor's own prefetcher
// keeps up with steps read in order, and the prefetch cost the bit-logic program 7 % in this
// form, the million-instruction one 4 %.
#define KVX_NEXT                                                                                   \
    if constexpr (Threaded) {                                                                      \
        ++s;                                                                                       \
        goto* dispatch[s->kind * PairStride + s[1].kind];                                          \
    } else                                                                                         \
        break
#else
#define KVX_HANDLER(kind)
#define KVX_NEXT break
#endif

    try {
        for (;; ++s) {
            if constexpr (Halting) {
                if (isInstruction(s->kind) && !std::exchange(resuming, false)) {
                    writeBack();
                    if (halt->haltBefore(*nodeOf(s), cpu)) {
                        at = {static_cast<std::size_t>(s - steps.data()), phase, skipped};
                        return true;
                    }
                }
            }
            // A program far larger than the caches streams its steps from memory.
            __builtin_prefetch(s + 128);
            if constexpr (!Deferred) {
                tick(due(s));
            }
            if constexpr (Tables) {
                // The whole stretch of bit logic from its truth tables; bit logic reads no
                // timer, so the stretch's nodes count at its end.
                if (isLogic(s->kind)) {
                    top = top != 0 ? 1 : 0;
                    std::uint32_t nodes = 0;
                    for (logic(*s);; logic(*s)) {
                        if (isLogic(s[1].kind)) {
                            ++s;
                        } else if (s[1].kind == NetworkStart && isLogic(s[2].kind)) {
                            // A network that ends in bit logic and a next that begins with it
                            // are one stretch: most networks are such rungs.
                            nodes += due(s + 1);
                            s += 2;
                            networkStart();
                            top = top != 0 ? 1 : 0;
                        } else {
                            break;
                        }
                        __builtin_prefetch(s + 128);
                    }
                    tick(nodes);
                    continue;
                }
            }
#if KVX_THREADED
            // The loop's head jumps through the handlers too: a switch beside them made GCC
            // reload the handlers' address, and pass through alignment padding, at every step.
            if constexpr (Threaded) {
                goto* dispatch[s->kind * PairStride + s[1].kind];
            }
#endif
            switch (static_cast<Kind>(s->kind)) {
            case BlockStart:
                KVX_HANDLER(BlockStart)
                count();
                cpu.scrval = -1;
                continue;
            case NetworkStart:
                KVX_HANDLER(NetworkStart)
                count();
                networkStart();
                continue;
            case End:
                KVX_HANDLER(End)
                count();
                writeBack();
                cpu.executed += instructionSteps - skipped;
                at = {0, phase, 0};
                return false;
            case Nop:
                KVX_HANDLER(Nop)
                continue;
            case Tree:
                KVX_HANDLER(Tree)
            case TreeSingle:
                KVX_HANDLER(TreeSingle)
            case Resolved:
                KVX_HANDLER(Resolved)
                count();
                writeBack();
                if (s->kind == Resolved) {
                    runResolved(resolvers[index(*s)], cpu);
                } else {
                    operations[index(*s)]->execute(cpu);
                }
                sp = cpu.sp;
                top = cpu.stackAt(sp);
                observe();
                if (cpu.scrval == 0) {
                    skip();
                    --s;
                }
                continue;
            case Ld:
                KVX_HANDLER(Ld)
                KVX_RUN_Ld;
                KVX_NEXT;
            case Ldn:
                KVX_HANDLER(Ldn)
                KVX_RUN_Ldn;
                KVX_NEXT;
            case And:
                KVX_HANDLER(And)
                KVX_RUN_And;
                KVX_NEXT;
            case AndNot:
                KVX_HANDLER(AndNot)
                KVX_RUN_AndNot;
                KVX_NEXT;
            case Or:
                KVX_HANDLER(Or)
                KVX_RUN_Or;
                KVX_NEXT;
            case OrNot:
                KVX_HANDLER(OrNot)
                KVX_RUN_OrNot;
                KVX_NEXT;
            case Assign:
                KVX_HANDLER(Assign)
                KVX_RUN_Assign;
                KVX_NEXT;
            case Set1:
                KVX_HANDLER(Set1)
                KVX_RUN_Set1;
                KVX_NEXT;
            case Reset1:
                KVX_HANDLER(Reset1)
                KVX_RUN_Reset1;
                KVX_NEXT;
            case AndBlock:
                KVX_HANDLER(AndBlock)
                KVX_RUN_AndBlock;
                KVX_NEXT;
            case OrBlock:
                KVX_HANDLER(OrBlock)
                KVX_RUN_OrBlock;
                KVX_NEXT;
            case Not:
                KVX_HANDLER(Not)
                KVX_RUN_Not;
                KVX_NEXT;
            case Lps:
                KVX_HANDLER(Lps)
                KVX_RUN_Lps;
                KVX_NEXT;
            case Lrd:
                KVX_HANDLER(Lrd)
                KVX_RUN_Lrd;
                KVX_NEXT;
            case Lpp:
                KVX_HANDLER(Lpp)
                KVX_RUN_Lpp;
                KVX_NEXT;
            case SetRange:
                KVX_HANDLER(SetRange)
                op::Set::run(m, bitAt(*s), BitCount{s->aux});
                KVX_NEXT;
            case ResetRange:
                KVX_HANDLER(ResetRange)
                op::Reset::run(m, bitAt(*s), BitCount{s->aux});
                KVX_NEXT;
            case ResetTimer:
                KVX_HANDLER(ResetTimer)
                count();
                beforeCall();
                op::Reset::run(m, TimerNo{s->addr}, none);
                KVX_NEXT;
            case RisingEdge:
                KVX_HANDLER(RisingEdge)
                op::RisingEdge::run(m, none, none, *memories[index(*s)]);
                KVX_NEXT;
            case FallingEdge:
                KVX_HANDLER(FallingEdge)
                op::FallingEdge::run(m, none, none, *memories[index(*s)]);
                KVX_NEXT;
            case Lscr:
                KVX_HANDLER(Lscr)
                op::Lscr::run(m, StepAt{bitAt(*s), stepBits[s->aux]}, none);
                observe();
                if (cpu.scrval == 0) {
                    skip();
                    --s;
                }
                continue;
            case Scrt:
                KVX_HANDLER(Scrt)
                // It runs only in an active segment or outside one, so afterwards the segment
                // is inactive exactly when the transition fired.
                count();
                beforeCall();
                op::Scrt::run(m, bitAt(*s), none);
                observe();
                if (cpu.scrval == 0) {
                    skip();
                    --s;
                }
                continue;
            case Scre:
                KVX_HANDLER(Scre)
                op::Scre::run(m, none, none);
                KVX_NEXT;
            case MoveByte:
                KVX_HANDLER(MoveByte)
                op::MoveByte::run(m, first(*s), second(*s));
                KVX_NEXT;
            case MoveWord:
                KVX_HANDLER(MoveWord)
                op::MoveWord::run(m, first(*s), second(*s));
                KVX_NEXT;
            case XorByte:
                KVX_HANDLER(XorByte)
                op::XorByte::run(m, first(*s), second(*s));
                KVX_NEXT;
            case LoadWordEqual:
                KVX_HANDLER(LoadWordEqual)
                op::LoadWordEqual::run(m, first(*s), second(*s));
                KVX_NEXT;
            case AndByteEqual:
                KVX_HANDLER(AndByteEqual)
                op::AndByteEqual::run(m, first(*s), second(*s));
                KVX_NEXT;
            case UpDownCounter:
                KVX_HANDLER(UpDownCounter)
                beforeCall();
                op::UpDownCounter::run(m, CounterAt{&counterOf(cpu, s->area)}, second(*s),
                                       *counterInputs[s->addr]);
                KVX_NEXT;
            case OnDelay:
                KVX_HANDLER(OnDelay)
                count();
                beforeCall();
                op::OnDelay::run(m, TimerNo{s->addr}, second(*s));
                KVX_NEXT;
            case LdActive:
                KVX_HANDLER(LdActive)
                count();
                beforeCall();
                op::Ld::run(m, activeAt(*s), none);
                KVX_NEXT;
            case LdnActive:
                KVX_HANDLER(LdnActive)
                count();
                beforeCall();
                op::Ldn::run(m, activeAt(*s), none);
                KVX_NEXT;
            case AndActive:
                KVX_HANDLER(AndActive)
                count();
                beforeCall();
                op::And::run(m, activeAt(*s), none);
                KVX_NEXT;
            case AndNotActive:
                KVX_HANDLER(AndNotActive)
                count();
                beforeCall();
                op::AndNot::run(m, activeAt(*s), none);
                KVX_NEXT;
            case OrActive:
                KVX_HANDLER(OrActive)
                count();
                beforeCall();
                op::Or::run(m, activeAt(*s), none);
                KVX_NEXT;
            case OrNotActive:
                KVX_HANDLER(OrNotActive)
                count();
                beforeCall();
                op::OrNot::run(m, activeAt(*s), none);
                KVX_NEXT;
#if KVX_THREADED
#define KVX_PAIR(A, B)                                                                             \
    pair_##A##_##B : __attribute__((unused));                                                      \
    KVX_RUN_##A;                                                                                   \
    ++s;                                                                                           \
    KVX_RUN_##B;                                                                                   \
    KVX_NEXT;
#define KVX_PAIRS_WITH(A) KVX_LOGIC_PAIRS_WITH(KVX_PAIR, A)
                KVX_LOGIC_KINDS(KVX_PAIRS_WITH)
#undef KVX_PAIRS_WITH
#undef KVX_PAIR
#endif
            default:
                // Only the decoder writes kinds; saying so spares the dispatch a range check.
                __builtin_unreachable();
            }
            observe();
        }
    } catch (const CPUException& error) {
#undef KVX_NEXT
#undef KVX_HANDLER
#undef KVX_LOGIC_KINDS
#undef KVX_LOGIC_PAIRS_WITH
#undef KVX_RUN_Ld
#undef KVX_RUN_Ldn
#undef KVX_RUN_And
#undef KVX_RUN_AndNot
#undef KVX_RUN_Or
#undef KVX_RUN_OrNot
#undef KVX_RUN_Assign
#undef KVX_RUN_Set1
#undef KVX_RUN_Reset1
#undef KVX_RUN_AndBlock
#undef KVX_RUN_OrBlock
#undef KVX_RUN_Not
#undef KVX_RUN_Lps
#undef KVX_RUN_Lrd
#undef KVX_RUN_Lpp
#if KVX_THREADED
#pragma GCC diagnostic pop
#endif
        // A tree step left the CPU's stack as it was when it raised.
        const bool tree = s->kind == Tree || s->kind == TreeSingle;
        if (!tree && !Threaded) {
            writeBack();
        }
        cpu.executed += executedUpTo(s) - skipped;
        const OpList* node = nodeIndex()[static_cast<std::size_t>(s - steps.data())];
        if (node == nullptr) {
            throw;
        }
        if (observer != nullptr) {
            observer->faulted(*node, cpu);
        }
        throw error.locatedAt(node->Line, node->Op->getName());
    } catch (...) {
        if (s->kind != Tree && s->kind != TreeSingle && !Threaded) {
            writeBack();
        }
        cpu.executed += executedUpTo(s) - skipped;
        throw;
    }
}

} // namespace kvx

#undef KVX_THREADED
