// Coverage and waveform files of the runner, checked with the tools people read them with:
// lcov and genhtml for the tracefile, sigrok-cli and GTKWave's converters for the waveform.

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kvx_process.h"

namespace kvx {

namespace {

struct Tool {
    const char* name;
    const char* path;
};

// `make deps` installs every one; a missing tool fails the test rather than passing it unseen.
const Tool Lcov{"lcov", KVX_LCOV};
const Tool Genhtml{"genhtml", KVX_GENHTML};
const Tool Sigrok{"sigrok-cli", KVX_SIGROK_CLI};
const Tool Vcd2fst{"vcd2fst", KVX_VCD2FST};
const Tool Fst2vcd{"fst2vcd", KVX_FST2VCD};

// Runs `tool` with `args` (shell words, already quoted) and returns what it printed on standard
// output; fails the test when it is missing or exits with an error.
std::string runTool(const Tool& tool, const std::string& args, const fs::path& tmp) {
    if (std::string(tool.path).empty()) {
        ADD_FAILURE() << tool.name << " is not installed; `make deps` installs it";
        return {};
    }
    const fs::path out = tmp / "tool.out";
    const fs::path err = tmp / "tool.err";
    const std::string command =
        std::string(tool.path) + " " + args + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << command << "\n" << readFile(err);
    return readFile(out);
}

std::string shellWord(const fs::path& p) {
    return "'" + p.string() + "'";
}

std::set<std::string> filesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        names.insert(fs::relative(entry.path(), folder).string());
    }
    return names;
}

// ---- bad report options ----------------------------------------------------------------------

struct BadOptionCase {
    std::vector<std::string> args;
    std::string message;
};

TEST_F(KvxTest, BadReportOptionsAreUsageErrorsThatLeaveNoFileBehind) {
    writeFile(tmp / "p.awl", readFile(KVX_TEST_DATA "/motor.awl"));
    writeFile(tmp / "s.scn", "scan\n");
    fs::create_directories(tmp / "a");
    fs::create_directories(tmp / "b");
    writeFile(tmp / "a" / "same.scn", "scan\n");
    writeFile(tmp / "b" / "same.scn", "scan\n");
    writeFile(tmp / "old.info", "old\n");
    const BadOptionCase cases[] = {
        {{"test", "{tmp}/p.awl", "{scn}", "--coverage", "{tmp}/missing/c.info"},
         "--coverage {tmp}/missing/c.info: cannot create a file in that folder"},
        {{"test", "{tmp}/p.awl", "{scn}", "--coverage", "{scn}"},
         "--coverage {scn} is the input file {scn}; name another report file"},
        {{"test", "{tmp}/p.awl", "{scn}", "--coverage", "{tmp}/a"},
         "--coverage {tmp}/a is a folder; name a file"},
        {{"run", "{tmp}/p.awl", "--vcd", "{tmp}/missing/w.vcd"},
         "--vcd {tmp}/missing/w.vcd: cannot create a file in that folder"},
        {{"run", "{tmp}/p.awl", "--vcd={tmp}/p.awl"},
         "--vcd {tmp}/p.awl is the input file {tmp}/p.awl; name another report file"},
        {{"run", "{tmp}/p.awl", "--vcd", "-"}, "--vcd needs a file name, not '-'"},
        {{"test", "{tmp}/p.awl", "{scn}", "--coverage", "-"},
         "--coverage needs a file name, not '-'"},
        {{"run", "{tmp}/p.awl", "--probe", "T37"},
         "--probe needs --vcd, the waveform file the probes are written to"},
        {{"run", "{tmp}/p.awl", "--vcd", "{tmp}/w.vcd", "--probe", "16#FF"},
         "--probe: 16#FF: is a constant, not an operand"},
        {{"run", "{tmp}/p.awl", "--vcd", "{tmp}/w.vcd", "--probe", "VB999999"},
         "--probe: VB999999: Out of field read"},
        {{"run", "{tmp}/p.awl", "--vcd", "{tmp}/w.vcd", "--probe", "VB0", "--probe", "VB0"},
         "--probe: VB0: is in the waveform already"},
        {{"run", "{tmp}/p.awl", "--vcd", "{tmp}/w.vcd", "--probe", "A0.3"},
         "--probe: A0.3: is in the waveform already"},
        {{"run", "{tmp}/p.awl", "--coverage", "{tmp}/c.info"},
         "--coverage belongs to 'test', not to 'run'"},
        {{"check", "{tmp}/p.awl", "--vcd", "{tmp}/w.vcd"},
         "--vcd belongs to 'run' and 'test', not to 'check'"},
        // A bad probe found after the coverage file was checked still writes nothing.
        {{"test", "{tmp}/p.awl", "{scn}", "--coverage", "{tmp}/old.info", "--vcd", "{tmp}/w",
          "--probe", "M0.0", "--probe", "X1"},
         "--probe: X1: Unknown Parameter Type"},
        {{"test", "{tmp}/p.awl", "{tmp}/a/same.scn", "{tmp}/b/same.scn", "--vcd", "{tmp}/w.vcd"},
         "the waveform of {tmp}/a/same.scn and the waveform of {tmp}/b/same.scn would both "
         "write {tmp}/w-same.vcd"},
        {{"test", "{tmp}/p.awl", "{scn}", "--junit", "{tmp}/r.xml", "--coverage", "{tmp}/r.xml"},
         "--junit and --coverage would both write {tmp}/r.xml"},
        // A line break would split the tracefile's record of the program.
        {{"test", "{tmp}/p\n\x1b[2J.awl", "{scn}", "--coverage", "{tmp}/c.info", "--junit",
          "{tmp}/r.xml"},
         "--coverage: the program's path {tmp}/p\\x0a\\x1b[2J.awl holds control characters, "
         "which a tracefile cannot carry"},
    };
    // The child's standard streams go through these.
    for (const char* stream : {"stdin", "stdout", "stderr"}) {
        writeFile(tmp / stream, "");
    }
    const auto before = filesIn(tmp);
    for (const auto& [args, message] : cases) {
        expectUsageError(args, message);
        EXPECT_EQ(filesIn(tmp), before) << joined(args);
        EXPECT_EQ(readFile(tmp / "old.info"), "old\n") << joined(args);
    }
}

