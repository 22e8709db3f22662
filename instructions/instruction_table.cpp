// The table of instructions: for every mnemonic its class, its stack effect and its load-time
// operand checks, and CPU::OperandTargets::command, which makes an instruction from a line's text.
// Every check is the presence rules of the instruction's operand column followed by its own
// rules, in order; the first rule that fails names the error.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "core/common.h"
#include "core/cpu.h"
#include "core/decoded.h"
#include "core/decoded_machine.h"
#include "instructions/instruction_table.h"
#include "instructions/machine.h"
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

// An instruction's operands: where they stand, the rules they must pass, and what they are.
struct Operands {
    Column column;
    std::span<const Rule> rules;
    OperandShape shape;
};

constexpr Operands noOperands{Column::None, noRules, OperandShape::None};
constexpr Operands readBit{Column::One, bitReadRules, OperandShape::ReadBit};
constexpr Operands stepBit{Column::One, stepRules, OperandShape::StepBit};
constexpr Operands assignBit{Column::One, assignRules, OperandShape::WriteBit};
constexpr Operands setRange{Column::Two, setRules, OperandShape::BitRange};
constexpr Operands resetRange{Column::Two, resetRules, OperandShape::BitRangeOrTimer};
constexpr Operands moveByte{Column::Two, moveByteRules, OperandShape::ByteToByte};
constexpr Operands xorByte{Column::Two, xorByteRules, OperandShape::ByteToByte};
constexpr Operands moveWord{Column::Two, moveWordRules, OperandShape::WordToWord};
constexpr Operands compareWords{Column::Two, compareWordRules, OperandShape::TwoWords};
constexpr Operands compareBytes{Column::Two, compareByteRules, OperandShape::TwoBytes};
constexpr Operands onDelayTimer{Column::Two, timerRules, OperandShape::OnDelayTimer};
constexpr Operands counter{Column::Two, counterRules, OperandShape::CounterAndPreset};

} // namespace

// The instructions, one row each: behaviour (in kvx::op), mnemonic, runs in an inactive
// segment, stack effect (pop, keep, push), operands (column, load-time rules and shape), how far
// below the top it reads the stack (-1: not at all), its decoded step, whether it is a contact.
// parserCommand searches the rows in this order for an exact, case-sensitive match of the mnemonic.
// clang-format off
#define KVX_INSTRUCTIONS(X) \
    X(Ldn, "LDN", 0, 0, 0, 1, readBit, 0, Ldn, true) \
    X(Ld, "LD", 0, 0, 0, 1, readBit, 0, Ld, true) \
    X(Or, "O", 0, 1, 0, 1, readBit, 0, Or, true) \
    X(OrNot, "ON", 0, 1, 0, 1, readBit, 0, OrNot, true) \
    X(And, "U", 0, 1, 0, 1, readBit, 0, And, true) \
    X(AndNot, "UN", 0, 1, 0, 1, readBit, 0, AndNot, true) \
    X(OrBlock, "OLD", 0, 2, 0, 1, noOperands, 1, OrBlock, false) \
    X(AndBlock, "ULD", 0, 2, 0, 1, noOperands, 1, AndBlock, false) \
    X(Not, "NOT", 0, 1, 0, 1, noOperands, 0, Not, false) \
    X(Reset, "R", 0, 0, 1, 0, resetRange, 0, Reset1, false) \
    X(Set, "S", 0, 0, 1, 0, setRange, 0, Set1, false) \
    X(Lscr, "LSCR", 0, 0, 0, 0, stepBit, -1, Lscr, false) \
    X(Scrt, "SCRT", 0, 0, 1, 0, stepBit, 0, Scrt, false) \
    X(Scre, "SCRE", 1, 0, 0, 0, noOperands, -1, Scre, false) \
    X(Assign, "=", 0, 0, 1, 0, assignBit, 0, Assign, false) \
    X(Lps, "LPS", 0, 1, 0, 2, noOperands, 0, Lps, false) \
    X(Lpp, "LPP", 0, 1, 0, 0, noOperands, 1, Lpp, false) \
    X(Lrd, "LRD", 0, 1, 0, 1, noOperands, 1, Lrd, false) \
    X(RisingEdge, "EU", 0, 1, 0, 1, noOperands, 0, RisingEdge, false) \
    X(FallingEdge, "ED", 0, 1, 0, 1, noOperands, 0, FallingEdge, false) \
    X(MoveByte, "MOVB", 0, 0, 1, 0, moveByte, 0, MoveByte, false) \
    X(MoveWord, "MOVW", 0, 0, 1, 0, moveWord, 0, MoveWord, false) \
    X(XorByte, "XORB", 0, 0, 1, 0, xorByte, 0, XorByte, false) \
    X(LoadWordEqual, "LDW=", 0, 0, 0, 1, compareWords, 0, LoadWordEqual, true) \
    X(AndByteEqual, "UB=", 0, 1, 0, 1, compareBytes, 0, AndByteEqual, true) \
    X(OnDelay, "TON", 0, 0, 1, 0, onDelayTimer, 0, OnDelay, false) \
    X(UpDownCounter, "ZVR", 0, 0, 3, 0, counter, 2, UpDownCounter, false)
