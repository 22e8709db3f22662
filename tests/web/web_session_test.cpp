// The page's engine, natively: the same object the worker drives through its C functions.
#include "web/engine/web_session.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/commands.h"
#include "cli/options.h"
#include "loader/reader.h"
#include "scenario/program_file.h"
#include "scenario/scenario.h"

namespace kvx {
namespace {

std::string example(const std::string& name) {
    std::ifstream in(std::string(KVX_EXAMPLES) + "/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string examplePath(const std::string& name) {
    return std::string(KVX_EXAMPLES) + "/" + name;
}

// `text` as the engine's JSON writes it.
std::string json(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        if (c == '\n') {
            out += "\\u000a";
        } else {
            out += c;
        }
    }
    return out + '"';
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
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
                            "{\"line\":11,\"state\":\"executed\",\"vke\":1,\"stack\":\"1\","
                            "\"ops\":[\"1\"],"
                            "\"forced\":[false]},"
                            "{\"line\":12,\"state\":\"executed\",\"vke\":1,\"stack\":\"1\","
                            "\"ops\":[\"0 Q=0\",\"20\"],\"forced\":[false,false]}]}");
}

// A switch forced from the watch table lights its LED whatever the panel says, and the state,
// the status and the table all show the force until "Alles entforcen".
TEST(WebSession, ForcingASwitchFromTheWatchTableShowsEverywhere) {
    WebSession web;
    ASSERT_EQ(web.load("timer.awl", example("timer.awl")), "");
    EXPECT_EQ(web.watchSetOperand(0, "E0.0"), "");
    web.watchSetFormat(0, "Hex");
    web.watchSetControl(0, "1");
    EXPECT_EQ(web.watchForce(0), "");
    web.capture(17, 18);
    (void)web.pace(5);
    EXPECT_TRUE(ledOn(web, 1));
    EXPECT_TRUE(has(web.state(), "\"forced\":true,\"forcedSwitches\":1,\"forcedLeds\":0"));
    EXPECT_TRUE(has(web.status(), "{\"line\":17,\"state\":\"executed\",\"vke\":1,"
                                  "\"stack\":\"1\",\"ops\":[\"1\"],\"forced\":[true]}"));
    EXPECT_EQ(web.watchValues(), "{\"rows\":[{\"operand\":\"E0.0\",\"format\":\"Hex\","
                                 "\"value\":\"1\",\"control\":\"1\",\"forced\":true,"
                                 "\"message\":\"\"}]}");
    const std::string saved = web.watchText();
    web.watchReleaseAll();
    (void)web.pace(10);
    EXPECT_FALSE(ledOn(web, 1));
    EXPECT_TRUE(has(web.state(), "\"forced\":false,\"forcedSwitches\":0"));
    // The saved table forces again when read back.
    EXPECT_EQ(web.setWatchText(saved), "");
    EXPECT_TRUE(has(web.state(), "\"forcedSwitches\":1"));
}

// A test run prints what `kvx test --coverage --vcd` prints and writes, passing or failing.
TEST(WebSession, TestRunsAreKvxTestsWithCoverageAndWaveform) {
    const std::string program = examplePath("timer.awl");
    const std::string passing = example("timer.scn");
    std::string failing = passing;
    failing.replace(failing.find("expect T37 20"), 13, "expect T37 21");
    const auto dir = std::filesystem::temp_directory_path() / "kvx_web_test";
    std::filesystem::create_directories(dir);
    for (const std::string& text : {passing, failing}) {
        const std::string scenario = (dir / "timer.scn").string();
        std::ofstream(scenario) << text;
        const std::string cov = (dir / "cov.info").string();
        const std::string vcd = (dir / "wave.vcd").string();
        const std::vector<const char*> args{"test",       program.c_str(), scenario.c_str(),
                                            "--coverage", cov.c_str(),     "--vcd",
                                            vcd.c_str()};
        std::ostringstream out;
        std::ostringstream err;
        (void)testCommand(parseOptions(args), out, err);

        const std::string result =
            WebSession::test("timer.awl", example("timer.awl"), scenario, text, true);
        EXPECT_TRUE(has(result, "{\"output\":" + json(out.str()) + ","));
        EXPECT_TRUE(
            has(result,
                ",\"totals\":\", lines executed: 10 of 10, contacts seen both ways: 5 of 5\"}"));
        std::ifstream wave(dir / "wave-timer.vcd");
        std::ostringstream written;
        written << wave.rdbuf();
        EXPECT_TRUE(has(result, ",\"vcd\":" + json(written.str()) + "}"));
    }
    std::filesystem::remove_all(dir);
}

// A recording of switch flips over paced time replays as a passing scenario; loading another
// program ends it, as in the window.
TEST(WebSession, RecordingsReplayAndEndWithAnotherProgram) {
    WebSession web;
    ASSERT_EQ(web.load("timer.awl", example("timer.awl")), "");
    double now = 100;
    (void)web.pace(now);
    web.recordStart("2026-12-09");
    for (const int bit : {0, 1, 0}) {
        web.toggleSwitch(bit);
        for (const double end = now + 2600; now < end; now += 4) {
            (void)web.pace(now);
        }
    }
    const std::string recorded = web.recordStop();
    std::ostringstream out;
    StringRead source(recorded);
    const ScenarioReport report = runScenario(
        ProgramFile::fromText("timer.awl", example("timer.awl")), "rec.scn", source, out);
    EXPECT_EQ(report.failed(), 0u) << out.str();
    EXPECT_GT(report.passed, 3);

    web.recordStart("2026-12-09");
    ASSERT_EQ(web.load("lamps.awl", example("lamps.awl")), "");
    EXPECT_TRUE(has(web.state(), "\"recording\":false"));
    EXPECT_TRUE(has(web.recordStop(), "2026-12-09"));
    EXPECT_EQ(web.recordStop(), "");
}

} // namespace
} // namespace kvx
