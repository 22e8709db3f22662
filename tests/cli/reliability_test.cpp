// The runner against hostile input: no false pass, no stale or corrupt report, no silent loss
// of output, no unbounded memory or time, and nothing in its messages that a terminal would
// act on.

#include <poll.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

// Whether `text` is strict UTF-8 made only of characters XML 1.0 allows.
bool isXmlText(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const int length = b < 0x80                 ? 1
                           : b >= 0xc2 && b <= 0xdf ? 2
                           : b >= 0xe0 && b <= 0xef ? 3
                           : b >= 0xf0 && b <= 0xf4 ? 4
                                                    : 0;
        if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) {
            return false;
        }
        char32_t c = length == 1 ? b : b & (0xff >> (length + 1));
        for (int k = 1; k < length; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((cont & 0xc0) != 0x80) {
                return false;
            }
            c = (c << 6) | (cont & 0x3f);
        }
        const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        const bool allowed = c == 0x9 || c == 0xa || c == 0xd || (c >= 0x20 && c <= 0xd7ff) ||
                             (c >= 0xe000 && c <= 0xfffd) || (c >= 0x10000 && c <= 0x10ffff);
        if (c < smallest[length] || !allowed) {
            return false;
        }
        i += static_cast<std::size_t>(length);
    }
    return true;
}

// What xmllint says about the file; empty when it is well-formed or xmllint is missing.
std::string xmllintComplaints(const fs::path& file, const fs::path& tmp) {
    const std::string xmllint = KVX_XMLLINT;
    if (xmllint.empty()) {
        return {};
    }
    const std::string command =
        xmllint + " --noout '" + file.string() + "' 2>'" + (tmp / "xmllint.err").string() + "'";
    if (std::system(command.c_str()) == 0) {
        return {};
    }
    return "xmllint: " + readFile(tmp / "xmllint.err");
}

// Checks that no byte a terminal acts on is in `text`, other than the line feeds between
// lines.
void expectTerminalSafe(const std::string& text) {
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        EXPECT_FALSE((b < 0x20 && c != '\n' && c != '\t') || b == 0x7f)
            << "control byte " << static_cast<int>(b) << " in:\n"
            << text;
    }
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
        expectUsageError(args, message);
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

// ---- JUnit: always well-formed, never stale, never over an input ----------------------------

TEST_F(KvxTest, JUnitIsWellFormedWhateverTheTextsHold) {
    fs::copy_file(KVX_TEST_DATA "/panel.awl", tmp / "p\xff.awl");
    writeFile(tmp / "s\xfe\x01.scn",
              "foo\xff\n"                                      // a byte that is never UTF-8
              "scan\nexpect-error \xef\xbf\xbe \xef\xbf\xbf\n" // U+FFFE and U+FFFF
              "\xed\xa0\x80 surrogate\n"                       // U+D800 as if it were UTF-8
              "\xc0\xaf overlong\n"                            // '/' in two bytes
              "\xf4\x90\x80\x80 too high\n"                    // above U+10FFFF
              "cut \xe2\x82\n"                                 // the start of a character, no more
              "\x01\x1b[2J\r\n"                                // control characters
              "expect-error gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9d\x84\x9e\n");
    const Result r =
        kvx({"test", "{tmp}/p\xff.awl", "{tmp}/s\xfe\x01.scn", "--junit", "{tmp}/report.xml"});
    EXPECT_EQ(r.code, 1);
    const std::string xml = readFile(tmp / "report.xml");
    EXPECT_TRUE(isXmlText(xml)) << xml;
    EXPECT_EQ(xmllintComplaints(tmp / "report.xml", tmp), "");
    const std::string fffd = "\xef\xbf\xbd";
    // Names become readable, not dropped; valid text stays as it was.
    EXPECT_NE(xml.find("classname=\"" + x("{tmp}/p") + fffd + ".awl\""), std::string::npos);
    EXPECT_NE(xml.find("(expected " + fffd + " " + fffd + ", actual no error)"), std::string::npos);
    EXPECT_NE(xml.find("(expected gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9d\x84\x9e, actual no "
                       "error)"),
              std::string::npos);
}

