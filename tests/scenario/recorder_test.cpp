#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "scenario/recorder.h"
#include "session/session.h"

namespace kvx {
namespace {

using Panel = ScenarioRecorder::Panel;

Panel leds(int byte) {
    Panel p{};
    for (int bit = 0; bit < 8; ++bit) {
        p[static_cast<std::size_t>(bit)] = (byte >> bit) & 1;
    }
    return p;
}

TEST(Recorder, EventsAndSettledLedsWithTheTimeBetween) {
    std::ostringstream out;
    Panel switches{};
    switches[3] = 1;
    ScenarioRecorder rec(out, "motor.awl", "2026-12-08", 1000, switches);
    for (std::uint32_t t = 1001; t <= 1010; ++t) {
        rec.scanned(t, leds(0));
    }
    rec.switchSet(1010, 0, 1);
    // The LED follows one scan later and stays.
    for (std::uint32_t t = 1011; t <= 1020; ++t) {
        rec.scanned(t, leds(t >= 1012 ? 0x02 : 0));
    }
    rec.reset(1025);
    rec.finish(1030);
    EXPECT_EQ(out.str(), "# Recorded in the simulator window from motor.awl on 2026-12-08.\n"
                         "# Replay: kvx test PROGRAM THIS-FILE\n"
                         "step 1\n"
                         "set E0.3 1\n"
                         "reset\n"
                         "wait 10\n"
                         "set E0.0 1\n"
                         "wait 5\n"
                         "expect AB0 2#00000010\n"
                         "wait 10\n"
                         "reset\n"
                         "wait 5\n"
                         "# end of recording\n");
}

TEST(Recorder, AStateShorterThanTheSettlingTimeIsNotChecked) {
    std::ostringstream out;
    ScenarioRecorder rec(out, "p.awl", "d", 0, Panel{});
    rec.scanned(1, leds(1));
    rec.switchSet(2, 1, 1); // one scan after the change: a race between the two clocks
    rec.scanned(3, leds(1));
    rec.scanned(10, leds(1));
    rec.finish(10);
    const std::string text = out.str();
    EXPECT_EQ(text.find("expect"), std::string::npos) << text;
}

TEST(Recorder, StoppedTimeAddsNoScansAndSingleStepsAreScans) {
    std::ostringstream out;
    ScenarioRecorder rec(out, "p.awl", "d", 0, Panel{});
    rec.scanned(4, leds(0));
    rec.stopped(4);
    rec.switchSet(500, 2, 1);
    rec.singleStep(900, leds(4));
    rec.continued(2000);
    rec.scanned(2001, leds(4));
    rec.finish(2010);
    const std::string text = out.str();
    EXPECT_NE(text.find("wait 4\n# stopped\nset E0.2 1\nscan\nexpect AB0 2#00000100\n"
                        "# continued\nwait 10\n"),
              std::string::npos)
        << text;
}

// A recording made from a live session's events: switch flips, stop, single steps, continue
// and reset each reach the scenario once, at their simulated time; events after finish() not.
TEST(Recorder, RecordsASessionFromItsEvents) {
    Session s;
    ASSERT_EQ(s.loadText("ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\nLD E0.0\n= A0.0\n"
                         "END_ORGANIZATION_BLOCK\n"),
              std::nullopt);
    std::ostringstream out;
    SessionRecorder rec(s, out, "lamp.awl", "d");
    const auto scans = [&s](int n) {
        for (int i = 0; i < n; ++i) {
            s.tick();
        }
    };
    scans(2);
    s.setSwitch(0, 1);
    scans(5);
    s.stop();
    s.singleStep();
    s.setSwitch(0, 0);
    s.singleStep();
    s.run();
    scans(1);
    s.reset();
    rec.finish();
    s.setSwitch(1, 1);
    EXPECT_EQ(out.str(), "# Recorded in the simulator window from lamp.awl on d.\n"
                         "# Replay: kvx test PROGRAM THIS-FILE\nstep 1\nreset\n"
                         "wait 2\nset E0.0 1\nwait 4\nexpect AB0 2#00000001\nwait 1\n"
                         "# stopped\nscan\nset E0.0 0\nscan\nexpect AB0 2#00000000\n"
                         "# continued\nwait 1\nreset\n# end of recording\n");
}

} // namespace
} // namespace kvx
