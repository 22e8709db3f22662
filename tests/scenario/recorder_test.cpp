#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "core/clock.h"
#include "fuzz/replay_session.h"
#include "loader/reader.h"
#include "scenario/program_file.h"
#include "scenario/recorder.h"
#include "scenario/scenario.h"
#include "session/operand_access.h"
#include "session/session.h"

namespace kvx {
namespace {

TEST(Recorder, ScansKeepTheirMillisecondsAndLinesTheirPlaceBetweenScans) {
    std::ostringstream out;
    ScenarioWriter w(out);
    w.line(0, "set MB0 16#01");
    w.line(40, "set T37 2 running", true);
    for (std::uint32_t at : {100u, 110u, 120u, 130u}) {
        w.scan(at);
    }
    w.line(131, "set E0.0 1");
    w.scan(135);
    w.scan(135);
    w.line(140, "set T37 0", true);
    w.scan(500);
    // A slower speed: three scans to a millisecond.
    for (std::uint32_t at : {600u, 600u, 600u, 601u, 601u, 601u, 602u, 602u}) {
        w.scan(at);
    }
    w.flush();
    EXPECT_EQ(out.str(), "set MB0 16#01\nidle 40\nset T37 2 running\nidle 60\nstep 10\nscan 3\n"
                         "step 5\nscan\nset E0.0 1\nstep 0\nscan 2\nidle 5\nset T37 0\n"
                         "idle 360\nscan\nidle 100\nstep 1/3\nscan 8\n");
}

// The head re-creates what came before the recording, so its replay needs nothing else.
TEST(Recorder, TheHeadRecreatesTheStateTheSessionWasIn) {
    SimClock ticks;
    Session s(ticks);
    ASSERT_EQ(s.loadText("ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\nLD E0.0\nTON T37 20\n"
                         "LD E0.1\nLD E0.2\nLD E0.3\nZVR Z1 5\nEND_ORGANIZATION_BLOCK\n"),
              std::nullopt);
    s.setSwitch(0, 1);
    ticks.set(1000);
    (void)s.tick();
    ticks.set(1350);
    (void)s.tick();
    OperandRef counter(s.cpu(), "Z1");
    s.write(counter, parseConstant(s.cpu(), "3"));
    OperandRef lamp(s.cpu(), "A0.6");
    ASSERT_EQ(s.force(lamp, parseConstant(s.cpu(), "1")), std::nullopt);
    std::ostringstream out;
    SessionRecorder rec(s, out, "t.awl", "d");
    ticks.set(1400);
    (void)s.tick();
    rec.finish();
    const std::string text = out.str();
    const std::string body = text.substr(text.find("set EB0"));
    EXPECT_EQ(body, "set EB0 16#01\npreset T37 20\nset Z1 3\npreset Z1 5\nset E0.0 1\n"
                    "force A0.6 1\nidle 1300\nset T37 3 running\n# recording starts\n"
                    "idle 100\nscan\nexpect AB0 2#01000000\n# end of recording\n");
}

// The recording so far tests the program as it was: a reload of the same program is a reset,
// a changed one ends the recording.
TEST(Recorder, AReloadIsAResetAndAnotherProgramEndsTheRecording) {
    const std::string lamp = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\nLD E0.0\n= A0.0\n"
                             "END_ORGANIZATION_BLOCK\n";
    Session s;
    ASSERT_EQ(s.loadText(lamp), std::nullopt);
    std::ostringstream out;
    SessionRecorder rec(s, out, "lamp.awl", "d");
    ASSERT_EQ(s.loadText(lamp), std::nullopt);
    EXPECT_TRUE(rec.recordsInstalledProgram());
    std::string changed = lamp;
    changed.replace(changed.find("A0.0"), 4, "A0.1");
    ASSERT_EQ(s.loadText(changed), std::nullopt);
    s.setSwitch(0, 1);
    const std::string text = out.str();
    EXPECT_NE(text.find("# reloaded\nreset\n# another program was loaded"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("set E0.0"), std::string::npos) << text;
}

// The replay clears where the window did: the counter (up on E0.2) starts again from 0, so
// the outputs after the clear differ from a replay that leaves it out.
TEST(Recorder, UrloeschenIsRecordedAsClearAndReplays) {
    const std::string program = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\nLD E0.0\n"
                                "LD E0.1\nLD E0.2\nZVR Z1 2\nLD Z1\n= A0.0\n"
                                "END_ORGANIZATION_BLOCK\n";
    SimClock ticks;
    Session s(ticks);
    ASSERT_EQ(s.loadText(program), std::nullopt);
    std::ostringstream out;
    SessionRecorder rec(s, out, "t.awl", "d");
    for (int flip = 0; flip < 4; ++flip) {
        s.setSwitch(2, 1 - s.panel().InState[2]);
        ticks.advance(10);
        (void)s.tick();
    }
    ASSERT_EQ(s.panel().OutState[0], 1);
    s.clearMemory();
    ticks.advance(10);
    (void)s.tick();
    rec.finish();
    const std::string text = out.str();
    ASSERT_NE(text.find("\nclear\n"), std::string::npos) << text;
    std::ostringstream messages;
    StringRead scenario(text);
    const ScenarioReport report =
        runScenario(ProgramFile::fromText("t.awl", program), "r.scn", scenario, messages);
    EXPECT_EQ(report.failed(), 0u) << messages.str() << text;
    EXPECT_GT(report.passed, 0);
}

TEST(Recorder, AThousandRandomSessionsReplayScanByScan) {
    for (std::uint32_t seed = 0; seed < 1000; ++seed) {
        const std::string difference = replay::checkSession(seed, 60);
        ASSERT_EQ(difference, "") << "seed " << seed;
    }
}

} // namespace
} // namespace kvx