constexpr const char* OldReport =
    "<?xml version=\"1.0\"?><testsuites><testsuite failures=\"0\"/></testsuites>\n";

TEST_F(KvxTest, AProgramThatDoesNotLoadStillGetsAFreshReport) {
    writeFile(tmp / "a.scn", "scan\n");
    const std::pair<std::string, std::string> cases[] = {
        {"{data}/unknown_op.awl", "{data}/unknown_op.awl:5: error: Parse-error(5):Unknown "
                                  "Operation"},
        {"{tmp}/missing.awl", "{tmp}/missing.awl: error: File {tmp}/missing.awl not found"},
    };
    for (const auto& [program, error] : cases) {
        SCOPED_TRACE(program);
        writeFile(tmp / "report.xml", OldReport);
        const Result r = kvx({"test", program, "{tmp}/a.scn", "--junit", "{tmp}/report.xml"});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, "0 passed, 1 failed\n");
        EXPECT_EQ(r.err, x(error + "\n"));
        const std::string p = x(program);
        const std::string e = x(error);
        EXPECT_EQ(readFile(tmp / "report.xml"),
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n"
                  "  <testsuite name=\"" +
                      p + "\" tests=\"1\" failures=\"0\" errors=\"1\">\n" +
                      "    <testcase classname=\"" + p + "\" name=\"load\" assertions=\"0\">\n" +
                      "      <error message=\"" + e + "\" type=\"load\">" + e + "\n</error>\n" +
                      "    </testcase>\n  </testsuite>\n</testsuites>\n");
    }
}

TEST_F(KvxTest, TheReportIsReplacedWholeNotRewrittenInPlace) {
    writeFile(tmp / "a.scn", "scan\nexpect A0.0 0\n");
    writeFile(tmp / "report.xml", OldReport);
    // A second name for the old report: a rewrite in place would change it too, a new file
    // renamed over the old name leaves it alone.
    fs::create_hard_link(tmp / "report.xml", tmp / "old.xml");
    umask(022);
    const Result r =
        kvx({"test", "{data}/panel.awl", "{tmp}/a.scn", "--junit", "{tmp}/report.xml"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(tmp / "old.xml"), OldReport);
    EXPECT_NE(readFile(tmp / "report.xml").find("failures=\"0\" errors=\"0\""), std::string::npos);
    // Readable like any file the user creates, not private like a temporary file.
    EXPECT_EQ(fs::status(tmp / "report.xml").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    // No temporary file is left behind, also when the rename cannot happen.
    fs::create_directory(tmp / "dir.xml");
    EXPECT_EQ(kvx({"test", "{data}/panel.awl", "{tmp}/a.scn", "--junit", "{tmp}/dir.xml"}).code, 1);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(tmp)) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"a.scn", "dir.xml", "old.xml", "report.xml", "stderr",
                                              "stdin", "stdout"}));
}

TEST_F(KvxTest, TheReportNeverOverwritesAnInput) {
    const std::string program = readFile(KVX_TEST_DATA "/panel.awl");
    writeFile(tmp / "p.awl", program);
    writeFile(tmp / "s.scn", "scan\n");
    fs::create_hard_link(tmp / "s.scn", tmp / "link.scn");
    fs::create_symlink(tmp / "p.awl", tmp / "sym.awl");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"test", "{tmp}/p.awl", "{scn}", "--junit", "{tmp}/p.awl"}, "{tmp}/p.awl"},
        {{"test", "{tmp}/p.awl", "{scn}", "--junit={scn}"}, "{scn}"},
        {{"test", "{tmp}/p.awl", "{tmp}/a.scn", "{scn}", "--junit", "{tmp}/link.scn"}, "{scn}"},
        {{"test", "{tmp}/p.awl", "{scn}", "--junit", "{tmp}/sym.awl"}, "{tmp}/p.awl"},
        // The program read from standard input is an input too.
        {{"test", "-", "{scn}", "--junit", "{tmp}/stdin"}, "<stdin>"},
    };
    for (const auto& [args, input] : cases) {
        SCOPED_TRACE(joined(args));
        const Result r = kvx(args, program);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.out, "");
        const std::string report =
            args.back().starts_with("--junit=") ? args.back().substr(8) : args.back();
        EXPECT_EQ(r.err, x("kvx: --junit " + report + " is the input file " + input +
                           "; name another report file\nTry 'kvx --help' for more information.\n"));
        EXPECT_EQ(readFile(tmp / "p.awl"), program);
        EXPECT_EQ(readFile(tmp / "s.scn"), "scan\n");
        EXPECT_EQ(readFile(tmp / "stdin"), program);
    }
}