// clang-format on

namespace {

template <typename Behaviour>
std::unique_ptr<Operation> make(std::unique_ptr<Parameter> first,
                                std::unique_ptr<Parameter> second) {
    return std::make_unique<Instruction<Behaviour>>(std::move(first), std::move(second));
}

template <typename Behaviour>
void resolved(DecodedMachine& m, Operation& op) {
    auto& instruction = static_cast<Instruction<Behaviour>&>(op);
    if constexpr (std::is_same_v<typename Instruction<Behaviour>::Memory, NoMemory>) {
        Behaviour::run(m, op.getP1(), op.getP2());
    } else {
        Behaviour::run(m, op.getP1(), op.getP2(), instruction.memory());
    }
}

#define KVX_INDEX(BEHAVIOUR, ...) BEHAVIOUR##Row,
enum RowIndex : std::size_t { KVX_INSTRUCTIONS(KVX_INDEX) };
#undef KVX_INDEX

#define KVX_ROW(BEHAVIOUR, TEXT, SINGLE, POP, KEEP, PUSH, OPERANDS, REACH, STEP, CONTACT)          \
    {TEXT,                                                                                         \
     POP,                                                                                          \
     KEEP,                                                                                         \
     PUSH,                                                                                         \
     REACH,                                                                                        \
     step::STEP,                                                                                   \
     SINGLE != 0,                                                                                  \
     CONTACT,                                                                                      \
     OPERANDS.shape,                                                                               \
     make<op::BEHAVIOUR>,                                                                          \
     resolved<op::BEHAVIOUR>},
constexpr InstructionRow Rows[] = {KVX_INSTRUCTIONS(KVX_ROW)};
#undef KVX_ROW

// The mnemonics with their lengths, so that matching a line's mnemonic measures no row's text.
#define KVX_MNEMONIC(BEHAVIOUR, TEXT, ...) std::string_view(TEXT),
constexpr std::string_view Mnemonics[] = {KVX_INSTRUCTIONS(KVX_MNEMONIC)};
#undef KVX_MNEMONIC

#define KVX_OPERANDS(BEHAVIOUR, TEXT, SINGLE, POP, KEEP, PUSH, OPERANDS, ...) OPERANDS,
constexpr Operands OperandsOf[] = {KVX_INSTRUCTIONS(KVX_OPERANDS)};
#undef KVX_OPERANDS

template <typename Behaviour>
constexpr std::size_t rowOf = 0;
#define KVX_ROW_OF(BEHAVIOUR, ...)                                                                 \
    template <>                                                                                    \
    constexpr std::size_t rowOf<op::BEHAVIOUR> = BEHAVIOUR##Row;
KVX_INSTRUCTIONS(KVX_ROW_OF)
#undef KVX_ROW_OF

} // namespace

