// Runs the kvx program as its users do and checks what it prints and how it exits.

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kvx_process.h"

namespace kvx {

namespace {

// ---- command line -----------------------------------------------------------------------

struct UsageCase {
    std::vector<std::string> args;
    std::string message;
};

TEST_F(KvxTest, UsageErrorsExplainAndExitWithTwo) {
    const UsageCase cases[] = {
        {{}, "no command given"},
        {{"frob"}, "unknown command 'frob'"},
        {{"check"}, "check needs a program file"},
        {{"list", "a.awl", "b.awl"}, "list takes one program file, not 2"},
        {{"run"}, "run needs a program file"},
        {{"test", "a.awl"}, "test needs a program and a scenario"},
        {{"run", "a.awl", "--scans", "abc"},
         "--scans needs a whole number from 0 to 4294967295, not 'abc'"},
        {{"run", "a.awl", "--step=-1"},
         "--step needs a whole number from 0 to 4294967295, not '-1'"},
        {{"run", "a.awl", "--scans"}, "--scans needs a value"},
        {{"run", "a.awl", "--trace=yes"}, "--trace takes no value"},
        {{"run", "a.awl", "--bogus"}, "unknown option '--bogus'"},
        {{"run", "a.awl", "--set", "E0.0"}, "--set needs OPERAND=VALUE, not 'E0.0'"},
        {{"run", "a.awl", "--set", "=1"}, "--set needs OPERAND=VALUE, not '=1'"},
        {{"check", "--trace", "a.awl"}, "--trace belongs to 'run', not to 'check'"},
        {{"run", "a.awl", "--junit", "x.xml"}, "--junit belongs to 'test', not to 'run'"},
        {{"check", "--stats", "a.awl"}, "--stats belongs to 'run', not to 'check'"},
        {{"list", "a.awl", "--stats"}, "--stats belongs to 'run', not to 'list'"},
        {{"test", "a.awl", "b.scn", "--stats"}, "--stats belongs to 'run', not to 'test'"},
        {{"run", "a.awl", "--stats=yes"}, "--stats takes no value"},
        {{"check", "-", "-"}, "'-' (standard input) can be named only once"},
        {{"test", "a.awl", "-"},
         "a scenario cannot come from standard input; only the program can"},
        {{"run", ""}, "empty file name"},
        {{"test", "a.awl", "b.scn", ""}, "empty file name"},
        {{"test", "a.awl", "b.scn", "--junit="}, "--junit needs a file name, not ''"},
        {{"run", "a.awl", "--vcd", ""}, "--vcd needs a file name, not ''"},
        {{"run", "{data}/panel.awl", "--set", "E0.8=1"},
         "--set E0.8=1: E0.8: Bitnumber out of range"},
        {{"run", "{data}/panel.awl", "--set", "E0.0=2"},
         "--set E0.0=2: value 2 does not fit in the bit E0.0"},
        {{"run", "{data}/panel.awl", "--set", "T37=70000"},
         "--set T37=70000: value 70000 does not fit in the timer T37"},
        {{"run", "{data}/panel.awl", "--set", "VB200=1"}, "--set VB200=1: Out of field write"},
        {{"run", "{data}/panel.awl", "--set", "5=1"},
         "--set 5=1: 5: is a constant, not an operand"},
        {{"run", "{data}/panel.awl", "--set", "E0.0=E0.1"},
         "--set E0.0=E0.1: E0.1: is an operand, not a constant value"},
    };
    for (const auto& c : cases) {
        expectUsageError(c.args, c.message);
    }
}

TEST_F(KvxTest, HelpAndVersionGoToStandardOutput) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"run", "--help"}, {"test", "x", "--help", "y"}}) {
        SCOPED_TRACE(joined(args));
        const Result r = kvx(args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(r.out.starts_with("Usage: kvx COMMAND")) << r.out;
        // The exit codes are part of the help.
        EXPECT_NE(r.out.find("Exit status:\n  0 "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\n  2  usage error"), std::string::npos) << r.out;
    }
    const Result r = kvx({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, std::string("kvx ") + KVX_VERSION + "\n");
}

// ---- check ------------------------------------------------------------------------------

struct OutputCase {
    std::vector<std::string> args;
    std::string input;
    int code;
    std::string out;
    std::string err;
};

void expectOutput(KvxTest& t, const OutputCase& c, Result r);

TEST_F(KvxTest, CheckReportsEachFailingFileLikeACompiler) {
    const OutputCase cases[] = {
        {{"check", "{data}/panel.awl"}, "", 0, "", ""},
        {{"check", "{data}/unknown_op.awl"},
         "",
         1,
         "",
         "{data}/unknown_op.awl:5: error: Parse-error(5):Unknown Operation\n"},
        {{"check", "{data}/bad_char.awl"},
         "",
         1,
         "",
         "{data}/bad_char.awl:4: error: Unexpected text(4):,\n"},
        // Errors without a line name only the file.
        {{"check", "{tmp}/missing.awl"},
         "",
         1,
         "",
         "{tmp}/missing.awl: error: File {tmp}/missing.awl not found\n"},
        {{"check", "{tmp}"}, "", 1, "", "{tmp}: error: File {tmp} is a directory\n"},
        // Every file is checked; one failure fails the whole run.
        {{"check", "{data}/panel.awl", "{data}/bad_char.awl", "{data}/panel.awl",
          "{data}/unknown_op.awl"},
         "",
         1,
         "",
         "{data}/bad_char.awl:4: error: Unexpected text(4):,\n"
         "{data}/unknown_op.awl:5: error: Parse-error(5):Unknown Operation\n"},
        {{"check", "-"}, "ORGANIZATION_BLOCK M:OB1\nBEGIN\nEND_ORGANIZATION_BLOCK\n", 0, "", ""},
        {{"check", "-"},
         "",
         1,
         "",
         "<stdin>:1: error: Parse-error(1):ORGANIZATION_BLOCK expected\n"},
        {{"check", "--", "-"},
         "ORGANIZATION_BLOCK M:OB1\nBEGIN\nNETWORK 1\nLD E0.0,\n",
         1,
         "",
         "<stdin>:4: error: Unexpected text(4):,\n"},
    };
    for (const auto& c : cases) {
        expectOutput(*this, c, kvx(c.args, c.input));
    }
}

void expectOutput(KvxTest& t, const OutputCase& c, Result r) {
    SCOPED_TRACE(joined(c.args) + " <<< " + c.input);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.out, expand(c.out, t.tmp));
    EXPECT_EQ(r.err, expand(c.err, t.tmp));
}

// A FIFO would block a plain read until some writer came; the runner refuses it at once, as
// it does any file that is not a regular one. "-" stays standard input.
TEST_F(KvxTest, NonRegularFilesAreRefused) {
    ASSERT_EQ(mkfifo((tmp / "fifo.awl").c_str(), 0600), 0);
    const OutputCase cases[] = {
        {{"check", "{tmp}/fifo.awl"},
         "",
         1,
         "",
         "{tmp}/fifo.awl: error: File {tmp}/fifo.awl is not a regular file\n"},
        {{"run", "/dev/null"},
         "",
         1,
         "",
         "/dev/null: error: File /dev/null is not a regular file\n"},
        {{"check", "-"}, "ORGANIZATION_BLOCK M:OB1\nBEGIN\nEND_ORGANIZATION_BLOCK\n", 0, "", ""},
    };
    for (const auto& c : cases) {
        expectOutput(*this, c, kvx(c.args, c.input));
    }
}

// ---- list -------------------------------------------------------------------------------

TEST_F(KvxTest, ListPrintsAListingThatLoadsAsTheSameProgram) {
    const Result first = kvx({"list", "{data}/panel.awl"});
    ASSERT_EQ(first.code, 0) << first.err;
    EXPECT_EQ(first.err, "");
    EXPECT_TRUE(first.out.starts_with("ORGANIZATION_BLOCK MAIN:OB1\nTITLE=Test panel\n"))
        << first.out;
    EXPECT_NE(first.out.find("\nZVR Z1 3\n"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("\nMOVB VB200 AB0\n"), std::string::npos) << first.out;

    const Result again = kvx({"list", "-"}, first.out);
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(again.out, first.out);
}

TEST_F(KvxTest, ListOfAProgramThatDoesNotLoadPrintsOnlyTheError) {
    const OutputCase c{{"list", "{data}/unknown_op.awl"},
                       "",
                       1,
                       "",
                       "{data}/unknown_op.awl:5: error: Parse-error(5):Unknown Operation\n"};
    expectOutput(*this, c, kvx(c.args));
}

// ---- run --------------------------------------------------------------------------------

constexpr const char* Mirror = "ORGANIZATION_BLOCK M:OB1\nBEGIN\nNETWORK 1\nLD SM0.0\n"
                               "MOVB VB1 AB0\nEND_ORGANIZATION_BLOCK\n";

TEST_F(KvxTest, RunPrintsTheLedsAfterTheLastScan) {
    const OutputCase cases[] = {
        {{"run", "{data}/panel.awl"}, "", 0, "A0.7..A0.0 00000000\n", ""},
        {{"run", "{data}/panel.awl", "--scans", "0"}, "", 0, "A0.7..A0.0 00000000\n", ""},
        {{"run", "{data}/panel.awl", "--set", "E0.0=1"}, "", 0, "A0.7..A0.0 00000000\n", ""},
        {{"run", "{data}/panel.awl", "--set", "E0.0=1", "--set=E0.1=1"},
         "",
         0,
         "A0.7..A0.0 00000001\n",
         ""},
        // T37 (100 ms base, preset 10) reaches its preset 1000 ms after the first scan.
        {{"run", "{data}/panel.awl", "--set", "E0.4=1", "--scans", "10", "--step", "100"},
         "",
         0,
         "A0.7..A0.0 00000000\n",
         ""},
        {{"run", "{data}/panel.awl", "--set", "E0.4=1", "--scans=11", "--step=100"},
         "",
         0,
         "A0.7..A0.0 00000010\n",
         ""},
        // With no step the clock stands still, and so does the timer.
        {{"run", "{data}/panel.awl", "--set", "E0.4=1", "--scans", "5000", "--step", "0"},
         "",
         0,
         "A0.7..A0.0 00000000\n",
         ""},
        // Other operands are written in their own width before the first scan.
        {{"run", "-", "--set", "VB1=16#A5"}, Mirror, 0, "A0.7..A0.0 10100101\n", ""},
        {{"run", "-", "--set", "VW0=16#1234"}, Mirror, 0, "A0.7..A0.0 00110100\n", ""},
        {{"run", "-", "--set", "VD0=16#00C30000"}, Mirror, 0, "A0.7..A0.0 11000011\n", ""},
        {{"run", "-", "--set", "V1.6=1"}, Mirror, 0, "A0.7..A0.0 01000000\n", ""},
        {{"run", "-", "--set", "VB1=-1"}, Mirror, 0, "A0.7..A0.0 11111111\n", ""},
    };
    for (const auto& c : cases) {
        expectOutput(*this, c, kvx(c.args, c.input));
    }
}

TEST_F(KvxTest, RunReportsEveryFaultingScanAndGoesOn) {
    const OutputCase cases[] = {
        {{"run", "{data}/panel.awl", "--set", "E0.3=1", "--scans", "3"},
         "",
         1,
         "A0.7..A0.0 00000000\n",
         "{data}/panel.awl:22: scan 1: Out of field read\n"
         "{data}/panel.awl:22: scan 2: Out of field read\n"
         "{data}/panel.awl:22: scan 3: Out of field read\n"},
        // The fault comes and goes with its cause, V1.0, which toggles every scan: the scan
        // between the faulting ones completes and its outputs are the ones shown.
        {{"run", "-", "--scans", "3"},
         "ORGANIZATION_BLOCK M:OB1\nBEGIN\nNETWORK 1\nLD SM0.0\nXORB 1 VB1\nLD V1.0\n"
         "MOVB VB200 AB0\nNETWORK 2\nLD SM0.0\nMOVB 6 AB0\nEND_ORGANIZATION_BLOCK\n",
         1,
         "A0.7..A0.0 00000110\n",
         "<stdin>:7: scan 1: Out of field read\n<stdin>:7: scan 3: Out of field read\n"},
        {{"run", "{data}/bad_char.awl"},
         "",
         1,
         "",
         "{data}/bad_char.awl:4: error: Unexpected text(4):,\n"},
    };
    for (const auto& c : cases) {
        expectOutput(*this, c, kvx(c.args, c.input));
    }
}

TEST_F(KvxTest, RunTraceShowsEveryStepOfEveryScan) {
    const std::string program =
        "ORGANIZATION_BLOCK M:OB1\nBEGIN\nNETWORK 1\nLD E0.0\n= A0.0\nEND_ORGANIZATION_BLOCK\n";
    const Result r =
        kvx({"run", "-", "--set", "E0.0=1", "--trace", "--scans", "2", "--step", "5"}, program);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "--- scan 1 at 0 ms\n"
                     "LD E0.0 [1:::]\nStack: 001->= A0.0 [1:::]\nStack: 001->\n"
                     "--- scan 2 at 5 ms\n"
                     "LD E0.0 [1:::]\nStack: 001->= A0.0 [1:::]\nStack: 001->\n"
                     "A0.7..A0.0 00000001\n");

    // The trace up to the failing step is kept, and the error follows on standard error.
    const Result failed = kvx({"run", "{data}/panel.awl", "--set", "E0.3=1", "--trace"});
    EXPECT_EQ(failed.code, 1);
    EXPECT_TRUE(failed.out.starts_with("--- scan 1 at 0 ms\nLD E0.0 [0:::]\n")) << failed.out;
    EXPECT_NE(failed.out.find("LD E0.3 [1:::]\nStack: 001->\n"), std::string::npos) << failed.out;
    EXPECT_EQ(failed.err, x("{data}/panel.awl:22: scan 1: Out of field read\n"));
}

struct StatsCase {
    std::vector<std::string> args;
    std::string input;
    int code;
    // Everything before the time line.
    std::string out;
    std::string err;
    // What the time line says when it is not a measurement.
    std::optional<std::string> time = std::nullopt;
};

TEST_F(KvxTest, RunStatsCountTheInstructionsAndScansThatRan) {
    const StatsCase cases[] = {
        // In step 0 the two instructions each of steps 1 and 2 are skipped: 19 of 23 run.
        {{"run", "{examples}/steps.awl", "--scans", "1000", "--stats"},
         "",
         0,
         "A0.7..A0.0 00000001\ninstructions executed: 19000\nscans run: 1000\n",
         ""},
        // E0.0 moves to step 1 within the first scan, which so runs steps 0 and 1 (21); later
        // scans skip step 0 (18).
        {{"run", "{examples}/steps.awl", "--set", "E0.0=1", "--scans", "3", "--stats"},
         "",
         0,
         "A0.7..A0.0 00000010\ninstructions executed: 57\nscans run: 3\n",
         ""},
        // A faulting scan counts, and so does the instruction that raised the fault.
        {{"run", "{data}/panel.awl", "--set", "E0.3=1", "--scans", "2", "--stats"},
         "",
         1,
         "A0.7..A0.0 00000000\ninstructions executed: 26\nscans run: 2\n",
         "{data}/panel.awl:22: scan 1: Out of field read\n"
         "{data}/panel.awl:22: scan 2: Out of field read\n"},
        // The whole trace comes first, then the LEDs, then the statistics.
        {{"run", "-", "--stats", "--trace", "--set", "E0.0=1", "--scans", "2"},
         "ORGANIZATION_BLOCK M:OB1\nBEGIN\nNETWORK 1\nLD E0.0\n= A0.0\nEND_ORGANIZATION_BLOCK\n",
         0,
         "--- scan 1 at 0 ms\nLD E0.0 [1:::]\nStack: 001->= A0.0 [1:::]\nStack: 001->\n"
         "--- scan 2 at 1 ms\nLD E0.0 [1:::]\nStack: 001->= A0.0 [1:::]\nStack: 001->\n"
         "A0.7..A0.0 00000001\ninstructions executed: 4\nscans run: 2\n",
         ""},
        {{"run", "-", "--scans", "5", "--stats"},
         "ORGANIZATION_BLOCK M:OB1\nBEGIN\nEND_ORGANIZATION_BLOCK\n",
         0,
         "A0.7..A0.0 00000000\ninstructions executed: 0\nscans run: 5\n",
         "",
         "none, no instruction ran"},
    };
    const std::string key = "CPU time per instruction: ";
    for (const auto& c : cases) {
        SCOPED_TRACE(joined(c.args));
        const Result r = kvx(c.args, c.input);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.err, x(c.err));
        const auto at = r.out.rfind(key);
        if (at == std::string::npos) {
            ADD_FAILURE() << "no time line in:\n" << r.out;
            continue;
        }
        EXPECT_EQ(r.out.substr(0, at), x(c.out));
        const std::string time = r.out.substr(at + key.size());
        if (c.time) {
            EXPECT_EQ(time, *c.time + "\n");
        } else {
            EXPECT_TRUE(std::regex_match(time, std::regex(R"([0-9]+\.[0-9] ns\n)"))) << time;
        }
    }
}

TEST_F(KvxTest, RunStatsTimeIsMeasuredInNanoseconds) {
    // Enough work to take CPU time on any clock: a wrong scale shows as 0.0 or as thousands.
    const Result r = kvx({"run", "{examples}/steps.awl", "--scans", "100000", "--stats"});
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        r.out, m, std::regex(R"(\nCPU time per instruction: ([0-9]+\.[0-9]) ns\n$)")))
        << r.out;
    const double ns = std::stod(m[1].str());
    EXPECT_GT(ns, 0.0);
    // Even a sanitizer build stays far below 10 us per instruction.
    EXPECT_LT(ns, 10000.0);
}