TEST_F(KvxTest, OptionsThatSetOneValueAreGivenOnce) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"test", "a.awl", "b.scn", "--junit", "x.xml", "--junit", "y.xml"}, "--junit"},
        {{"test", "a.awl", "b.scn", "--max-scans=5", "--max-scans", "5"}, "--max-scans"},
        {{"run", "a.awl", "--scans", "1", "--scans=2"}, "--scans"},
        {{"run", "a.awl", "--step", "1", "--step", "1"}, "--step"},
    };
    for (const auto& [args, option] : cases) {
        SCOPED_TRACE(joined(args));
        const Result r = kvx(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, "kvx: " + option +
                             " may be given only once\nTry 'kvx --help' for more information.\n");
    }
    // Options that add to a list, and switches, may repeat.
    const Result r = kvx(
        {"run", "{data}/panel.awl", "--set", "E0.0=1", "--set", "E0.1=1", "--stats", "--stats"});
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST_F(KvxTest, JUnitOnStandardOutputSendsTheRestToStandardError) {
    writeFile(tmp / "a.scn", "scan\nexpect A0.0 1\n");
    const Result r = kvx({"test", "{data}/panel.awl", "{tmp}/a.scn", "--junit", "-"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, x("{tmp}/a.scn:2: expect A0.0 1: got 0\n0 passed, 1 failed\n"));
    EXPECT_TRUE(r.out.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n")) << r.out;
    EXPECT_TRUE(r.out.ends_with("</testsuites>\n")) << r.out;
    EXPECT_NE(r.out.find("got 0 (expected 1, actual 0)"), std::string::npos) << r.out;

    const Result broken = kvx({"test", "{data}/unknown_op.awl", "{tmp}/a.scn", "--junit", "-"});
    EXPECT_EQ(broken.code, 1);
    EXPECT_EQ(broken.err, x("{data}/unknown_op.awl:5: error: Parse-error(5):Unknown Operation\n"
                            "0 passed, 1 failed\n"));
    EXPECT_NE(broken.out.find("errors=\"1\""), std::string::npos) << broken.out;
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
        {"test", KVX_TEST_DATA "/panel.awl", x("{tmp}/a.scn"), "--junit", "-"},
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

// ---- bounded input ------------------------------------------------------------------------

TEST_F(KvxTest, AnEndlessScenarioLineEndsThatScenarioOnly) {
    writeFile(tmp / "ok.scn", "scan\nexpect A0.0 0\n");
    // A device is refused before it is read; a file with a line that never ends is read only
    // up to the limit.
    const Result r = kvx(
        {"test", "{data}/panel.awl", "/dev/zero", "{tmp}/ok.scn", "--junit", "{tmp}/report.xml"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "/dev/zero: error: File /dev/zero is not a regular file\n"
                     "1 passed, 1 failed\n");
    EXPECT_NE(readFile(tmp / "report.xml").find("tests=\"2\" failures=\"1\""), std::string::npos);
    writeFile(tmp / "endless.scn", std::string(1 << 20, 'x'));
    const Result endless = kvx({"test", "{data}/panel.awl", "{tmp}/endless.scn", "{tmp}/ok.scn",
                                "--junit", "{tmp}/report.xml"});
    EXPECT_EQ(endless.code, 1);
    EXPECT_EQ(endless.out, x("{tmp}/endless.scn:1: the line is longer than 65536 bytes; the "
                             "scenario stops here\n1 passed, 1 failed\n"));
    EXPECT_NE(readFile(tmp / "report.xml").find("tests=\"2\" failures=\"1\""), std::string::npos);

    // 65536 bytes is still a line; one more is not, and nothing after it runs.
    const std::string longest = "#" + std::string(65535, 'x');
    const Result edge = scenario(longest + "\n" + longest + "y\nexpect A0.0 1\n");
    EXPECT_EQ(edge.code, 1);
    EXPECT_EQ(edge.out, x("{scn}:2: the line is longer than 65536 bytes; the scenario stops here\n"
                          "0 passed, 1 failed\n"));
}

// Writes an endless comment to `fd` until the reader goes away.
void endlessComment(int fd) {
    const std::string chunk(65536, 'x');
    bool ok = write(fd, "ORGANIZATION_BLOCK M:OB1\nBEGIN\n//", 33) == 33;
    while (ok) {
        ok = write(fd, chunk.data(), chunk.size()) > 0;
    }
    close(fd);
}

TEST_F(KvxTest, AnEndlessProgramIsALoadError) {
    // The writer sees EPIPE, not a signal, when kvx stops reading.
    const auto oldPipe = signal(SIGPIPE, SIG_IGN);
    {
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        std::thread writer(endlessComment, fds[1]);
        const int err =
            open((tmp / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const pid_t pid = startKvx({"check", "-"}, streams(fds[0], err, err));
        close(fds[0]);
        close(err);
        EXPECT_EQ(waitAtMost(pid, std::chrono::seconds(60)), 1);
        writer.join();
        EXPECT_EQ(readFile(tmp / "stderr"), "<stdin>: error: the program is larger than 64 MiB\n");
    }
    {
        // A named pipe is no program file: it is refused before anything is read from it, so
        // an endless writer cannot make the runner wait.
        const fs::path fifo = tmp / "endless.awl";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        const Result r = kvx({"check", "{tmp}/endless.awl"});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, x("{tmp}/endless.awl: error: File {tmp}/endless.awl is not a regular "
                           "file\n"));
    }
    signal(SIGPIPE, oldPipe);
}

TEST_F(KvxTest, FailuresBeyondAThousandAreCountedButNotKept) {
    std::string text;
    for (int i = 0; i < 1500; ++i) {
        text += "frob\n";
    }
    writeFile(tmp / "s.scn", text);
    const Result r = kvx({"test", "{data}/panel.awl", "{scn}", "--junit", "{tmp}/report.xml"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.ends_with(x("{scn}:1500: unknown command 'frob'\n0 passed, 1500 failed\n")));
    const std::string xml = readFile(tmp / "report.xml");
    EXPECT_NE(xml.find(x("{scn}:1000: unknown command &apos;frob&apos;\nand 500 more "
                         "failures\n</failure>")),
              std::string::npos)
        << xml.substr(xml.size() - 300);
    EXPECT_NE(xml.find("assertions=\"1500\""), std::string::npos);
}

// An address-space limit cannot be combined with the sanitizers' shadow memory.
#if !defined(__SANITIZE_ADDRESS__)
TEST_F(KvxTest, RunningOutOfMemoryFailsTheLoadNotTheRun) {
    // About 24 MB of text that takes some 300 MB once loaded.
    std::string program = "ORGANIZATION_BLOCK M:OB1\nBEGIN\nNETWORK 1\n";
    for (int i = 0; i < 3'000'000; ++i) {
        program += "LD E0.0\n";
    }
    writeFile(tmp / "big.awl", program + "END_ORGANIZATION_BLOCK\n");
    writeFile(tmp / "a.scn", "scan\n");
    ChildSetup limited;
    limited.memoryLimit = 150u << 20;
    const Result r =
        kvx({"test", "{tmp}/big.awl", "{tmp}/a.scn", "--junit", "{tmp}/report.xml"}, "", limited);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "0 passed, 1 failed\n");
    EXPECT_EQ(r.err, x("{tmp}/big.awl: error: out of memory while loading the program\n"));
    EXPECT_NE(readFile(tmp / "report.xml").find("errors=\"1\""), std::string::npos);
}
#endif

// ---- echoed text ---------------------------------------------------------------------------

TEST_F(KvxTest, EchoedScenarioTextIsSafeForATerminal) {
    const std::string x80(80, 'x');
    const std::string e100(100, 'E');
    const std::pair<std::string, std::string> cases[] = {
        {"foo\033]0;owned\007\033[2J", "unknown command 'foo\\x1b]0;owned\\x07\\x1b[2J'"},
        // A NUL does not end the message.
        {std::string("expect A0.0 1\0x", 15), "1\\x00x: Syntax error in number"},
        // C1 controls, as a raw byte and in UTF-8; other UTF-8 passes.
        {"expect A0.0 \x9b"
         "2J",
         "\\x9b2J: Unknown Parameter Type"},
        {"\xc2\x9b"
         "2J",
         "unknown command '\\xc2\\x9b2J'"},
        {"gr\xc3\xbc\xc3\x9f", "unknown command 'gr\xc3\xbc\xc3\x9f'"},
        // Long text is cut after 80 characters.
        {x80 + "yyyy", "unknown command '" + x80 + "...'"},
        {"expect " + e100 + " 1", std::string(80, 'E') + "...: Bit Address missing"},
        {"expect-error " + x80, "expect-error " + std::string(67, 'x') + "...: got no error"},
        // Exactly 80 is not cut.
        {"expect A0.0 1" + std::string(79, 'x'),
         "1" + std::string(79, 'x') + ": Syntax error in number"},
    };
    for (const auto& [line, message] : cases) {
        SCOPED_TRACE(line);
        const Result r = scenario(line + "\n");
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, x("{scn}:1: " + message + "\n0 passed, 1 failed\n"));
        expectTerminalSafe(r.out);
    }
}

TEST_F(KvxTest, EchoedNamesAndProgramTextAreSafeForATerminal) {
    writeFile(tmp / "esc.awl", "ORGANIZATION_BLOCK M:OB1\nBEGIN\n\033[2J\n");
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int code;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {{"check", "{tmp}/esc.awl"},
         "",
         1,
         "",
         "{tmp}/esc.awl:3: error: Unexpected text(3):\\x1b\n"},
        {{"check", "{tmp}/a\033[2Jb.awl"},
         "",
         1,
         "",
         "{tmp}/a\\x1b[2Jb.awl: error: File {tmp}/a\\x1b[2Jb.awl not found\n"},
        {{"test", "{data}/panel.awl", "{tmp}/n\ne.scn"},
         "",
         1,
         "{tmp}/n\\x0ae.scn: error: File {tmp}/n\\x0ae.scn not found\n0 passed, 1 failed\n",
         ""},
        {{"run", "{data}/panel.awl", "--set", "E0.0=\033[2J"},
         "",
         2,
         "",
         "kvx: --set E0.0=\\x1b[2J: \\x1b[2J: Unknown Parameter Type\n"
         "Try 'kvx --help' for more information.\n"},
        {{"run", "{data}/panel.awl", "--\033"},
         "",
         2,
         "",
         "kvx: unknown option '--\\x1b'\nTry 'kvx --help' for more information.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(joined(c.args));
        const Result r = kvx(c.args, c.input);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.out, x(c.out));
        EXPECT_EQ(r.err, x(c.err));
    }
}

// ---- long runs ----------------------------------------------------------------------------

TEST_F(KvxTest, ScansAreBoundedByMaxScans) {
    const Result huge = scenario("scan 4294967295\nexpect A0.0 1\n");
    EXPECT_EQ(huge.code, 1);
    EXPECT_EQ(huge.out, x("{scn}:1: this line would bring the scenario to 4294967295 scans, more "
                          "than --max-scans 100000000 allows; the scenario stops here\n"
                          "0 passed, 1 failed\n"));
    // The budget covers the whole scenario: scan and wait together.
    const Result budget =
        scenario("scan 4\nwait 6\nexpect A0.0 0\nscan\nexpect A0.0 1\n", {"--max-scans", "10"});
    EXPECT_EQ(budget.code, 1);
    EXPECT_EQ(budget.out,
              x("{scn}:4: this line would bring the scenario to 11 scans, more than "
                "--max-scans 10 allows; the scenario stops here\n1 passed, 1 failed\n"));

    const Result exact = kvx({"run", "{data}/panel.awl", "--max-scans", "3", "--scans", "3"});
    EXPECT_EQ(exact.code, 0) << exact.err;
    const std::pair<std::vector<std::string>, std::string> usage[] = {
        {{"run", "{data}/panel.awl", "--scans", "4294967295"},
         "--scans 4294967295 is more than --max-scans 100000000; raise --max-scans to run that "
         "many"},
        {{"run", "{data}/panel.awl", "--scans", "4", "--max-scans", "3"},
         "--scans 4 is more than --max-scans 3; raise --max-scans to run that many"},
        {{"check", "--max-scans", "3", "{data}/panel.awl"},
         "--max-scans belongs to 'run' and 'test', not to 'check'"},
    };
    for (const auto& [args, message] : usage) {
        expectUsageError(args, message);
    }
}

// Past 4294967295 ms the clock would start again at 0: such a run is refused before it starts,
// such a scenario line fails and ends the scenario. Up to that time everything runs.
TEST_F(KvxTest, TheSimulatedClockNeverPassesItsLastMillisecond) {
    const Result scn = scenario("step 4294967295\nscan\nexpect A0.0 0\nscan\nexpect A0.0 0\n");
    EXPECT_EQ(scn.code, 1);
    EXPECT_EQ(scn.out, x("{scn}:4: this line would carry the simulated clock past 4294967295 ms "
                         "(about 49.7 days), where it would start again at 0; the scenario stops "
                         "here\n1 passed, 1 failed\n"));
    const Result exact = kvx({"run", "{data}/panel.awl", "--scans", "3", "--step", "1431655765"});
    EXPECT_EQ(exact.code, 0) << exact.err;
    expectUsageError({"run", "{data}/panel.awl", "--scans", "3", "--step", "1431655766"},
                     "--scans 3 with --step 1431655766 would carry the simulated clock past "
                     "4294967295 ms (about 49.7 days), where it would start again at 0; run fewer "
                     "scans or a shorter step");
}

// Reads what arrives on `fd` until `wanted` is in it or `limit` has passed.
std::string readUntil(int fd, const std::string& wanted, std::chrono::seconds limit) {
    std::string seen;
    const auto end = Clock::now() + limit;
    while (seen.find(wanted) == std::string::npos && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[256];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            seen.append(buffer, static_cast<std::size_t>(n));
        }
    }
    return seen;
}

// The controlling side and the terminal side of a new pseudo-terminal; -1 and -1 where none can
// be had, as in a chroot without /dev/pts.
std::pair<int, int> pseudoTerminal() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        return {-1, -1};
    }
    const char* name = grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : nullptr;
    const int terminal = name != nullptr ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    if (terminal < 0) {
        close(master);
        return {-1, -1};
    }
    return {master, terminal};
}

