#include <gtest/gtest.h>

#include <typeinfo>

#include "instructions/operators.h"
#include "tests/instructions/plc.h"

namespace kvx {

namespace {

struct LoadCase {
    const char* line;
    const char* error; // "" when the line is accepted
};

void expectLoadErrors(std::initializer_list<LoadCase> cases) {
    for (const auto& [line, error] : cases) {
        EXPECT_EQ(loadError(line), error) << "line: " << line;
    }
}

TEST(Checks, OperandPresenceByColumn) {
    expectLoadErrors({
        // one operand
        {"LD", "Operand expected"},
        {"LD M0.0 M0.1", "no Operand expected"},
        {"= A0.0 A0.1", "no Operand expected"},
        {"SCRT", "Operand expected"},
        // none
        {"NOT M0.0", "no Operand expected"},
        {"SCRE S0.0", "no Operand expected"},
        {"EU", ""},
        // two
        {"S", "Operand expected"},
        {"S M0.0", "2nd Operand expected"},
        {"ZVR Z1", "2nd Operand expected"},
        {"TON", "Operand expected"},
        {"MOVB 5 AB0", ""},
    });
}

TEST(Checks, SecondOperandAloneIsRefusedWhereNoneIsTaken) {
    SimClock clock;
    CPU cpu(clock);
    for (const char* mnemonic : {"NOT", "LPS", "LRD", "LPP", "ULD", "OLD", "EU", "ED", "SCRE"}) {
        auto op = cpu.parserCommand(mnemonic, std::nullopt, "M0.0");
        EXPECT_EQ(errorOf([&] { op->check(); }), "no Operand expected") << mnemonic;
    }
    auto load = cpu.parserCommand("LD", std::nullopt, "M0.0");
    EXPECT_EQ(errorOf([&] { load->check(); }), "Operand expected");
}

TEST(Checks, BitReadsAndSteps) {
    expectLoadErrors({
        {"LD MB0", "Can't read a bit on parameter"},
        {"UN VW0", "Can't read a bit on parameter"},
        {"ON SMD0", "Can't read a bit on parameter"},
        {"LD T37", ""},
        {"O Z1", ""},
        {"LDN 1", ""},
        {"U SM0.1", ""},
        {"LSCR SB0", "Can't read a bit on parameter"},
        {"LSCR M0.0", "Only S possible"},
        {"SCRT T37", "Only S possible"},
        {"LSCR S0.0", ""},
        {"SCRT S1.7", ""},
    });
}

TEST(Checks, BitWritesSetAndReset) {
    expectLoadErrors({
        {"= T37", "Parametertype not possible"},
        {"= SM0.0", "Parametertype not possible"},
        {"= Z1", "Can't write a bit on parameter"},
        {"= 1", "Can't write a bit on parameter"},
        {"= E0.0", ""},
        {"S M0.0 3", ""},
        {"S Z1 VW0", "Can't write a bit on parameter"},
        {"S M0.0 VB0", "Number expected"},
        {"S M0.0 VW0", "Can't read a byte on parameter"},
        {"S M0.0 T37", "Can't read a byte on parameter"},
        {"S T37 1", "Parametertype not possible"},
        {"S T37 VB0", "Number expected"},
        {"S SM0.0 1", "Parametertype not possible"},
        {"R T37 1", ""},
        {"R T37 2", "1 as count for timers expected"},
        {"R T37 257", "1 as count for timers expected"},
        {"R Z1 1", "Can't write a bit on parameter"},
        {"R SM0.0 1", "Parametertype not possible"},
        {"R SM0.0 VB0", "Number expected"},
        {"R M0.0 0", ""},
    });
}

TEST(Checks, ByteAndWordOperands) {
    expectLoadErrors({
        {"MOVB SMB0 VB0", "Parametertype not possible"},
        {"MOVB 5 SMB0", ""},
        {"MOVB 5 6", "Can't write a byte on parameter"},
        {"MOVB VW0 6", "Can't write a byte on parameter"},
        {"MOVB VW0 VB0", "Can't read a byte on parameter"},
        {"MOVW 5 Z1", ""},
        {"MOVW 5 T37", "Can't write a word on parameter"},
        {"MOVW VB0 VW0", "Can't read a word on parameter"},
        {"MOVW SMW0 VW0", "Parametertype not possible"},
        {"MOVW T37 VW0", ""},
        {"XORB 5 AB0", ""},
        {"XORB 5 VW0", "Can't write a byte on parameter"},
        {"XORB Z1 VB0", "Can't read a byte on parameter"},
        {"XORB SMB0 VB0", "Parametertype not possible"},
        {"XORB VB0 SMB0", ""},
        {"LDW= VB0 5", "Can't read a word on parameter"},
        {"LDW= 5 VB0", "Can't read a word on parameter"},
        {"LDW= Z1 T37", ""},
        {"UB= VW0 5", "Can't read a byte on parameter"},
        {"UB= 5 VW0", "Can't read a byte on parameter"},
        {"UB= VB0 3", ""},
    });
}

TEST(Checks, TimersAndCounters) {
    expectLoadErrors({
        {"TON T37 100", ""},
        {"TON T96 VW0", ""},
        {"TON T32 Z1", ""},
        {"TON T63 1", ""},
        {"TON T127 1", ""},
        {"TON T5 100", "Timer only supports TONR"},
        {"TON T31 100", "Timer only supports TONR"},
        {"TON T64 100", "Timer only supports TONR"},
        {"TON T95 100", "Timer only supports TONR"},
        {"TON Z1 100", "Timer expected"},
        {"TON T37 VB0", "Can't read a word on parameter"},
        {"TON Z1 VB0", "Can't read a word on parameter"},
        {"ZVR Z1 10", ""},
        {"ZVR T37 10", "Counter expected"},
        {"ZVR T37 VB0", "Can't read a word on parameter"},
    });
}

TEST(Checks, MnemonicsMatchExactlyAfterTheOperands) {
    expectLoadErrors({
        {"ld M0.0", "Unknown Operation"},
        {"XYZ M0.0", "Unknown Operation"},
        {"LDNN M0.0", "Unknown Operation"},
        {"XYZ e0.0", "Unknown Parameter Type"},
        {"LD e0.0", "Unknown Parameter Type"},
        {"LD M0.0 T200", "Timer not present"},
    });
    SimClock clock;
    CPU cpu(clock);
    EXPECT_EQ(errorOf([&] { cpu.parserCommand("LD ", "M0.0", std::nullopt); }),
              "Unknown Operation");
    EXPECT_EQ(errorOf([&] { cpu.parserCommand("", std::nullopt, std::nullopt); }),
              "Unknown Operation");
}

// Every mnemonic reaches the instruction of that name, also where one mnemonic is the
// start of another (LD and LDN, U, UN and UB=, O, ON and OLD).
TEST(Checks, EveryMnemonicLoadsAsItselfAndListsBack) {
    const char* const lines[] = {
        "LDN M0.0",      "LD M0.0",    "O M0.0",       "ON M0.0",
        "U M0.0",        "UN M0.0",    "OLD",          "ULD",
        "NOT",           "R M0.0 1",   "S M0.0 1",     "LSCR S0.0",
        "SCRT S0.1",     "SCRE",       "= M0.0",       "LPS",
        "LPP",           "LRD",        "EU",           "ED",
        "MOVB 5 MB1",    "MOVW 5 MW2", "XORB MB1 MB3", "LDW= MW2 16#FF",
        "UB= MB1 2#101", "TON T37 10", "ZVR Z1 3",
    };
    SimClock clock;
    CPU cpu(clock);
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        const auto op = instruction(cpu, line);
        StringWriter out;
        op->print(out);
        EXPECT_EQ(out.str(), line);
        const std::string text = line;
        EXPECT_EQ(op->getName(), text.substr(0, text.find(' ')));
    }
}

TEST(Checks, ListingShowsTheMnemonicAndOperands) {
    SimClock clock;
    CPU cpu(clock);
    for (const char* line : {"LDW= VW0 16#FF", "= A0.0", "SCRE", "TON T37 10"}) {
        StringWriter out;
        instruction(cpu, line)->print(out);
        EXPECT_EQ(out.str(), line);
    }
}

} // namespace

} // namespace kvx