// ---- test: scenario commands -----------------------------------------------------------

struct ScenarioCase {
    const char* what;
    std::string text;
    int code;
    // Everything printed, with {scn} for the scenario's path.
    std::string out;
};

void runCases(KvxTest& t, std::initializer_list<ScenarioCase> cases,
              Result (KvxTest::*run)(const std::string&, std::vector<std::string>)) {
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.what) + ":\n" + c.text);
        const Result r = (t.*run)(c.text, {});
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.out, expand(c.out, t.tmp));
        EXPECT_EQ(r.err, "");
    }
}

class ScenarioTest : public KvxTest {
protected:
    void check(std::initializer_list<ScenarioCase> cases) {
        runCases(*this, cases, &KvxTest::scenario);
    }
};

TEST_F(ScenarioTest, SetAndExpectWorkInTheOperandsWidth) {
    check({
        {"switches reach the program at the next scan",
         "set E0.0 1\nset E0.1 1\nexpect E0.0 0\nscan\nexpect E0.0 1\nexpect A0.0 1\n"
         "expect AB0 1\nexpect-bit A0.0 1\n",
         0, "5 passed, 0 failed\n"},
        {"bytes, words and double words, big-endian",
         "set VB10 16#FF\nexpect VB10 255\nexpect VB10 -1\nset VW20 -2\nexpect VW20 16#FFFE\n"
         "expect VB21 16#FE\nset VD30 100000\nexpect VD30 100000\nexpect VW32 16#86A0\n"
         "set M1.7 1\nexpect MB1 2#10000000\nset E3.1 1\nexpect EB3 2\n",
         0, "8 passed, 0 failed\n"},
        {"a counter takes its value; its bit is the preset reached",
         "scan\nset Z1 2\nexpect Z1 2\nexpect-bit Z1 0\nset Z1 3\nexpect-bit Z1 1\n"
         "set E0.2 1\nscan 3\nexpect Z1 4\n",
         0, "4 passed, 0 failed\n"},
        {"comments, blank lines, extra blanks and tabs",
         "# a comment\n\n   \n  scan   2  \n\texpect\tA0.0  0\n  # indented comment\n", 0,
         "1 passed, 0 failed\n"},
        {"Windows line ends", "scan\r\nexpect A0.0 0\r\n", 0, "1 passed, 0 failed\n"},
        {"a byte order mark", "\xEF\xBB\xBFscan\nexpect A0.0 0\n", 0, "1 passed, 0 failed\n"},
    });
}