TEST_F(KvxTest, LongRunsShowProgressOnATerminalAndStopAtCtrlC) {
    writeFile(tmp / "s.scn", "scan 100000000\n");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"run", KVX_TEST_DATA "/panel.awl", "--scans", "100000000"}, "kvx: scan "},
        {{"test", KVX_TEST_DATA "/panel.awl", x("{scn}")}, x("{scn}:1: scan ")},
    };
    for (const auto& [args, label] : cases) {
        SCOPED_TRACE(joined(args));
        const auto [master, terminal] = pseudoTerminal();
        if (master < 0) {
            GTEST_SKIP() << "no pseudo-terminal can be opened here (no /dev/pts?)";
        }
        const int out =
            open((tmp / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const pid_t pid = startKvx(args, streams(-1, out, terminal));
        close(out);
        close(terminal);
        const std::string shown = readUntil(master, " of 100000000 (", std::chrono::seconds(30));
        EXPECT_NE(shown.find("\r\033[K" + label), std::string::npos) << shown;
        EXPECT_NE(shown.find(" of 100000000 ("), std::string::npos) << shown;
        kill(pid, SIGINT);
        EXPECT_EQ(waitAtMost(pid, std::chrono::seconds(1)), 128 + SIGINT);
        close(master);
    }
}

} // namespace

} // namespace kvx
