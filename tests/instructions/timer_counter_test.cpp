#include <gtest/gtest.h>

#include "tests/instructions/plc.h"

namespace kvx {

namespace {

class TimerCounter : public OnBothScans {};
KVX_ON_BOTH_SCANS(TimerCounter);

// The timer number decides the time base; a program sees it as the time a TON with preset 10
// takes to turn its bit on, scanned every millisecond.
TEST_P(TimerCounter, OnDelayTimeFollowsTheTimerNumber) {
    const struct {
        const char* timer;
        std::uint32_t base;
    } cases[] = {
        {"T32", 1},   {"T33", 10}, {"T36", 10},  {"T37", 100},
        {"T63", 100}, {"T96", 1},  {"T100", 10}, {"T127", 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.timer);
        Plc plc(GetParam());
        plc.load({{std::string("LD M0.0"), std::string("TON ") + c.timer + " 10"},
                  {std::string("LD ") + c.timer, "= A0.0"}});
        plc.setBit("M0.0", 1);
        plc.scan();
        const std::uint32_t start = plc.now();
        while (plc.bit("A0.0") == 0 && plc.now() - start < 2000) {
            plc.scanAfter(1);
        }
        const std::uint32_t took = plc.now() - start;
        EXPECT_GE(took, 10 * c.base);
        EXPECT_LE(took, 10 * c.base + c.base + 1) << "one interval is not counted yet";
    }
}

TEST_P(TimerCounter, OnDelayTurnsOnAfterTenIntervalsAndOffAtOnce) {
    Plc plc(GetParam());
    plc.load({{"LD M0.0", "TON T37 10", "PROBE"}, {"LD T37", "= A0.0"}});
    plc.scan();
    plc.setBit("M0.0", 1);
    const std::uint32_t rose = 5000;
    plc.advanceTo(rose);
    plc.scan();
    std::uint32_t onAt = 0;
    while (plc.bit("A0.0") == 0 && plc.now() < rose + 2000) {
        plc.scanAfter(10);
        if (plc.bit("A0.0") == 1) {
            onAt = plc.now();
        }
    }
    ASSERT_NE(onAt, 0u) << "never turned on";
    EXPECT_GE(onAt - rose, 1000u);
    EXPECT_LE(onAt - rose, 1010u);
    EXPECT_EQ(plc.word("T37"), 10);

    plc.scanAfter(1000);
    EXPECT_EQ(plc.word("T37"), 20) << "counts on past the preset";

    plc.setBit("M0.0", 0);
    plc.scanAfter(0);
    EXPECT_EQ(plc.bit("A0.0"), 0);
    EXPECT_EQ(plc.word("T37"), 0);
    EXPECT_EQ(plc.probes.back(), (StackView{1, {0}}));
}

TEST_P(TimerCounter, OnDelayTakesThePresetAtEveryExecution) {
    Plc plc(GetParam());
    plc.load({{"LD M0.0", "TON T40 VW0"}, {"LD T40", "= A0.0"}});
    plc.setWord("VW0", 50);
    plc.scan();
    EXPECT_EQ(plc.cpu.timer(40).getLimit(), 50) << "taken while not enabled too";

    plc.setBit("M0.0", 1);
    plc.scan();
    plc.scanAfter(450);
    EXPECT_EQ(plc.bit("A0.0"), 0);
    // Lowering the preset of the running timer turns it on without a restart.
    plc.setWord("VW0", 4);
    plc.scanAfter(0);
    EXPECT_EQ(plc.bit("A0.0"), 1);
    EXPECT_EQ(plc.word("T40"), 4);
}

TEST_P(TimerCounter, PresetZeroIsReachedWhileDisabled) {
    Plc plc(GetParam());
    plc.load({{"LD M0.0", "TON T37 0"}, {"LD T37", "= A0.0"}});
    plc.scan();
    EXPECT_EQ(plc.bit("A0.0"), 1);
    EXPECT_FALSE(plc.cpu.timer(37).isRunning());
}

TEST_P(TimerCounter, OnDelaySaturatesAtTheTop) {
    Plc plc(GetParam());
    plc.load({{"LD SM0.0", "TON T32 1"}});
    plc.scan();
    plc.scanAfter(70000);
    EXPECT_EQ(plc.word("T32"), 65535);
    plc.scanAfter(10);
    EXPECT_EQ(plc.word("T32"), 65535);
}

TEST_P(TimerCounter, SkippedOnDelayNeitherStartsNorClears) {
    Plc plc(GetParam());
    plc.load({{"LSCR S0.1"}, {"LD M0.0", "TON T37 100"}, {"SCRE"}});
    plc.setBits({{"S0.1", 1}, {"M0.0", 1}});
    plc.scan();
    plc.scanAfter(350);
    EXPECT_EQ(plc.word("T37"), 3);

    // Inactive: the 100 ms timer stands still and is not cleared by the falling enable.
    plc.setBits({{"S0.1", 0}, {"M0.0", 0}});
    plc.scanAfter(500);
    EXPECT_EQ(plc.word("T37"), 3);

    // Back again with the enable on: it catches up on every interval since it last counted.
    plc.setBits({{"S0.1", 1}, {"M0.0", 1}});
    plc.scanAfter(0);
    EXPECT_EQ(plc.word("T37"), 8);
}

// Inputs in program order: reset M0.0, count down M0.1, count up M0.2.
const Plc::Networks upDownCounter = {
    {"LD M0.0", "LD M0.1", "LD M0.2", "ZVR Z1 10", "PROBE", "= A0.0"},
    {"LD Z1", "= A0.1"},
};

struct CountStep {
    int reset;
    int down;
    int up;
    int count;
};

void runCounter(Plc& plc, std::initializer_list<CountStep> steps) {
    int scanNo = 0;
    for (const auto& [reset, down, up, count] : steps) {
        SCOPED_TRACE("scan " + std::to_string(++scanNo) + ": reset " + std::to_string(reset) +
                     " down " + std::to_string(down) + " up " + std::to_string(up));
        plc.setBits({{"M0.0", reset}, {"M0.1", down}, {"M0.2", up}});
        plc.probes.clear();
        plc.scan();
        EXPECT_EQ(plc.cpu.counter(1).getValue(), count);
        EXPECT_EQ(plc.probes, (std::vector<StackView>{{3, {reset, down, up}}}));
        EXPECT_EQ(plc.bit("A0.0"), up) << "the count-up input stays on top";
    }
}

TEST_P(TimerCounter, UpDownCounterCountsEdges) {
    Plc plc(GetParam());
    plc.load(upDownCounter);
    runCounter(plc, {
                        {0, 0, 0, 0},
                        {0, 0, 1, 1},
                        {0, 0, 1, 1},
                        {0, 0, 1, 1},
                        {0, 0, 0, 1},
                        {0, 0, 1, 2},
                        {0, 1, 0, 1},
                        {0, 1, 0, 1},
                        {0, 1, 1, 2},
                        {0, 0, 0, 2},
                        {0, 1, 1, 2},
                        {1, 0, 0, 0},
                        {1, 0, 1, 1},
                        {1, 0, 1, 0},
                        {0, 1, 0, 0},
                    });
    EXPECT_EQ(plc.cpu.counter(1).getLimit(), 10);
}

TEST_P(TimerCounter, ResetAndUpEdgeInOneScanLeaveOne) {
    Plc plc(GetParam());
    plc.load(upDownCounter);
    plc.cpu.counter(1).setValue(7);
    runCounter(plc, {{1, 0, 1, 1}});
}

TEST_P(TimerCounter, UpDownCounterStopsAtBothEnds) {
    Plc plc(GetParam());
    plc.load(upDownCounter);
    runCounter(plc, {{0, 1, 0, 0}, {0, 0, 0, 0}, {0, 1, 0, 0}});
    plc.cpu.counter(1).setValue(65535);
    runCounter(plc, {{0, 0, 1, 65535}, {0, 0, 0, 65535}, {0, 0, 1, 65535}});
}

TEST_P(TimerCounter, CounterBitFollowsThePreset) {
    Plc plc(GetParam());
    plc.load(upDownCounter);
    plc.cpu.counter(1).setValue(9);
    plc.scan();
    EXPECT_EQ(plc.bit("A0.1"), 0);
    plc.setBit("M0.2", 1);
    plc.scan();
    EXPECT_EQ(plc.bit("A0.1"), 1);
}

TEST_P(TimerCounter, ResetReArmsTheCountingEdges) {
    Plc plc(GetParam());
    plc.load(upDownCounter);
    runCounter(plc, {{0, 0, 1, 1}, {0, 0, 1, 1}});
    plc.cpu.reset();
    runCounter(plc, {{0, 0, 1, 2}});
}

TEST_P(TimerCounter, UpDownCounterOnAShortStackRaisesNothing) {
    Plc plc(GetParam());
    plc.load({{"ZVR Z1 10", "PROBE"}, {"LD SM0.0", "ZVR Z2 10", "PROBE"}});
    EXPECT_EQ(plc.scanError(), "");
    EXPECT_EQ(plc.probes.size(), 2u);
    EXPECT_EQ(plc.probes[1], (StackView{1, {1}}));
    EXPECT_EQ(plc.cpu.counter(2).getValue(), 1);
}

} // namespace

} // namespace kvx
