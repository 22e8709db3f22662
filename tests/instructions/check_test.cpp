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

TEST(Checks, EveryMnemonicMakesItsOwnClass) {
    struct Entry {
        const char* mnemonic;
        const std::type_info& type;
        int single, pop, keep, push;
    };
    const Entry table[] = {
        {"LDN", typeid(LDN_Op), 0, 0, 0, 1},   {"LD", typeid(LD_Op), 0, 0, 0, 1},
        {"O", typeid(O_Op), 0, 1, 0, 1},       {"ON", typeid(ON_Op), 0, 1, 0, 1},
        {"U", typeid(U_Op), 0, 1, 0, 1},       {"UN", typeid(UN_Op), 0, 1, 0, 1},
        {"OLD", typeid(OLD_Op), 0, 2, 0, 1},   {"ULD", typeid(ULD_Op), 0, 2, 0, 1},
        {"NOT", typeid(NOT_Op), 0, 1, 0, 1},   {"R", typeid(R_Op), 0, 0, 1, 0},
        {"S", typeid(S_Op), 0, 0, 1, 0},       {"LSCR", typeid(LSCR_Op), 0, 0, 0, 0},
        {"SCRT", typeid(SCRT_Op), 0, 0, 1, 0}, {"SCRE", typeid(SCRE_Op), 1, 0, 0, 0},
        {"=", typeid(gl_Op), 0, 0, 1, 0},      {"LPS", typeid(LPS_Op), 0, 1, 0, 2},
        {"LPP", typeid(LPP_Op), 0, 1, 0, 0},   {"LRD", typeid(LRD_Op), 0, 1, 0, 1},
        {"EU", typeid(EU_Op), 0, 1, 0, 1},     {"ED", typeid(ED_Op), 0, 1, 0, 1},
        {"MOVB", typeid(MOVB_Op), 0, 0, 1, 0}, {"MOVW", typeid(MOVW_Op), 0, 0, 1, 0},
        {"XORB", typeid(XORB_Op), 0, 0, 1, 0}, {"LDW=", typeid(LDWgl_Op), 0, 0, 0, 1},
        {"UB=", typeid(UBgl_Op), 0, 1, 0, 1},  {"TON", typeid(TON_Op), 0, 0, 1, 0},
        {"ZVR", typeid(ZVR_Op), 0, 0, 3, 0},
    };
    SimClock clock;
    CPU cpu(clock);
    for (const Entry& entry : table) {
        SCOPED_TRACE(entry.mnemonic);
        const auto op = cpu.parserCommand(entry.mnemonic, "M0.0", "5");
        const Operation& made = *op;
        EXPECT_EQ(typeid(made), entry.type);
        EXPECT_STREQ(op->getName(), entry.mnemonic);
        EXPECT_EQ(op->IsSingleType(), entry.single);
        EXPECT_EQ(op->getPopCount(), entry.pop);
        EXPECT_EQ(op->getKeepCount(), entry.keep);
        EXPECT_EQ(op->getPushCount(), entry.push);
        // The operands are handed over unchecked, in order.
        ASSERT_NE(op->getP1(), nullptr);
        ASSERT_NE(op->getP2(), nullptr);
        EXPECT_EQ(op->getP1()->getClass(), Parameter::MType);
        EXPECT_EQ(op->getP2()->getClass(), Parameter::NumType);
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