// ---- coverage --------------------------------------------------------------------------------

struct Coverage {
    int linesExecuted = -1;
    int lines = -1;
    int bothWays = -1;
    int contacts = -1;
};

Coverage summaryOf(const std::string& out) {
    static const std::regex line(
        R"(, lines executed: (\d+) of (\d+), contacts seen both ways: (\d+) of (\d+)\n$)");
    std::smatch m;
    if (!std::regex_search(out, m, line)) {
        ADD_FAILURE() << "no coverage summary in:\n" << out;
        return {};
    }
    return {std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4])};
}

// lcov's own figures: "lines......: 75.0% (6 of 8 lines)", "branches...: 50.0% (3 of 6
// branches)".
void expectLcovAgrees(const std::string& lcovSummary, const Coverage& c, int branchesHit) {
    EXPECT_NE(lcovSummary.find("(" + std::to_string(c.linesExecuted) + " of " +
                               std::to_string(c.lines) + " lines)"),
              std::string::npos)
        << lcovSummary;
    EXPECT_NE(lcovSummary.find("(" + std::to_string(branchesHit) + " of " +
                               std::to_string(2 * c.contacts) + " branches)"),
              std::string::npos)
        << lcovSummary;
}

TEST_F(KvxTest, CoverageCountsLinesAndContactsAsLcovReadsThem) {
    // E0.0 drives A0.0, the contact of SM0.0 is always 1, and the segment of S0.5 never
    // becomes active: 6 of 8 instruction lines run, 1 of 3 contacts is seen both ways.
    writeFile(tmp / "p.awl", readFile(KVX_PARTLY_AWL));
    writeFile(tmp / "on.scn", "scan 2\nset E0.0 1\nscan 2\nexpect AB0 2#11\n");
    writeFile(tmp / "off.scn", "scan\nexpect AB0 2#10\n");
    const Result r =
        kvx({"test", "{tmp}/p.awl", "{tmp}/on.scn", "{tmp}/off.scn", "--coverage", "{tmp}/p.info"});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out,
              "2 passed, 0 failed, lines executed: 6 of 8, contacts seen both ways: 1 of 3\n");
    // Both scenarios add up: LD E0.0 ran 5 times, was 0 three times and 1 twice; the contact
    // of SM0.0 never gave 0; the segment's lines never ran.
    const std::string info = readFile(tmp / "p.info");
    for (const std::string& part :
         {"SF:" + (tmp / "p.awl").string() + "\n", std::string("DA:4,5\n"),
          std::string("DA:13,5\n"), std::string("DA:11,0\n"), std::string("DA:12,0\n"),
          std::string("BRDA:4,0,0,3\n"), std::string("BRDA:4,0,1,2\n"),
          std::string("BRDA:7,0,0,0\n"), std::string("BRDA:7,0,1,5\n"),
          std::string("BRDA:11,0,0,-\n"), std::string("LF:8\nLH:6\nend_of_record\n")}) {
        EXPECT_NE(info.find(part), std::string::npos) << part << " in\n" << info;
    }
    expectLcovAgrees(
        runTool(Lcov, "--rc lcov_branch_coverage=1 --summary " + shellWord(tmp / "p.info"), tmp),
        summaryOf(r.out), 3);
}

