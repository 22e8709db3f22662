#include <gtest/gtest.h>

#include <string>

#include "core/common.h"
#include "session/session.h"

namespace kvx {

namespace {

const std::string Lamp = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n"
                         "LD E0.0\n= A0.0\nEND_ORGANIZATION_BLOCK\n";
// Sets bits past the end of area V whenever E0.7 is on.
const std::string Faulting = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n"
                             "LD E0.0\n= A0.1\nNETWORK 2\nLD E0.7\nS V99.0 9\n"
                             "END_ORGANIZATION_BLOCK\n";

std::string listing(const Session& s) {
    StringWriter w;
    s.cpu().print(w);
    return w.str();
}

TEST(Session, StartsStoppedWithoutProgram) {
    Session s;
    EXPECT_FALSE(s.isRunning());
    EXPECT_FALSE(s.hasProgram());
    EXPECT_EQ(s.tick(), std::nullopt);
    EXPECT_EQ(s.cpu().scanCount(), 0u) << "a stopped session does not scan";
    EXPECT_EQ(s.now(), 0u);
}

TEST(Session, LoadInstallsResetsAndRuns) {
    Session s;
    ASSERT_EQ(s.loadText(Lamp), std::nullopt);
    EXPECT_TRUE(s.isRunning());
    EXPECT_EQ(s.cpu().area(Parameter::SMType).readBit(0, 1), 1) << "first-scan bit set";
    s.panel().ChangeInput(0);
    EXPECT_EQ(s.tick(), std::nullopt);
    EXPECT_EQ(s.leds(), "A0.7..A0.0 00000001");
}

TEST(Session, FailedLoadChangesNothing) {
    for (const bool running : {true, false}) {
        Session s;
        ASSERT_EQ(s.loadText(Lamp), std::nullopt);
        if (!running) {
            s.stop();
        }
        const std::string before = listing(s);
        const auto error = s.loadText(Lamp + "garbage\n");
        ASSERT_TRUE(error.has_value());
        EXPECT_STREQ(error->getText(), "Parse-error(7):ORGANIZATION_BLOCK expected");
        EXPECT_EQ(error->getLine(), 7);
        EXPECT_EQ(listing(s), before);
        EXPECT_EQ(s.isRunning(), running) << "the run state is kept";
    }
}

TEST(Session, LoadErrorsWithoutLineCarryNone) {
    Session s;
    const auto error = s.loadFile("/nonexistent/dir/prog.awl");
    ASSERT_TRUE(error.has_value());
    EXPECT_STREQ(error->getText(), "File /nonexistent/dir/prog.awl not found");
    EXPECT_EQ(error->getLine(), std::nullopt);
    const auto scanner = s.loadText("ORGANIZATION_BLOCK MAIN:OB1\n;\n");
    ASSERT_TRUE(scanner.has_value());
    EXPECT_STREQ(scanner->getText(), "Unexpected text(2):;");
    EXPECT_EQ(scanner->getLine(), 2);
}

// The program's coil comes after the inputs are forced; the output must be forced again
// before the LEDs take it.
TEST(Session, ForcedOutputBeatsTheProgramOnTheLed) {
    Session s;
    ASSERT_EQ(s.loadText(Lamp), std::nullopt);
    ASSERT_EQ(s.force("A0.0", 1), std::nullopt);
    EXPECT_EQ(s.scan(), std::nullopt);
    EXPECT_EQ(s.leds(), "A0.7..A0.0 00000001");
    s.release("A0.0");
    EXPECT_EQ(s.scan(), std::nullopt);
    EXPECT_EQ(s.leds(), "A0.7..A0.0 00000000");
}

TEST(Session, FaultStopsTheRunAndKeepsTheCpu) {
    Session s;
    ASSERT_EQ(s.loadText(Faulting), std::nullopt);
    s.panel().ChangeInput(0);
    ASSERT_EQ(s.tick(), std::nullopt);
    s.panel().ChangeInput(7);
    const auto fault = s.tick();
    ASSERT_TRUE(fault.has_value());
    EXPECT_STREQ(fault->getText(), "Out of field read");
    EXPECT_FALSE(s.isRunning());
    EXPECT_EQ(s.tick(), std::nullopt) << "stopped: no second report";
    EXPECT_EQ(s.leds(), "A0.7..A0.0 00000010") << "outputs of the last good scan";

    // A single step runs even while stopped; once the cause is gone the CPU runs on.
    s.panel().ChangeInput(7);
    EXPECT_EQ(s.scan(), std::nullopt);
    s.run();
    EXPECT_EQ(s.tick(), std::nullopt);
    EXPECT_TRUE(s.isRunning());
}

TEST(Session, ResetKeepsRunStateAndMemory) {
    Session s;
    ASSERT_EQ(s.loadText(Lamp), std::nullopt);
    s.cpu().area(Parameter::MType).writeByte(3, 0x5A);
    ASSERT_EQ(s.scan(), std::nullopt);
    s.stop();
    s.reset();
    EXPECT_FALSE(s.isRunning());
    EXPECT_EQ(s.cpu().area(Parameter::SMType).readBit(0, 1), 1);
    EXPECT_EQ(s.cpu().area(Parameter::MType).readByte(3), 0x5A);
}

// Urlöschen leaves nothing of the last program behind: a lamp it lit goes out at once, even
// while stopped, and timers and counters start as new.
TEST(Session, ClearMemoryEmptiesAreasTimersCountersAndLeds) {
    Session s;
    ASSERT_EQ(s.loadText("ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\nLD SM0.0\n= A0.3\n"
                         "TON T37 20\nLD SM0.0\nLD SM0.0\nLD SM0.0\nZVR Z1 5\n"
                         "END_ORGANIZATION_BLOCK\n"),
              std::nullopt);
    s.setSwitch(2, 1);
    ASSERT_EQ(s.scan(), std::nullopt);
    s.advance(500);
    ASSERT_EQ(s.scan(), std::nullopt);
    s.cpu().area(Parameter::VType).writeByte(99, 7);
    s.stop();
    ASSERT_EQ(s.panel().OutState[3], 1);
    ASSERT_NE(s.cpu().timer(37).getValue(), 0);
    s.clearMemory();
    EXPECT_FALSE(s.isRunning());
    EXPECT_TRUE(s.hasProgram());
    EXPECT_EQ(s.panel().OutState[3], 0);
    EXPECT_EQ(s.panel().InState[2], 1) << "the switches are the user's, not memory";
    EXPECT_EQ(s.cpu().area(Parameter::AType).readByte(0), 0);
    EXPECT_EQ(s.cpu().area(Parameter::VType).readByte(99), 0);
    EXPECT_EQ(s.cpu().area(Parameter::SMType).readBit(0, 1), 1) << "and then a reset";
    EXPECT_FALSE(s.cpu().timer(37).isRunning());
    EXPECT_EQ(s.cpu().timer(37).getValue(), 0);
    EXPECT_EQ(s.cpu().timer(37).getLimit(), 0);
    EXPECT_EQ(s.cpu().counter(1).getValue(), 0);
    EXPECT_EQ(s.cpu().counter(1).getLimit(), 0);
}

TEST(Session, SimulatedTimeMovesByTheStepAfterEachScan) {
    Session s;
    ASSERT_EQ(s.loadText(Lamp), std::nullopt);
    (void)s.scan();
    EXPECT_EQ(s.now(), 1u);
    s.setStep(100);
    (void)s.scan();
    (void)s.tick();
    EXPECT_EQ(s.now(), 201u);
    s.setStep(0);
    (void)s.scan();
    s.advance(50);
    EXPECT_EQ(s.now(), 251u);
}

// The factor slows the time from the moment it is chosen: it never jumps, either way.
TEST(Session, FaktorStaysWithinLimitsAndSlowsRealTimeFromThenOn) {
    SimClock ticks;
    ticks.set(12000);
    Session s(ticks);
    EXPECT_EQ(s.now(), 12000u);
    s.faster();
    EXPECT_EQ(s.faktor(), Session::MinFaktor);
    s.slower();
    s.slower();
    EXPECT_EQ(s.faktor(), 3);
    EXPECT_EQ(s.now(), 12000u);
    ticks.advance(3002);
    EXPECT_EQ(s.now(), 13000u);
    for (int i = 0; i < 2000; ++i) {
        s.slower();
    }
    EXPECT_EQ(s.faktor(), Session::MaxFaktor);
    ticks.advance(2000);
    EXPECT_EQ(s.now(), 13002u);
    s.realTime();
    EXPECT_EQ(s.faktor(), 1);
    ticks.advance(5);
    EXPECT_EQ(s.now(), 13007u);
    // Real time is not moved by scans: the step belongs to simulated time only.
    ASSERT_EQ(s.loadText(Lamp), std::nullopt);
    (void)s.scan();
    EXPECT_EQ(s.now(), 13007u);
}

} // namespace

} // namespace kvx
