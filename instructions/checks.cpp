// Load-time operand checks. Every check is the presence rules of the instruction's operand
// column followed by its own rules, in order; the first rule that fails names the error.

#include <span>

#include "core/common.h"
#include "instructions/operators.h"
#include "operands/parameter.h"

namespace kvx {

namespace {

using PC = Parameter::ParamClass;

enum class Column { None, One, Two };
enum class Access { RBit, RByte, RWord, WBit, WByte, WWord };
enum class Slot { First, Second };

constexpr const char* ReadBit = "Can't read a bit on parameter";
constexpr const char* WriteBit = "Can't write a bit on parameter";
constexpr const char* ReadByte = "Can't read a byte on parameter";
constexpr const char* WriteByte = "Can't write a byte on parameter";
constexpr const char* ReadWord = "Can't read a word on parameter";
constexpr const char* WriteWord = "Can't write a word on parameter";
constexpr const char* TypeNotPossible = "Parametertype not possible";

bool supports(const Parameter& p, Access access) noexcept {
    const Parameter::SupOps ops = p.getOperations();
    switch (access) {
    case Access::RBit:
        return ops.RBit != 0;
    case Access::RByte:
        return ops.RByte != 0;
    case Access::RWord:
        return ops.RWord != 0;
    case Access::WBit:
        return ops.WBit != 0;
    case Access::WByte:
        return ops.WByte != 0;
    case Access::WWord:
        return ops.WWord != 0;
    }
    return false;
}

// A rule sees both operands; the presence rules before it guarantee the ones it looks at.
struct Rule {
    bool (*fails)(const Parameter* first, const Parameter* second);
    const char* message;
};

template <Slot S>
const Parameter& operand(const Parameter* first, const Parameter* second) noexcept {
    return S == Slot::First ? *first : *second;
}

template <Slot S, Access A>
bool lacks(const Parameter* first, const Parameter* second) {
    return !supports(operand<S>(first, second), A);
}

template <Slot S, PC... Classes>
bool classIn(const Parameter* first, const Parameter* second) {
    const PC cls = operand<S>(first, second).getClass();
    return ((cls == Classes) || ...);
}

template <Slot S, PC Class>
bool classNot(const Parameter* first, const Parameter* second) {
    return operand<S>(first, second).getClass() != Class;
}

bool timerCountNotOne(const Parameter* first, const Parameter* second) {
    return first->getClass() == PC::TType && second->readLong() != 1;
}

// Only the timers numbered for on-delay use: 32 to 63 and 96 upward.
bool notOnDelayTimer(const Parameter* first, const Parameter*) {
    const auto* timer = dynamic_cast<const TimerParameter*>(first);
    if (timer == nullptr) {
        return true;
    }
    const int no = timer->getNo();
    return no < 32 || (no >= 64 && no <= 95);
}

constexpr Slot First = Slot::First;
constexpr Slot Second = Slot::Second;

constexpr std::span<const Rule> noRules;

constexpr Rule bitReadRules[] = {{lacks<First, Access::RBit>, ReadBit}};

constexpr Rule stepRules[] = {
    {lacks<First, Access::RBit>, ReadBit},
    {classNot<First, PC::SType>, "Only S possible"},
};

constexpr Rule assignRules[] = {
    {lacks<First, Access::WBit>, WriteBit},
    {classIn<First, PC::TType, PC::SMType, PC::ZType>, TypeNotPossible},
};

// The count of S and R must be a constant whose low byte is the count.
constexpr Rule countRule[] = {
    {lacks<Second, Access::RByte>, ReadByte},
    {classNot<Second, PC::NumType>, "Number expected"},
};

constexpr Rule setRules[] = {
    {lacks<First, Access::WBit>, WriteBit},
    countRule[0],
    countRule[1],
    {classIn<First, PC::TType, PC::SMType, PC::ZType>, TypeNotPossible},
};

constexpr Rule resetRules[] = {
    {lacks<First, Access::WBit>, WriteBit},
    countRule[0],
    countRule[1],
    {classIn<First, PC::SMType, PC::ZType>, TypeNotPossible},
    {timerCountNotOne, "1 as count for timers expected"},
};

// The moves refuse an SM source, not an SM destination.
constexpr Rule moveByteRules[] = {
    {lacks<Second, Access::WByte>, WriteByte},
    {lacks<First, Access::RByte>, ReadByte},
    {classIn<First, PC::SMType>, TypeNotPossible},
};

constexpr Rule xorByteRules[] = {
    {lacks<Second, Access::WByte>, WriteByte},
    {lacks<First, Access::RByte>, ReadByte},
    {lacks<Second, Access::RByte>, ReadByte},
    {classIn<First, PC::SMType>, TypeNotPossible},
};

constexpr Rule moveWordRules[] = {
    {lacks<Second, Access::WWord>, WriteWord},
    {lacks<First, Access::RWord>, ReadWord},
    {classIn<First, PC::SMType>, TypeNotPossible},
};

constexpr Rule compareWordRules[] = {
    {lacks<First, Access::RWord>, ReadWord},
    {lacks<Second, Access::RWord>, ReadWord},
};

constexpr Rule compareByteRules[] = {
    {lacks<First, Access::RByte>, ReadByte},
    {lacks<Second, Access::RByte>, ReadByte},
};

constexpr Rule counterRules[] = {
    {lacks<Second, Access::RWord>, ReadWord},
    {classNot<First, PC::ZType>, "Counter expected"},
};

constexpr Rule timerRules[] = {
    {lacks<Second, Access::RWord>, ReadWord},
    {classNot<First, PC::TType>, "Timer expected"},
    {notOnDelayTimer, "Timer only supports TONR"},
};

void presence(Column column, const Parameter* first, const Parameter* second) {
    if (column == Column::None) {
        if (first != nullptr || second != nullptr) {
            throw CPUException("no Operand expected");
        }
        return;
    }
    if (first == nullptr) {
        throw CPUException("Operand expected");
    }
    if (column == Column::One && second != nullptr) {
        throw CPUException("no Operand expected");
    }
    if (column == Column::Two && second == nullptr) {
        throw CPUException("2nd Operand expected");
    }
}

void checkOperands(Column column, const Parameter* first, const Parameter* second,
                   std::span<const Rule> rules) {
    presence(column, first, second);
    for (const Rule& rule : rules) {
        if (rule.fails(first, second)) {
            throw CPUException(rule.message);
        }
    }
}

} // namespace

// Which operand column and which rules each instruction checks.
#define KVX_CHECK(CLASS, COLUMN, RULES)                                                            \
    void CLASS::check() const {                                                                    \
        checkOperands(Column::COLUMN, p1.get(), p2.get(), RULES);                                  \
    }

// clang-format off
KVX_CHECK(LD_Op, One, bitReadRules)
KVX_CHECK(LDN_Op, One, bitReadRules)
KVX_CHECK(U_Op, One, bitReadRules)
KVX_CHECK(UN_Op, One, bitReadRules)
KVX_CHECK(O_Op, One, bitReadRules)
KVX_CHECK(ON_Op, One, bitReadRules)
KVX_CHECK(ULD_Op, None, noRules)
KVX_CHECK(OLD_Op, None, noRules)
KVX_CHECK(NOT_Op, None, noRules)
KVX_CHECK(LPS_Op, None, noRules)
KVX_CHECK(LRD_Op, None, noRules)
KVX_CHECK(LPP_Op, None, noRules)
KVX_CHECK(EU_Op, None, noRules)
KVX_CHECK(ED_Op, None, noRules)
KVX_CHECK(SCRE_Op, None, noRules)
KVX_CHECK(gl_Op, One, assignRules)
KVX_CHECK(S_Op, Two, setRules)
KVX_CHECK(R_Op, Two, resetRules)
KVX_CHECK(LSCR_Op, One, stepRules)
KVX_CHECK(SCRT_Op, One, stepRules)
KVX_CHECK(MOVB_Op, Two, moveByteRules)
KVX_CHECK(MOVW_Op, Two, moveWordRules)
KVX_CHECK(XORB_Op, Two, xorByteRules)
KVX_CHECK(LDWgl_Op, Two, compareWordRules)
KVX_CHECK(UBgl_Op, Two, compareByteRules)
KVX_CHECK(TON_Op, Two, timerRules)
KVX_CHECK(ZVR_Op, Two, counterRules)
// clang-format on

#undef KVX_CHECK

} // namespace kvx
