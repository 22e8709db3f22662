// The bit-logic steps as truth tables, read off their one behaviour (instructions/bit_logic.h)
// at compile time: what each kind does to the top, to the stack pointer and to its operand bit,
// for every top, entry below the top and operand bit. A plain scan may run a stretch of these
// steps from the tables without a branch on their kinds or their data, so that bit logic in an
// order the branch predictor cannot learn costs no more than in one it can.
#pragma once

#include <array>
#include <cstdint>

#include "core/decoded.h"
#include "core/decoded_machine.h"
#include "instructions/bit_logic.h"

namespace kvx {

struct TruthTable {
    // Bit index(top, below, bit) of `top` and `bit` is the new top and the operand bit's new
    // value; the scan computes the index as bit + 2 * top + 4 * below.
    std::uint8_t top = 0;
    std::uint8_t bit = 0;
    // How the stack pointer moves; a push leaves the old top above the entry below it.
    std::int8_t move = 0;
    // Four bytes, so that the scan finds a kind's table with a scaled index.
    std::uint8_t unused = 0;

    static constexpr unsigned index(bool top, bool below, bool bit) noexcept {
        return (bit ? 1u : 0u) | (top ? 2u : 0u) | (below ? 4u : 0u);
    }
};

inline constexpr std::uint8_t LastLogic = step::Lpp;
static_assert(step::Ld == 0, "the scan finds a table by the kind alone");

using TruthTableSet = std::array<TruthTable, LastLogic + 1>;

constexpr bool isLogic(std::uint8_t kind) noexcept {
    return kind <= LastLogic;
}

namespace truth {

// The behaviour reached past what a truth table can say.
struct Untabulated {};

struct ProbeBit {};

// The three top entries and one operand bit, as a behaviour sees them.
class ProbeMachine final {
public:
    static constexpr bool ReadsCannotFault = true;

    constexpr ProbeMachine(bool top, bool below, bool bit) noexcept
        : entries{0, below ? 1 : 0, 0}, topOf(top ? 1 : 0), operand(bit) {}

    constexpr int top() const noexcept { return topOf; }
    constexpr int below() const noexcept { return entries[sp - 1]; }
    constexpr void setTop(int value) noexcept { topOf = value; }
    constexpr void push(int value) {
        if (sp == entries.size()) {
            throw Untabulated{};
        }
        entries[sp++] = topOf;
        topOf = value;
    }
    constexpr int pop() {
        // The entry under the one below is nothing a table holds.
        if (sp == 1) {
            throw Untabulated{};
        }
        const int value = topOf;
        topOf = entries[--sp];
        return value;
    }

    constexpr bool bit(ProbeBit) const noexcept { return operand; }
    constexpr void setBit(ProbeBit, int value) noexcept { operand = value != 0; }
    constexpr void setRangeWhen(bool when, ProbeBit, decoded::OneBit, int value) noexcept {
        if (when) {
            operand = value != 0;
        }
    }
    static constexpr bool isTimer(ProbeBit) noexcept { return false; }
    static constexpr void resetTimer(ProbeBit) noexcept {}

    // The table's row for this machine's inputs, once the behaviour has run; throws where the
    // entries below the new top are not what the scan's form of a push or pop leaves.
    constexpr void record(TruthTable& table, unsigned index, int oldTop, int oldBelow) const {
        const int move = static_cast<int>(sp) - 2;
        const bool kept =
            move < 0 || (entries[1] == oldBelow && (move == 0 || entries[2] == oldTop));
        if (!kept || (topOf != 0 && topOf != 1)) {
            throw Untabulated{};
        }
        if (index != 0 && move != table.move) {
            throw Untabulated{};
        }
        table.move = static_cast<std::int8_t>(move);
        table.top = static_cast<std::uint8_t>(table.top | (topOf != 0 ? 1u : 0u) << index);
        table.bit = static_cast<std::uint8_t>(table.bit | (operand ? 1u : 0u) << index);
    }

private:
    std::array<int, 3> entries;
    std::size_t sp = 2;
    int topOf;
    bool operand;
};

template <class Behaviour, class Second = decoded::NoOperand>
constexpr TruthTable tabulate(Second second = {}) {
    TruthTable table;
    for (const bool top : {false, true}) {
        for (const bool below : {false, true}) {
            for (const bool bit : {false, true}) {
                ProbeMachine m(top, below, bit);
                Behaviour::run(m, ProbeBit{}, second);
                m.record(table, TruthTable::index(top, below, bit), top, below);
            }
        }
    }
    return table;
}

constexpr TruthTableSet tabulateAll() {
    TruthTableSet tables;
    unsigned filled = 0;
    const auto put = [&tables, &filled ](std::uint8_t kind, TruthTable table) constexpr {
        tables[kind] = table;
        filled |= 1u << kind;
    };
    using namespace step;
    put(Ld, tabulate<op::Ld>());
    put(Ldn, tabulate<op::Ldn>());
    put(And, tabulate<op::And>());
    put(AndNot, tabulate<op::AndNot>());
    put(Or, tabulate<op::Or>());
    put(OrNot, tabulate<op::OrNot>());
    put(Assign, tabulate<op::Assign>());
    put(Set1, tabulate<op::Set>(decoded::OneBit{}));
    put(Reset1, tabulate<op::Reset>(decoded::OneBit{}));
    put(AndBlock, tabulate<op::AndBlock>());
    put(OrBlock, tabulate<op::OrBlock>());
    put(Not, tabulate<op::Not>());
    put(Lps, tabulate<op::Lps>());
    put(Lrd, tabulate<op::Lrd>());
    put(Lpp, tabulate<op::Lpp>());
    if (filled != (1u << tables.size()) - 1) {
        throw Untabulated{};
    }
    return tables;
}

} // namespace truth

// The table of `kind` is at `kind`. Every behaviour from Ld to Lpp reads at most the
// top, the entry below it and its bit, and moves the stack by one entry at most; one that does
// more throws while the tables are computed, and so does not compile.
inline constexpr TruthTableSet TruthTables = truth::tabulateAll();

} // namespace kvx