std::span<const InstructionRow> instructionRows() noexcept {
    return Rows;
}

namespace {

// A mnemonic of up to seven characters as one integer with its length on top, so that finding a
// line's row compares integers instead of calling memcmp for each row: that search was a
// twentieth of loading a program.
constexpr std::size_t MaxMnemonic = 7;

constexpr std::uint64_t keyOf(std::string_view text) noexcept {
    std::uint64_t key = text.size();
    for (const char c : text) {
        key = key << 8 | static_cast<unsigned char>(c);
    }
    return key;
}

constexpr auto MnemonicKeys = [] {
    std::array<std::uint64_t, std::size(Mnemonics)> keys{};
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (Mnemonics[k].size() > MaxMnemonic) {
            throw "a mnemonic longer than a key holds";
        }
        keys[k] = keyOf(Mnemonics[k]);
    }
    return keys;
}();

} // namespace

const InstructionRow* instructionRow(std::string_view mnemonic) noexcept {
    if (mnemonic.size() > MaxMnemonic) {
        return nullptr;
    }
    const std::uint64_t key = keyOf(mnemonic);
    for (std::size_t k = 0; k < MnemonicKeys.size(); ++k) {
        if (MnemonicKeys[k] == key) {
            return &Rows[k];
        }
    }
    return nullptr;
}

// Run on the program tree's checked operands and the CPU's own stack.
template <typename Behaviour>
void Instruction<Behaviour>::execute(CPU& c) {
    TreeMachine m(c);
    if constexpr (std::is_same_v<Memory, NoMemory>) {
        Behaviour::run(m, p1.get(), p2.get());
    } else {
        Behaviour::run(m, p1.get(), p2.get(), kept);
    }
}

template <typename Behaviour>
void Instruction<Behaviour>::check() const {
    const Operands& operands = OperandsOf[rowOf<Behaviour>];
    checkOperands(operands.column, p1.get(), p2.get(), operands.rules);
}

template <typename Behaviour>
int Instruction<Behaviour>::IsSingleType() const noexcept {
    return Rows[rowOf<Behaviour>].single ? 1 : 0;
}

template <typename Behaviour>
const char* Instruction<Behaviour>::getName() const noexcept {
    return Rows[rowOf<Behaviour>].mnemonic;
}

template <typename Behaviour>
int Instruction<Behaviour>::getPopCount() const noexcept {
    return Rows[rowOf<Behaviour>].pop;
}

template <typename Behaviour>
int Instruction<Behaviour>::getKeepCount() const noexcept {
    return Rows[rowOf<Behaviour>].keep;
}

template <typename Behaviour>
int Instruction<Behaviour>::getPushCount() const noexcept {
    return Rows[rowOf<Behaviour>].push;
}

template <typename Behaviour>
const InstructionRow* Instruction<Behaviour>::row() const noexcept {
    return &Rows[rowOf<Behaviour>];
}

#define KVX_INSTANTIATE(BEHAVIOUR, ...) template class Instruction<op::BEHAVIOUR>;
KVX_INSTRUCTIONS(KVX_INSTANTIATE)
#undef KVX_INSTANTIATE

std::unique_ptr<Operation> CPU::OperandTargets::command(std::string_view Opcode,
                                                        std::optional<std::string_view> p1,
                                                        std::optional<std::string_view> p2) const {
    // Operand texts first: a bad operand is reported even on a line with an unknown mnemonic.
    // Each refusal names the text it refused as its token.
    const auto operand = [this](std::optional<std::string_view> text) {
        try {
            return text ? parameter(*text) : nullptr;
        } catch (const CPUException& e) {
            throw CPUException(e.getText(), std::nullopt, std::string(*text));
        }
    };
    std::unique_ptr<Parameter> first = operand(p1);
    std::unique_ptr<Parameter> second = operand(p2);
    if (const InstructionRow* row = instructionRow(Opcode)) {
        return row->make(std::move(first), std::move(second));
    }
    throw CPUException("Unknown Operation", std::nullopt, std::string(Opcode));
}

} // namespace kvx