TEST_F(ScenarioTest, AScenarioThatChecksNothingFails) {
    for (const char* text : {"", "# only a comment\n\n", "set E0.0 1\nscan 3\n"}) {
        SCOPED_TRACE(text);
        const Result r = scenario(text);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, x("{scn}: error: the scenario checks nothing: it has no expect, "
                           "expect-bit or expect-error line\n0 passed, 1 failed\n"));
    }
}

TEST_F(ScenarioTest, FailedChecksShowTheLineAndWhatItGot) {
    check({
        {"a bit", "scan\nexpect A0.0 1\n", 1,
         "{scn}:2: expect A0.0 1: got 0\n0 passed, 1 failed\n"},
        {"values come back in the base they were written in",
         "set VB10 16#0F\nexpect VB10 16#F0\nexpect VB10 2#11110000\nexpect VB10 240\n"
         "set VB11 -1\nexpect VB11 -2\n",
         1,
         "{scn}:2: expect VB10 16#F0: got 16#F\n{scn}:3: expect VB10 2#11110000: got 2#1111\n"
         "{scn}:4: expect VB10 240: got 15\n{scn}:6: expect VB11 -2: got -1\n"
         "0 passed, 4 failed\n"},
        {"expect-bit", "scan\nexpect-bit T37 1\n", 1,
         "{scn}:2: expect-bit T37 1: got 0\n0 passed, 1 failed\n"},
        {"failures do not stop the scenario", "expect A0.0 1\nexpect A0.0 0\nexpect A0.1 1\n", 1,
         "{scn}:1: expect A0.0 1: got 0\n{scn}:3: expect A0.1 1: got 0\n1 passed, 2 failed\n"},
    });
}