TEST_F(KvxTest, AProgramThatDoesNotLoadLeavesNoOlderCoverageInPlace) {
    writeFile(tmp / "bad.awl", "NETWORK\n");
    writeFile(tmp / "s.scn", "scan\n");
    writeFile(tmp / "c.info", "TN:\nSF:/old.awl\nDA:1,1\nLF:1\nLH:1\nend_of_record\n");
    const Result r = kvx({"test", "{tmp}/bad.awl", "{scn}", "--coverage", "{tmp}/c.info"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out,
              "0 passed, 1 failed, lines executed: 0 of 0, contacts seen both ways: 0 of 0\n");
    EXPECT_EQ(readFile(tmp / "c.info"), "TN:\nSF:" + (tmp / "bad.awl").string() +
                                            "\nBRF:0\nBRH:0\nLF:0\nLH:0\nend_of_record\n");
}

TEST_F(KvxTest, CoverageOfTheExamplesReadsTheSameInLcovAndGenhtml) {
    std::string tracefiles;
    Coverage total{0, 0, 0, 0};
    for (const char* example : {"bytes", "counter", "lamps", "steps", "timer"}) {
        SCOPED_TRACE(example);
        const std::string info = (tmp / (std::string(example) + ".info")).string();
        const Result r = kvx({std::string("test"), "{examples}/" + std::string(example) + ".awl",
                              "{examples}/" + std::string(example) + ".scn", "--coverage", info});
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        const Coverage c = summaryOf(r.out);
        // Each contact seen both ways is two branches taken; one seen one way is one.
        const std::string text = readFile(info);
        static const std::regex brh(R"(BRH:(\d+)\n)");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(text, m, brh)) << text;
        const int hit = std::stoi(m[1]);
        EXPECT_GE(hit, 2 * c.bothWays);
        EXPECT_LE(hit, c.bothWays + c.contacts);
        expectLcovAgrees(
            runTool(Lcov, "--rc lcov_branch_coverage=1 --summary " + shellWord(info), tmp), c, hit);
        tracefiles += " " + shellWord(info);
        total.linesExecuted += c.linesExecuted;
        total.lines += c.lines;
    }
    // genhtml finds every program by the path in its tracefile and reports the same totals.
    const std::string report =
        runTool(Genhtml, "--branch-coverage -o " + shellWord(tmp / "html") + tracefiles, tmp);
    EXPECT_NE(report.find("(" + std::to_string(total.linesExecuted) + " of " +
                          std::to_string(total.lines) + " lines)"),
              std::string::npos)
        << report;
    EXPECT_TRUE(fs::exists(tmp / "html" / "index.html"));
}

// ---- waveforms -------------------------------------------------------------------------------

// How sigrok-cli decodes channels of a VCD: their first samples, and the sample numbers
// (milliseconds, at 1 kHz) at which each changes.
struct Decoded {
    std::string first;
    std::vector<std::vector<int>> changes;
};

Decoded decodeBySigrok(const fs::path& vcd, const std::string& channels, const fs::path& tmp) {
    std::istringstream csv(
        runTool(Sigrok, "-I vcd -i " + shellWord(vcd) + " -O csv -C " + channels, tmp));
    Decoded decoded;
    auto& changes = decoded.changes;
    std::string last;
    int sample = 0;
    for (std::string row; std::getline(csv, row);) {
        if (row.empty() || row[0] == ';' || row.starts_with("META") || row.starts_with("logic")) {
            continue;
        }
        if (changes.empty()) {
            decoded.first = row;
            changes.resize(static_cast<std::size_t>(std::ranges::count(row, ',') + 1));
        }
        for (std::size_t i = 0; i < changes.size() && !last.empty(); ++i) {
            if (row[2 * i] != last[2 * i]) {
                changes[i].push_back(sample);
            }
        }
        last = row;
        ++sample;
    }
    return decoded;
}

