// The runner against hostile input: no false pass, no stale or corrupt report, no silent loss
// of output, no unbounded memory or time, and nothing in its messages that a terminal would
// act on.

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "kvx_process.h"

namespace kvx {

namespace {

using Clock = std::chrono::steady_clock;

// Waits at most `limit` for `pid`; kills it and returns -1 when it takes longer.
int waitAtMost(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    int status = 0;
    while (Clock::now() < end) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGKILL);
    waitFor(pid);
    return -1;
}

// ---- no false pass: every value is read without wrapping ------------------------------------

TEST_F(KvxTest, ValuesBeyondTheOperandFailInsteadOfWrapping) {
    // Each value wrapped modulo 2^32 to one that passed against panel.awl's memory of zeros.
    const std::string fifty(50, '7');
    const std::pair<std::string, std::string> cases[] = {
        {"expect A0.0 4294967296", "value 4294967296 does not fit in the bit A0.0"},
        {"expect VD0 4294967296", "value 4294967296 does not fit in the double word VD0"},
        {"expect-bit T37 4294967296", "a bit is 0 or 1, not 4294967296"},
        {"expect Z1 4294967296", "value 4294967296 does not fit in the counter Z1"},
        {"expect VB0 16#100000000", "value 16#100000000 does not fit in the byte VB0"},
        {"expect VW0 2#10000000000000000000000000000000000",
         "value 2#10000000000000000000000000000000000 does not fit in the word VW0"},
        {"expect A0.0 -4294967296", "value -4294967296 does not fit in the bit A0.0"},
        {"expect VD0 -8589934592", "value -8589934592 does not fit in the double word VD0"},
        {"expect VD0 -2147483649", "value -2147483649 does not fit in the double word VD0"},
        {"expect VD0 " + fifty, "value " + fifty + " does not fit in the double word VD0"},
        {"set E0.0 4294967297", "value 4294967297 does not fit in the bit E0.0"},
    };
    for (const auto& [line, message] : cases) {
        SCOPED_TRACE(line);
        const Result r = scenario(line + "\n");
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, x("{scn}:1: " + message + "\n0 passed, 1 failed\n"));
    }

    // The edges of a double word still fit, in every notation.
    const Result edges = scenario("set VD0 4294967295\nexpect VD0 16#FFFFFFFF\nexpect VD0 -1\n"
                                  "set VD4 -2147483648\nexpect VD4 2147483648\n"
                                  "expect VD4 2#10000000000000000000000000000000\n");
    EXPECT_EQ(edges.code, 0);
    EXPECT_EQ(edges.out, "4 passed, 0 failed\n");
}

TEST_F(KvxTest, CommandLineValuesFailInsteadOfWrapping) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"run", "{data}/panel.awl", "--set", "E0.0=4294967297"},
         "--set E0.0=4294967297: value 4294967297 does not fit in the bit E0.0"},
        {{"run", "{data}/panel.awl", "--set", "VB1=-4294967295"},
         "--set VB1=-4294967295: value -4294967295 does not fit in the byte VB1"},
        // Counts keep their own message, with the range.
        {{"run", "{data}/panel.awl", "--scans", "4294967296"},
         "--scans needs a whole number from 0 to 4294967295, not '4294967296'"},
        {{"run", "{data}/panel.awl", "--step=99999999999999999999"},
         "--step needs a whole number from 0 to 4294967295, not '99999999999999999999'"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(joined(args));
        const Result r = kvx(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, x("kvx: " + message + "\nTry 'kvx --help' for more information.\n"));
    }
}

TEST_F(KvxTest, ScenarioCountsSayTheirRange) {
    const std::pair<const char*, const char*> cases[] = {
        {"scan 4294967296", "the scan count needs a whole number from 0 to 4294967295, not "
                            "'4294967296'"},
        {"wait 18446744073709551617",
         "the time needs a whole number from 0 to 4294967295, not '18446744073709551617'"},
        {"step +1", "the step needs a whole number from 0 to 4294967295, not '+1'"},
    };
    for (const auto& [line, message] : cases) {
        SCOPED_TRACE(line);
        const Result r = scenario(std::string(line) + "\n");
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, x("{scn}:1: " + std::string(message) + "\n0 passed, 1 failed\n"));
    }
}

// ---- output errors ------------------------------------------------------------------------

TEST_F(KvxTest, OutputThatCannotBeWrittenFailsTheRun) {
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full < 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    writeFile(tmp / "a.scn", "scan\nexpect A0.0 1\n");
    const std::vector<std::string> commands[] = {
        {"list", KVX_TEST_DATA "/panel.awl"},
        {"run", KVX_TEST_DATA "/panel.awl"},
        {"run", KVX_TEST_DATA "/panel.awl", "--trace", "--scans", "100000"},
        {"test", KVX_TEST_DATA "/panel.awl", x("{tmp}/a.scn")},
        {"--help"},
    };
    for (const auto& args : commands) {
        SCOPED_TRACE(joined(args));
        const int err =
            open((tmp / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const pid_t pid = startKvx(args, streams(-1, full, err));
        close(err);
        EXPECT_EQ(waitAtMost(pid, std::chrono::seconds(60)), 1);
        EXPECT_TRUE(readFile(tmp / "stderr")
                        .ends_with("kvx: write error: No space left on "
                                   "device\n"))
            << readFile(tmp / "stderr");
    }
    close(full);
}

TEST_F(KvxTest, AClosedPipeEndsTheRunPromptly) {
    for (const bool ignored : {false, true}) {
        SCOPED_TRACE(ignored ? "SIGPIPE ignored" : "SIGPIPE at its default");
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        const int err =
            open((tmp / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ChildSetup setup = streams(-1, fds[1], err);
        setup.ignoreSigpipe = ignored;
        const pid_t pid =
            startKvx({"run", KVX_TEST_DATA "/motor.awl", "--trace", "--scans", "20000000"}, setup);
        close(fds[1]);
        close(err);
        // Read one line, as `head -1` does, and go.
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') {
        }
        close(fds[0]);
        const int code = waitAtMost(pid, std::chrono::seconds(1));
        if (ignored) {
            EXPECT_EQ(code, 1);
            EXPECT_EQ(readFile(tmp / "stderr"), "kvx: write error: Broken pipe\n");
        } else {
            EXPECT_EQ(code, 128 + SIGPIPE);
        }
    }
}

} // namespace

} // namespace kvx