TEST_F(ScenarioTest, TimersRunOnTheSimulatedClock) {
    check({
        {"step and wait",
         "step 100\nset E0.4 1\nscan\nwait 900\nexpect A0.1 0\nexpect T37 8\nwait 100\n"
         "expect A0.1 1\nexpect-bit T37 1\nexpect T37 10\n",
         0, "5 passed, 0 failed\n"},
        {"a timer takes 0, which resets it",
         "step 100\nset E0.4 1\nscan 12\nexpect-bit T37 1\nset T37 0\nexpect T37 0\n"
         "expect-bit T37 0\n",
         0, "3 passed, 0 failed\n"},
        // Three scans would end at 90 ms and count nothing; the fourth at 120 ms counts one.
        {"wait rounds the number of scans up",
         "step 30\nset E0.4 1\nscan\nwait 100\nexpect T37 1\n", 0, "1 passed, 0 failed\n"},
        {"the default step is 1 ms",
         "set E0.4 1\nscan\nwait 1000\nexpect T37 9\nscan\nexpect T37 10\n", 0,
         "2 passed, 0 failed\n"},
        {"a step of 0 stops the clock", "step 0\nset E0.4 1\nscan 5000\nexpect T37 0\n", 0,
         "1 passed, 0 failed\n"},
    });
}