TEST_F(KvxTest, RunWaveformChangesAtTheTimesOfTheScansThatChangedIt) {
    // timer.awl: E0.0 lights A0.1 at once and A0.0 when T37 (100 ms base, preset 20) is
    // reached. The runner itself says in which scan that is: a run of 201 scans of 10 ms
    // (the last at 2000 ms) ends with A0.0 dark, one of 202 (the last at 2010 ms) with it lit.
    const std::vector<std::string> run = {
        "run", "{examples}/timer.awl", "--set", "E0.0=1", "--step", "10"};
    auto scans = [&](const char* n, std::vector<std::string> more = {}) {
        std::vector<std::string> args = run;
        args.insert(args.end(), {"--scans", n});
        args.insert(args.end(), more.begin(), more.end());
        return kvx(args);
    };
    EXPECT_EQ(scans("201").out, "A0.7..A0.0 00000010\n");
    EXPECT_EQ(scans("202").out, "A0.7..A0.0 00000011\n");
    const Result r = scans("300", {"--vcd", "{tmp}/t.vcd", "--probe", "M0.3"});
    ASSERT_EQ(r.code, 0) << r.err;
    // sigrok-cli gives the channels in the file's order.
    const Decoded decoded = decodeBySigrok(tmp / "t.vcd", "E0_0,A0_0,A0_1,M0_3", tmp);
    const auto& changes = decoded.changes;
    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(decoded.first, "1,0,1,0");
    EXPECT_EQ(changes[1], std::vector<int>{2010});
    // E0.0 and A0.1 are 1 from the scan at 0 ms on, and M0.3 never changes.
    for (const std::size_t steady : {0u, 2u, 3u}) {
        EXPECT_EQ(changes[steady], std::vector<int>{}) << steady;
    }
    // The file lasts until the end of the last scan's 10 ms.
    EXPECT_TRUE(readFile(tmp / "t.vcd").ends_with("\n#3000\n"));
}

TEST_F(KvxTest, VectorProbesConvertWithGtkwaveTools) {
    // sigrok-cli reads only one-bit signals; GTKWave's converters read the vectors too, and the
    // round trip through its own format keeps T37's value at the time it was reached.
    const Result r = kvx({"run",     "{examples}/timer.awl",
                          "--set",   "E0.0=1",
                          "--step",  "10",
                          "--scans", "300",
                          "--vcd",   "{tmp}/t.vcd",
                          "--probe", "T37",
                          "--probe", "VB0",
                          "--probe", "MW2",
                          "--probe", "VD4",
                          "--probe", "Z1"});
    ASSERT_EQ(r.code, 0) << r.err;
    runTool(Vcd2fst, shellWord(tmp / "t.vcd") + " " + shellWord(tmp / "t.fst"), tmp);
    const std::string back = runTool(Fst2vcd, shellWord(tmp / "t.fst"), tmp);
    for (const char* declared :
         {"$var reg 16 ", " T37 [15:0] $end", " VB0 [7:0] $end", " MW2 [15:0] $end",
          " VD4 [31:0] $end", " Z1 [15:0] $end", " T37_Q $end", " Z1_Q $end"}) {
        EXPECT_NE(back.find(declared), std::string::npos) << declared << " in\n" << back;
    }
    EXPECT_NE(back.find("#2010\nb0000000000010100 "), std::string::npos) << back;
}

TEST_F(KvxTest, TestWritesOneWaveformPerScenario) {
    writeFile(tmp / "p.awl", readFile(KVX_TEST_DATA "/motor.awl"));
    writeFile(tmp / "start.scn", "step 100\nset E0.0 1\nwait 3100\nexpect A0.0 1\n");
    writeFile(tmp / "stop.scn", "step 100\nset E0.1 1\nscan\nexpect A0.0 0\n");
    const auto waveforms = [&](const std::string& out) {
        const Result r =
            kvx({"test", "{tmp}/p.awl", "{tmp}/start.scn", "{tmp}/stop.scn", "--vcd", out});
        EXPECT_EQ(r.code, 0) << r.out << r.err;
    };
    waveforms("{tmp}/w.vcd");
    fs::create_directory(tmp / "folder");
    waveforms("{tmp}/folder");
    for (const char* name : {"w-start.vcd", "w-stop.vcd", "folder/start.vcd", "folder/stop.vcd"}) {
        SCOPED_TRACE(name);
        const std::string vcd = readFile(tmp / name);
        EXPECT_TRUE(vcd.starts_with("$version KVX-Simulator $end\n$timescale 1ms $end\n")) << vcd;
        EXPECT_NE(vcd.find("$enddefinitions $end\n#0\n$dumpvars\n"), std::string::npos) << vcd;
    }
    // A0.0 comes on 3 s after the start and the scenario ends a scan later.
    EXPECT_NE(readFile(tmp / "w-start.vcd").find("#3000\n1)\n#3100\n"), std::string::npos)
        << readFile(tmp / "w-start.vcd");
    EXPECT_TRUE(readFile(tmp / "w-stop.vcd").ends_with("#100\n")) << readFile(tmp / "w-stop.vcd");
}

} // namespace

} // namespace kvx
