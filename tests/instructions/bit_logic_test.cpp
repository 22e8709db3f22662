#include <gtest/gtest.h>

#include "tests/instructions/plc.h"

namespace kvx {

namespace {

class BitLogic : public OnBothScans {};
KVX_ON_BOTH_SCANS(BitLogic);

// Result of "LD M0.0 / <op> M0.1" for (M0.0, M0.1) = 00, 01, 10, 11.
struct CombineCase {
    const char* mnemonic;
    std::array<int, 4> results;
};

TEST_P(BitLogic, CombineWithOperandTruthTables) {
    const CombineCase cases[] = {
        {"U", {0, 0, 0, 1}},
        {"UN", {0, 0, 1, 0}},
        {"O", {0, 1, 1, 1}},
        {"ON", {1, 0, 1, 1}},
    };
    for (const auto& [mnemonic, results] : cases) {
        Plc plc(GetParam());
        plc.load({{"LD M0.0", std::string(mnemonic) + " M0.1", "= A0.0"}});
        for (int inputs = 0; inputs < 4; ++inputs) {
            SCOPED_TRACE(std::string(mnemonic) + " with M0.0 M0.1 = " +
                         std::to_string(inputs >> 1) + std::to_string(inputs & 1));
            plc.setBits({{"M0.0", inputs >> 1}, {"M0.1", inputs & 1}});
            plc.scan();
            EXPECT_EQ(plc.bit("A0.0"), results[static_cast<std::size_t>(inputs)]);
        }
    }
}

TEST_P(BitLogic, LoadsPushOperandBitPlainOrInverted) {
    Plc plc(GetParam());
    plc.load({{"LD M0.0", "= A0.0"}, {"LDN M0.0", "= A0.1"}, {"LD T37", "= A0.2"}});
    for (int value : {0, 1}) {
        SCOPED_TRACE(value);
        plc.setBit("M0.0", value);
        plc.scan();
        EXPECT_EQ(plc.bit("A0.0"), value);
        EXPECT_EQ(plc.bit("A0.1"), 1 - value);
        // An idle timer with preset 0 has reached its preset.
        EXPECT_EQ(plc.bit("A0.2"), 1);
    }
}

// The operand M100.0 lies past the end of area M: reading it fails, so an error shows
// whether the instruction read it.
TEST_P(BitLogic, CombinationsReadTheOperandOnlyWhenTheTopDoesNotDecide) {
    struct Case {
        const char* line;
        int top;
        bool reads;
    };
    const Case cases[] = {
        {"U M100.0", 0, false},  {"U M100.0", 1, true},  {"UN M100.0", 0, false},
        {"UN M100.0", 1, true},  {"O M100.0", 1, false}, {"O M100.0", 0, true},
        {"ON M100.0", 1, false}, {"ON M100.0", 0, true},
    };
    for (const auto& [line, top, reads] : cases) {
        SCOPED_TRACE(std::string(line) + " with top " + std::to_string(top));
        Plc plc(GetParam());
        plc.load({{"LD M0.0", line, "= A0.0"}});
        plc.setBit("M0.0", top);
        EXPECT_EQ(plc.scanError(), reads ? "Out of field read" : "");
        if (!reads) {
            EXPECT_EQ(plc.bit("A0.0"), top);
        }
    }
}

TEST_P(BitLogic, StackCombinationsLeaveOneEntry) {
    struct Case {
        const char* mnemonic;
        int first;
        int second;
        int result;
    };
    const Case cases[] = {
        {"ULD", 0, 0, 0}, {"ULD", 0, 1, 0}, {"ULD", 1, 0, 0}, {"ULD", 1, 1, 1},
        {"OLD", 0, 0, 0}, {"OLD", 0, 1, 1}, {"OLD", 1, 0, 1}, {"OLD", 1, 1, 1},
    };
    for (const auto& [mnemonic, first, second, result] : cases) {
        SCOPED_TRACE(std::string(mnemonic) + " of " + std::to_string(first) +
                     std::to_string(second));
        Plc plc(GetParam());
        plc.load({{"LD M0.0", "LD M0.1", mnemonic, "PROBE"}});
        plc.setBits({{"M0.0", first}, {"M0.1", second}});
        plc.scan();
        ASSERT_EQ(plc.probes.size(), 1u);
        EXPECT_EQ(plc.probes[0], (StackView{1, {result}}));
    }
}

TEST_P(BitLogic, NotInvertsTheTopOnly) {
    Plc plc(GetParam());
    plc.load({{"LD M0.0", "LD M0.1", "NOT", "PROBE"}});
    plc.setBits({{"M0.0", 1}, {"M0.1", 1}});
    plc.scan();
    plc.setBit("M0.1", 0);
    plc.scan();
    EXPECT_EQ(plc.probes, (std::vector<StackView>{{2, {1, 0}}, {2, {1, 1}}}));
}

TEST_P(BitLogic, BranchWithPushReadAndPop) {
    Plc plc(GetParam());
    plc.load({{"LD M0.0", "LPS", "U M0.1", "= A0.0", "LRD", "U M0.2", "= A0.1", "LPP", "U M0.3",
               "= A0.2", "PROBE"}});
    for (int inputs = 0; inputs < 16; ++inputs) {
        SCOPED_TRACE("M0.3..M0.0 = " + std::to_string(inputs));
        const int m0 = inputs & 1;
        plc.setByte("MB0", static_cast<std::uint8_t>(inputs));
        plc.probes.clear();
        plc.scan();
        EXPECT_EQ(plc.bit("A0.0"), m0 & (inputs >> 1 & 1));
        EXPECT_EQ(plc.bit("A0.1"), m0 & (inputs >> 2 & 1));
        EXPECT_EQ(plc.bit("A0.2"), m0 & (inputs >> 3 & 1));
        ASSERT_EQ(plc.probes.size(), 1u);
        EXPECT_EQ(plc.probes[0].depth, 1);
    }
}

// Each run starts right after a load, that is after a reset: the edge memory is 0, so an
// input that is already 1 in the first scan is a rising edge and never a falling one.
TEST_P(BitLogic, EdgesAreSeenInExactlyOneScan) {
    struct Case {
        const char* mnemonic;
        std::vector<int> inputs;
        std::vector<int> outputs;
    };
    const Case cases[] = {
        {"EU", {0, 1, 1, 1, 0, 1}, {0, 1, 0, 0, 0, 1}},
        {"EU", {1, 1, 0}, {1, 0, 0}},
        {"ED", {0, 1, 0, 0, 1, 0}, {0, 0, 1, 0, 0, 1}},
        {"ED", {0, 0}, {0, 0}},
    };
    for (const auto& [mnemonic, inputs, outputs] : cases) {
        Plc plc(GetParam());
        plc.load({{"LD M0.0", mnemonic, "= A0.0"}});
        std::vector<int> seen;
        for (int input : inputs) {
            plc.setBit("M0.0", input);
            plc.scan();
            seen.push_back(plc.bit("A0.0"));
        }
        EXPECT_EQ(seen, outputs) << mnemonic << " on inputs " << ::testing::PrintToString(inputs);
    }
}

TEST_P(BitLogic, ResetReArmsTheRisingEdge) {
    Plc plc(GetParam());
    plc.load({{"LD M0.0", "EU", "= A0.0"}});
    plc.setBit("M0.0", 1);
    plc.scan(2);
    EXPECT_EQ(plc.bit("A0.0"), 0);
    plc.cpu.reset();
    plc.scan();
    EXPECT_EQ(plc.bit("A0.0"), 1);
    plc.scan();
    EXPECT_EQ(plc.bit("A0.0"), 0);
}

TEST_P(BitLogic, EveryEdgeInstructionHasItsOwnMemory) {
    Plc plc(GetParam());
    plc.load({{"LD M0.0", "EU", "= A0.0"}, {"LD M0.0", "EU", "= A0.1"}});
    plc.setBit("M0.0", 1);
    plc.scan();
    EXPECT_EQ(plc.byte("AB0"), 0x03);
    plc.scan();
    EXPECT_EQ(plc.byte("AB0"), 0x00);
}

TEST_P(BitLogic, AssignmentWritesTheTopEveryScanAndKeepsIt) {
    Plc plc(GetParam());
    plc.load({{"LD M0.0", "= A0.0", "= A0.1", "PROBE"}});
    for (int value : {1, 0, 1}) {
        SCOPED_TRACE(value);
        plc.setBit("M0.0", value);
        plc.probes.clear();
        plc.scan();
        EXPECT_EQ(plc.byte("AB0"), value ? 0x03 : 0x00);
        EXPECT_EQ(plc.probes, (std::vector<StackView>{{1, {value}}}));
    }
}

TEST_P(BitLogic, SetAndResetBitRanges) {
    struct Case {
        const char* line;
        int enable;
        std::uint16_t before; // AW0: AB0 is the high byte
        std::uint16_t after;
    };
    const Case cases[] = {
        {"S A0.0 3", 1, 0x0000, 0x0700},      {"S A0.0 3", 0, 0x0000, 0x0000},
        {"S A0.6 4", 1, 0x0000, 0xC003},      {"S A0.0 256", 1, 0x0000, 0x0000},
        {"S A0.0 16#108", 1, 0x0000, 0xFF00}, {"R A0.0 3", 1, 0xFFFF, 0xF8FF},
        {"R A0.6 4", 1, 0xFFFF, 0x3FFC},      {"R A0.0 3", 0, 0xFFFF, 0xFFFF},
        {"R A0.0 0", 1, 0xFFFF, 0xFFFF},
    };
    for (const auto& [line, enable, before, after] : cases) {
        SCOPED_TRACE(std::string(line) + " with top " + std::to_string(enable));
        Plc plc(GetParam());
        plc.load({{"LD M0.0", line, "PROBE"}});
        plc.setBit("M0.0", enable);
        plc.setWord("AW0", before);
        plc.scan();
        EXPECT_EQ(plc.word("AW0"), after);
        EXPECT_EQ(plc.probes, (std::vector<StackView>{{1, {enable}}}));
    }
}

TEST_P(BitLogic, RangePastTheAreaEndKeepsTheBitsBeforeIt) {
    Plc plc(GetParam());
    plc.load({{"LD SM0.0", "S M99.6 4"}});
    // A bit write reads its byte first, so it fails as a read.
    EXPECT_EQ(plc.scanError(), "Out of field read");
    EXPECT_EQ(plc.byte("MB99"), 0xC0);
}

TEST_P(BitLogic, ResetOfATimerClearsItWhileEnabled) {
    Plc plc(GetParam());
    plc.load({{"LD M0.1", "TON T37 100"}, {"LD M0.0", "R T37 1"}});
    plc.setBit("M0.1", 1);
    plc.scan();
    plc.scanAfter(550);
    EXPECT_EQ(plc.word("T37"), 5);

    plc.setBit("M0.0", 1);
    plc.scanAfter(0);
    EXPECT_EQ(plc.word("T37"), 0);
    EXPECT_FALSE(plc.cpu.timer(37).isRunning());

    // Cleared by R and started again by TON in every scan: it never gets going.
    plc.scanAfter(550);
    EXPECT_EQ(plc.word("T37"), 0);

    plc.setBit("M0.0", 0);
    plc.scanAfter(0);
    plc.scanAfter(350);
    EXPECT_EQ(plc.word("T37"), 3);
}

// Taking more entries than the network pushed reads zeros below the bottom, raises nothing
// and never reaches outside the stack.
TEST_P(BitLogic, UnderflowReadsZerosAndRaisesNothing) {
    struct Case {
        std::vector<std::string> lines;
        StackView expected;
    };
    const Case cases[] = {
        {{"LD SM0.0", "OLD", "PROBE"}, {0, {}}},
        {{"LPP", "PROBE"}, {-1, {}}},
        {{"LPP", "LPP", "LPP", "LD SM0.0", "PROBE"}, {-2, {}}},
        {{"ULD", "ULD", "PROBE"}, {-2, {}}},
        {{"LRD", "NOT", "PROBE"}, {0, {}}},
        {{"UB= VB0 0", "PROBE"}, {0, {}}},
    };
    for (const auto& [lines, expected] : cases) {
        std::string program;
        for (const auto& line : lines) {
            program += line + " / ";
        }
        SCOPED_TRACE(program);
        Plc plc(GetParam());
        plc.load({lines, {"LD SM0.0", "= A0.0"}});
        EXPECT_EQ(plc.scanError(), "");
        ASSERT_EQ(plc.probes.size(), 1u);
        EXPECT_EQ(plc.probes[0], expected);
        // The next network starts afresh.
        EXPECT_EQ(plc.bit("A0.0"), 1);
    }
}

} // namespace

} // namespace kvx