TEST_F(ScenarioTest, ResetClearsInstructionMemoryButNotData) {
    check({
        {"a counter edge counts again after reset",
         "set E0.2 1\nscan\nexpect Z1 1\nscan\nexpect Z1 1\nreset\nscan\nexpect Z1 2\n", 0,
         "3 passed, 0 failed\n"},
        {"the first-scan bit", "scan\nexpect SM0.1 0\nreset\nexpect-bit SM0.1 1\nexpect SM0.0 1\n",
         0, "3 passed, 0 failed\n"},
    });
}

TEST_F(ScenarioTest, RunTimeErrorsAreExpectedOrReported) {
    check({
        {"expected", "set E0.3 1\nscan\nexpect-error Out of field read\n", 0,
         "1 passed, 0 failed\n"},
        {"another text", "set E0.3 1\nscan\nexpect-error Out of field write\n", 1,
         "{scn}:3: expect-error Out of field write: got Out of field read\n0 passed, 1 failed\n"},
        {"no error at all", "scan\nexpect-error Out of field read\n", 1,
         "{scn}:2: expect-error Out of field read: got no error\n0 passed, 1 failed\n"},
        {"only the next line may expect it",
         "set E0.3 1\nscan\nexpect A0.0 0\nexpect-error Out of field read\n", 1,
         "{scn}:2: scan raised Out of field read\n"
         "{scn}:4: expect-error Out of field read: got no error\n1 passed, 2 failed\n"},
        {"at the end of the scenario", "set E0.3 1\nscan\n", 1,
         "{scn}:2: scan raised Out of field read\n0 passed, 1 failed\n"},
        {"comments between scan and expect-error do not count as lines",
         "set E0.3 1\nscan\n# the read fails\n\nexpect-error Out of field read\n", 0,
         "1 passed, 0 failed\n"},
        {"scanning continues after an error",
         "set E0.3 1\nscan 2\nexpect-error Out of field read\nset E0.3 0\nset E0.0 1\n"
         "set E0.1 1\nscan\nexpect A0.0 1\n",
         1, "{scn}:2: scan raised Out of field read\n2 passed, 1 failed\n"},
    });
}

