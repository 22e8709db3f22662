#include <gtest/gtest.h>

#include "tests/instructions/plc.h"

namespace kvx {

namespace {

class SequenceControl : public OnBothScans {};
KVX_ON_BOTH_SCANS(SequenceControl);

// Two steps: S0.1 moves on to S0.2 when M0.0 is 1. A0.3 counts as "the rest of the step
// ran": it is set after the transition and by a later network of the same step.
const Plc::Networks twoSteps = {
    {"LD SM0.1", "S S0.1 1"},
    {"LSCR S0.1"},
    {"LD M0.0", "SCRT S0.2", "S A0.3 1"},
    {"LD SM0.0", "= A0.0", "S A0.4 1"},
    {"SCRE"},
    {"LSCR S0.2"},
    {"= A0.2"},
    {"SCRE"},
    {"LD SM0.0", "= A0.7"},
};

TEST_P(SequenceControl, StepMovesOnAndSkipsTheRestOfItsSegment) {
    Plc plc(GetParam());
    plc.load(twoSteps);
    plc.scan();
    EXPECT_EQ(plc.byte("SB0"), 0x02);
    EXPECT_EQ(plc.byte("AB0"), 0x91); // A0.0, A0.4, A0.7

    plc.setByte("AB0", 0);
    plc.setBit("M0.0", 1);
    plc.scan();
    EXPECT_EQ(plc.byte("SB0"), 0x04) << "S0.1 cleared, S0.2 set";
    EXPECT_EQ(plc.bit("A0.3"), 0) << "rest of the transition's network skipped";
    EXPECT_EQ(plc.bit("A0.4"), 0) << "later networks of the step skipped";
    EXPECT_EQ(plc.bit("A0.2"), 1) << "the next step's segment is active in the same scan";
    EXPECT_EQ(plc.bit("A0.7"), 1) << "after SCRE everything runs";

    plc.setByte("AB0", 0);
    plc.scan();
    EXPECT_EQ(plc.byte("SB0"), 0x04);
    EXPECT_EQ(plc.byte("AB0"), 0x84); // A0.2, A0.7
}

TEST_P(SequenceControl, InactiveSegmentHasNoEffectUntilItsEnd) {
    Plc plc(GetParam());
    plc.load({{"LSCR S0.1"},
              {"LD SM0.0", "= A0.0", "S A0.1 1", "MOVB 16#FF VB0", "PROBE"},
              {"SCRE", "LD SM0.0", "= A0.7"}});
    plc.setByte("AB0", 0x01);
    plc.scan();
    EXPECT_EQ(plc.byte("AB0"), 0x81);
    EXPECT_EQ(plc.byte("VB0"), 0);
    EXPECT_TRUE(plc.probes.empty());
}

TEST_P(SequenceControl, NetworksInsideASegmentStartWithItsState) {
    Plc plc(GetParam());
    plc.load({{"LSCR S0.1", "PROBE"}, {"PROBE", "= A0.0"}, {"SCRE"}, {"PROBE"}});
    plc.setBit("S0.1", 1);
    plc.scan();
    // The LSCR's own network gets no state; the next does; after SCRE none.
    EXPECT_EQ(plc.probes, (std::vector<StackView>{{0, {}}, {1, {1}}, {0, {}}}));
    EXPECT_EQ(plc.bit("A0.0"), 1);
}

TEST_P(SequenceControl, TransitionAloneInANetworkActsUnconditionally) {
    Plc plc(GetParam());
    plc.load({{"LSCR S0.1"}, {"SCRT S0.2"}, {"SCRE"}});
    plc.setBit("S0.1", 1);
    plc.scan();
    EXPECT_EQ(plc.byte("SB0"), 0x04);
}

TEST_P(SequenceControl, UnclosedInactiveSegmentSkipsTheNextSegment) {
    Plc plc(GetParam());
    plc.load({{"LSCR S0.1"}, {"= A0.1"}, {"LSCR S0.2"}, {"= A0.2"}, {"SCRE"}});
    plc.setByte("SB0", 0x04); // S0.2 only
    plc.scan();
    EXPECT_EQ(plc.byte("AB0"), 0);

    plc.setByte("SB0", 0x06); // both: the second LSCR simply replaces the first
    plc.scan();
    EXPECT_EQ(plc.byte("AB0"), 0x06);
}

TEST_P(SequenceControl, EdgeInsideAnInactiveSegmentKeepsItsMemory) {
    Plc plc(GetParam());
    plc.load({{"LSCR S0.1"}, {"LD M0.0", "EU", "= A0.0"}, {"SCRE"}});
    plc.setBits({{"S0.1", 1}, {"M0.0", 1}});
    plc.scan();
    EXPECT_EQ(plc.bit("A0.0"), 1);

    // The input falls while the segment is inactive: the EU does not see it...
    plc.setBits({{"S0.1", 0}, {"M0.0", 0}});
    plc.scan();
    EXPECT_EQ(plc.bit("A0.0"), 1) << "skipped instructions write nothing";

    // ...so when the segment comes back with the input at 1 there is no new edge.
    plc.setBits({{"S0.1", 1}, {"M0.0", 1}});
    plc.scan();
    EXPECT_EQ(plc.bit("A0.0"), 0);
}

TEST_P(SequenceControl, TransitionWithoutAnyStepSetsOnlyItsOwnBit) {
    Plc plc(GetParam());
    plc.load({{"LD M0.0", "SCRT S0.2", "S A0.0 1"}, {"SCRE", "LD SM0.0", "= A0.7"}});
    plc.setByte("SB0", 0x03);
    plc.scan();
    EXPECT_EQ(plc.byte("SB0"), 0x03) << "top 0: nothing happens";
    EXPECT_EQ(plc.byte("AB0"), 0x80);

    plc.setByte("AB0", 0);
    plc.setBit("M0.0", 1);
    plc.scan();
    EXPECT_EQ(plc.byte("SB0"), 0x07) << "no bit cleared";
    EXPECT_EQ(plc.byte("AB0"), 0x80) << "rest up to SCRE skipped";
}

// The step bit of the last LSCR belongs to its program: after another program is installed
// a transition must neither clear it nor touch the freed operand.
TEST_P(SequenceControl, TransitionNeverTouchesTheStepOfAReplacedProgram) {
    Plc plc(GetParam());
    plc.load({{"LSCR S0.1"}, {"SCRE"}});
    plc.setBit("S0.1", 1);
    plc.scan();

    plc.load({{"LD SM0.0", "SCRT S0.2"}});
    plc.scan();
    EXPECT_EQ(plc.byte("SB0"), 0x06);
}

TEST_P(SequenceControl, TransitionOutsideASegmentClearsTheLastStep) {
    Plc plc(GetParam());
    plc.load({{"LSCR S0.1"}, {"SCRE"}, {"LD M0.0", "SCRT S0.2"}, {"LD SM0.0", "= A0.0"}});
    plc.setBits({{"S0.1", 1}, {"M0.0", 1}});
    plc.scan();
    EXPECT_EQ(plc.byte("SB0"), 0x04);
    EXPECT_EQ(plc.bit("A0.0"), 0) << "the rest of the block is skipped without an SCRE";
}

} // namespace

} // namespace kvx
