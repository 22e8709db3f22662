// The page's engine, natively: the same object the worker drives through its C functions.
#include "web/engine/web_session.h"

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace kvx {
namespace {

std::string example(const std::string& name) {
    std::ifstream in(std::string(KVX_EXAMPLES) + "/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool ledOn(const WebSession& web, int bit) {
    const std::string state = web.state();
    const auto at = state.find("\"leds\":");
    return ((std::stoi(state.substr(at + 7)) >> bit) & 1) != 0;
}

// A failed load says what kvx check says, at its line, and the program before runs on.
TEST(WebSession, LoadErrorsAreKvxChecksAndKeepTheOldProgram) {
    WebSession web;
    ASSERT_EQ(web.load("timer.awl", example("timer.awl")), "");
    EXPECT_EQ(web.load("broken.awl", "ORGANIZATION_BLOCK M:O\nBEGIN\nNETWORK 1\nLDX E0.0\n"
                                     "END_ORGANIZATION_BLOCK\n"),
              "broken.awl:4: error: Parse-error(4):Unknown Operation\n");
    EXPECT_EQ(web.loadLine(), 4);
    EXPECT_NE(web.state().find("\"program\":\"timer.awl\""), std::string::npos);
    EXPECT_NE(web.state().find("\"running\":true"), std::string::npos);
}

// Woken every 4 ms, as a browser's clamped timer wakes the worker, the engine still scans once
// a millisecond at each scan's own time: the 2 s timer lights its LED at 2 s, at Faktor 1 and
// at 1:4 alike.
TEST(WebSession, PacedScansKeepTimersExactWhateverTheWakeUps) {
    for (const int faktor : {1, 4}) {
        SCOPED_TRACE(faktor);
        WebSession web;
        ASSERT_EQ(web.load("timer.awl", example("timer.awl")), "");
        for (int i = 1; i < faktor; ++i) {
            web.command(WebCommand::Langsamer);
        }
        double now = 1000;
        (void)web.pace(now);
        int scans = 0;
        web.setSwitch(0, true);
        const double start = now;
        while (!ledOn(web, 0) && now < start + 3000.0 * faktor) {
            now += 4;
            scans += web.pace(now);
        }
        EXPECT_NEAR(now - start, 2000.0 * faktor, 4.0 * faktor + 4);
        EXPECT_EQ(scans, now - start);
    }
}

// The status of the lines asked for, from the scan that captured them.
TEST(WebSession, StatusShowsTheCapturedLinesOnly) {
    WebSession web;
    ASSERT_EQ(web.load("timer.awl", example("timer.awl")), "");
    web.setSwitch(0, true);
    web.capture(10, 12);
    (void)web.pace(5);
    EXPECT_EQ(web.status(), "{\"scan\":1,\"rows\":["
                            "{\"line\":11,\"state\":\"executed\",\"vke\":1,\"ops\":[\"1\"]},"
                            "{\"line\":12,\"state\":\"executed\",\"vke\":1,"
                            "\"ops\":[\"0 Q=0\",\"20\"]}]}");
}

} // namespace
} // namespace kvx