TEST_F(ScenarioTest, MalformedLinesAreFailures) {
    const std::pair<const char*, const char*> cases[] = {
        {"frob", "unknown command 'frob'"},
        {"Scan", "unknown command 'Scan'"},
        {"set E0.0", "usage: set OPERAND VALUE, or set TIMER VALUE running"},
        {"set E0.0 1 2", "usage: set OPERAND VALUE, or set TIMER VALUE running"},
        {"set E0.0 1 running", "usage: set OPERAND VALUE, or set TIMER VALUE running"},
        {"scan 1 2", "usage: scan [N]"},
        {"scan x", "the scan count needs a whole number from 0 to 4294967295, not 'x'"},
        {"step", "usage: step MS, or step MS/N"},
        {"step 1/0", "the scans per step need a whole number from 1 to 65535, not '0'"},
        {"step -1", "the step needs a whole number from 0 to 4294967295, not '-1'"},
        {"wait 1.5", "the time needs a whole number from 0 to 4294967295, not '1.5'"},
        {"step 0\nwait 10", "wait needs a step above 0 ms"},
        {"reset now", "usage: reset"},
        {"expect A0.0", "usage: expect OPERAND VALUE"},
        {"expect-bit T37", "usage: expect-bit OPERAND VALUE"},
        {"expect-error", "usage: expect-error TEXT"},
        {"expect E0.8 1", "E0.8: Bitnumber out of range"},
        {"expect e0.0 1", "e0.0: Unknown Parameter Type"},
        {"expect E0.0 E0.1", "E0.1: is an operand, not a constant value"},
        {"expect E0.0 0x1", "0x1: Syntax error in number"},
        {"expect 5 5", "5: is a constant, not an operand"},
        {"expect MB0 16#", "value 16# has no digits"},
        {"expect MB0 2#", "value 2# has no digits"},
        {"expect MB0 +", "value + has no digits"},
        {"expect MB0 -", "value - has no digits"},
        {"expect A0.1 +", "value + has no digits"},
        {"set VB0 -", "value - has no digits"},
        {"expect VB0 256", "value 256 does not fit in the byte VB0"},
        {"expect VB0 -129", "value -129 does not fit in the byte VB0"},
        {"expect VW0 65536", "value 65536 does not fit in the word VW0"},
        {"expect E0.0 2", "value 2 does not fit in the bit E0.0"},
        {"expect-bit VB0 1", "VB0: is a byte, not a bit, timer or counter"},
        {"expect-bit E0.0 2", "a bit is 0 or 1, not 2"},
        {"force T37 5", "T37: a timer can only be forced to 0, which holds it reset"},
        {"force MB0 256", "value 256 does not fit in the byte MB0"},
        {"force Q0.0 1", "Q0.0: Unknown Parameter Type"},
        {"unforce X", "X: Unknown Parameter Type"},
        {"preset VB0 1", "VB0: is a byte, not a timer or counter"},
        {"preset Z1 70000", "value 70000 does not fit in the counter Z1"},
        {"idle -5", "the time needs a whole number from 0 to 4294967295, not '-5'"},
        {"set Z1 70000", "value 70000 does not fit in the counter Z1"},
        {"set VB200 0", "Out of field write"},
        {"expect VB200 0", "Out of field read"},
    };
    for (const auto& [line, message] : cases) {
        SCOPED_TRACE(line);
        const Result r = scenario(std::string(line) + "\n");
        const int number = std::string(line).find('\n') == std::string::npos ? 1 : 2;
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out,
                  x("{scn}:" + std::to_string(number) + ": " + message + "\n0 passed, 1 failed\n"));
    }
}

