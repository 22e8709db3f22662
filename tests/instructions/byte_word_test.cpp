#include <gtest/gtest.h>

#include "tests/instructions/plc.h"

namespace kvx {

namespace {

class ByteWord : public OnBothScans {};
KVX_ON_BOTH_SCANS(ByteWord);

TEST_P(ByteWord, MovesActOnlyWhileEnabledAndKeepTheStack) {
    struct Case {
        const char* line;
        const char* destination; // a byte or word operand
        int expected;
    };
    const Case cases[] = {
        {"MOVB 5 AB0", "AB0", 5},        {"MOVB 16#1FF VB1", "VB1", 0xFF},
        {"MOVB VB2 VB2", "VB2", 0x42},   {"MOVB 5 SMB10", "SMB10", 5},
        {"MOVW 300 VW4", "VW4", 300},    {"MOVW 16#12345 VW4", "VW4", 0x2345},
        {"MOVW VW2 MW0", "MW0", 0x4200},
    };
    for (const auto& [line, destination, expected] : cases) {
        for (int enable : {0, 1}) {
            SCOPED_TRACE(std::string(line) + " with top " + std::to_string(enable));
            Plc plc(GetParam());
            plc.load({{"LD M10.0", line, "PROBE"}});
            plc.setByte("VB2", 0x42);
            plc.setBit("M10.0", enable);
            plc.scan();
            const bool isWord = std::string_view(destination).find('W') != std::string_view::npos;
            const int value = isWord ? plc.word(destination) : plc.byte(destination);
            const int untouched = std::string_view(destination) == "VB2" ? 0x42 : 0;
            EXPECT_EQ(value, enable ? expected : untouched);
            EXPECT_EQ(plc.probes, (std::vector<StackView>{{1, {enable}}}));
        }
    }
}

TEST_P(ByteWord, WordMovesReachCountersAndTimers) {
    Plc plc(GetParam());
    plc.load({{"LD M0.0", "MOVW 7 Z1", "MOVW T37 VW0"}});
    plc.cpu.timer(37).setActive(1);
    plc.session.advance(1250);
    plc.cpu.timer(37).Increment();
    plc.setBit("M0.0", 1);
    plc.scan();
    EXPECT_EQ(plc.cpu.counter(1).getValue(), 7);
    EXPECT_EQ(plc.word("VW0"), 12);
}

TEST_P(ByteWord, ExclusiveOrTogglesEveryEnabledScan) {
    Plc plc(GetParam());
    plc.load({{"LD M0.0", "XORB 255 AB0", "PROBE"}});
    plc.setByte("AB0", 0x0F);
    std::vector<int> seen;
    for (int enable : {1, 1, 1, 0, 1}) {
        plc.setBit("M0.0", enable);
        plc.scan();
        seen.push_back(plc.byte("AB0"));
    }
    EXPECT_EQ(seen, (std::vector<int>{0xF0, 0x0F, 0xF0, 0xF0, 0x0F}));
    EXPECT_EQ(plc.probes.back(), (StackView{1, {1}}));
}

TEST_P(ByteWord, ExclusiveOrOfTwoMemoryBytes) {
    Plc plc(GetParam());
    plc.load({{"LD SM0.0", "XORB VB0 VB1"}});
    plc.setByte("VB0", 0x3C);
    plc.setByte("VB1", 0x0F);
    plc.scan();
    EXPECT_EQ(plc.byte("VB0"), 0x3C);
    EXPECT_EQ(plc.byte("VB1"), 0x33);
}

TEST_P(ByteWord, WordCompareStartsANewEntry) {
    struct Case {
        const char* line;
        int vw0;
        int result;
    };
    const Case cases[] = {
        {"LDW= VW0 300", 300, 1}, {"LDW= VW0 300", 301, 0},  {"LDW= VW0 65836", 300, 1},
        {"LDW= 300 VW0", 300, 1}, {"LDW= VW0 -1", 65535, 1}, {"LDW= VW0 16#FFFF", 65534, 0},
    };
    for (const auto& [line, vw0, result] : cases) {
        SCOPED_TRACE(std::string(line) + " with VW0 = " + std::to_string(vw0));
        Plc plc(GetParam());
        // The compare ignores the entry below it.
        plc.load({{"LD SM0.0", line, "PROBE"}});
        plc.setWord("VW0", static_cast<std::uint16_t>(vw0));
        plc.scan();
        EXPECT_EQ(plc.probes, (std::vector<StackView>{{2, {1, result}}}));
    }
}

TEST_P(ByteWord, ByteCompareAndsWithTheTop) {
    struct Case {
        int enable;
        int vb0;
        int result;
    };
    const Case cases[] = {{0, 3, 0}, {1, 3, 1}, {1, 4, 0}, {0, 4, 0}};
    for (const auto& [enable, vb0, result] : cases) {
        SCOPED_TRACE("top " + std::to_string(enable) + ", VB0 = " + std::to_string(vb0));
        Plc plc(GetParam());
        plc.load({{"LD M0.0", "UB= VB0 3", "PROBE"}});
        plc.setBit("M0.0", enable);
        plc.setByte("VB0", static_cast<std::uint8_t>(vb0));
        plc.scan();
        EXPECT_EQ(plc.probes, (std::vector<StackView>{{1, {result}}}));
    }
}

// VB100 lies past the end of area V, so only an actual read of it fails.
TEST_P(ByteWord, ByteCompareReadsOnlyWhenEnabled) {
    Plc plc(GetParam());
    plc.load({{"LD M0.0", "UB= VB100 3"}});
    EXPECT_EQ(plc.scanError(), "");
    plc.setBit("M0.0", 1);
    EXPECT_EQ(plc.scanError(), "Out of field read");
}

} // namespace

} // namespace kvx