// ---- test: files, totals and JUnit -----------------------------------------------------

TEST_F(KvxTest, TestTotalsAllScenariosAndReportsUnreadableOnes) {
    writeFile(tmp / "a.scn", "scan\nexpect A0.0 0\nexpect A0.1 1\n");
    writeFile(tmp / "b.scn", "set E0.0 1\nset E0.1 1\nscan\nexpect A0.0 1\n");
    const Result r =
        kvx({"test", "{data}/panel.awl", "{tmp}/a.scn", "{tmp}/none.scn", "{tmp}/b.scn"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, x("{tmp}/a.scn:3: expect A0.1 1: got 0\n"
                       "{tmp}/none.scn: error: File {tmp}/none.scn not found\n"
                       "2 passed, 2 failed\n"));

    // Each scenario starts from a fresh CPU: b's switches do not leak into a.
    const Result again = kvx({"test", "{data}/panel.awl", "{tmp}/b.scn", "{tmp}/b.scn"});
    EXPECT_EQ(again.code, 0);
    EXPECT_EQ(again.out, "2 passed, 0 failed\n");
}

TEST_F(KvxTest, TestOfAProgramThatDoesNotLoad) {
    writeFile(tmp / "a.scn", "scan\n");
    // The load error counts as the one failure of the run.
    const OutputCase cases[] = {
        {{"test", "{data}/unknown_op.awl", "{tmp}/a.scn"},
         "",
         1,
         "0 passed, 1 failed\n",
         "{data}/unknown_op.awl:5: error: Parse-error(5):Unknown Operation\n"},
        {{"test", "-", "{tmp}/a.scn"},
         "NETWORK 1\n",
         1,
         "0 passed, 1 failed\n",
         "<stdin>:1: error: Parse-error(1):ORGANIZATION_BLOCK expected\n"},
    };
    for (const auto& c : cases) {
        expectOutput(*this, c, kvx(c.args, c.input));
    }
}

TEST_F(KvxTest, TestReadsTheProgramFromStandardInputOnceForAllScenarios) {
    writeFile(tmp / "a.scn", "set E0.0 1\nscan\nexpect A0.0 1\n");
    const Result r = kvx({"test", "-", "{tmp}/a.scn", "{tmp}/a.scn"},
                         "ORGANIZATION_BLOCK M:OB1\nBEGIN\nNETWORK 1\nLD E0.0\n= A0.0\n"
                         "END_ORGANIZATION_BLOCK\n");
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "2 passed, 0 failed\n");
}

TEST_F(KvxTest, JUnitHasOneCasePerScenarioWithExpectedAndActualValues) {
    writeFile(tmp / "a.scn", "scan\nexpect A0.1 0\n");
    writeFile(tmp / "b&c.scn", "scan\nexpect A0.0 1\nexpect-error a<b & \"c\"\nfrob\n");
    const Result r = kvx({"test", "{data}/panel.awl", "{tmp}/a.scn", "{tmp}/b&c.scn", "--junit",
                          "{tmp}/report.xml"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.out.ends_with("1 passed, 3 failed\n")) << r.out;
    const std::string b = x("{tmp}/b&amp;c.scn");
    EXPECT_EQ(readFile(tmp / "report.xml"),
              x("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<testsuites>\n"
                "  <testsuite name=\"{data}/panel.awl\" tests=\"2\" failures=\"1\" errors=\"0\">\n"
                "    <testcase classname=\"{data}/panel.awl\" name=\"{tmp}/a.scn\" "
                "assertions=\"1\"/>\n"
                "    <testcase classname=\"{data}/panel.awl\" name=\"") +
                  b + "\" assertions=\"3\">\n      <failure message=\"" + b +
                  ":2: expect A0.0 1: got 0 (expected 1, actual 0)\" type=\"check\">" + b +
                  ":2: expect A0.0 1: got 0 (expected 1, actual 0)\n" + b +
                  ":3: expect-error a&lt;b &amp; &quot;c&quot;: got no error (expected a&lt;b "
                  "&amp; &quot;c&quot;, actual no error)\n" +
                  b + ":4: unknown command &apos;frob&apos;\n" +
                  "</failure>\n    </testcase>\n  </testsuite>\n</testsuites>\n");
}

TEST_F(KvxTest, JUnitThatCannotBeWrittenFailsTheRun) {
    writeFile(tmp / "a.scn", "scan\nexpect A0.0 0\n");
    const Result r =
        kvx({"test", "{data}/panel.awl", "{tmp}/a.scn", "--junit", "{tmp}/no/such/dir/report.xml"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "1 passed, 0 failed\n");
    EXPECT_EQ(r.err, x("{tmp}/no/such/dir/report.xml: error: cannot write the JUnit report\n"));
}

} // namespace

} // namespace kvx
