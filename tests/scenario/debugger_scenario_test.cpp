#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "loader/reader.h"
#include "scenario/program_file.h"
#include "scenario/scenario.h"

namespace kvx {

namespace {

// The lines the scenarios break at are numbered on the right.
const std::string Program = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n"
                            "LD E0.0\nLPS\nU E0.1\n"         // 6
                            "= A0.0\nLRD\nUN E0.1\n"         // 9
                            "= A0.1\nLPP\nU SM0.0\n= A0.2\n" // 12
                            "NETWORK 2\nLD E0.2\nO E0.3\nLD E0.4\nO E0.5\n"
                            "ULD\nLD E0.6\nOLD\n= A0.3\n" // 19, 21
                            "NETWORK 3\nLD SM0.1\nS S0.0 1\n"
                            "NETWORK 4\nLSCR S0.0\nNETWORK 5\nLD E0.7\nSCRT S0.1\n" // 30
                            "NETWORK 6\nSCRE\nNETWORK 7\nLSCR S0.1\nNETWORK 8\n"
                            "LD SM0.0\n= A0.4\nLD M0.0\nS V99.0 9\n" // 36, 38
                            "NETWORK 9\nSCRE\nEND_ORGANIZATION_BLOCK\n";

struct Case {
    const char* scenario;
    int passed;
    // What the runner prints, one failure a line.
    const char* failures;
};

// Halting, stepping and the logic stack on LPS/LRD/LPP, ULD/OLD and sequence segments, a
// fault met by a step, and every way a debugger line is refused.
const Case Cases[] = {
    {"set E0.0 1\nbreak 6\nexpect-stack 11\nexpect-vke 1\nnext\nexpect-stack 01\n"
     "break 9\nexpect-stack 11\nexpect A0.0 0\nbreak 12\nexpect-stack 1\nfinish\n"
     "expect AB0 2#00000110\n",
     7, ""},
    {"set E0.2 1\nset E0.6 1\nbreak 19\nexpect-stack 01\nnext\nexpect-vke 0\nbreak 21\n"
     "expect-stack 10\nexpect-vke 0\nnext\nexpect-vke 1\nfinish\nexpect A0.3 1\n",
     5, "s:9: expect-vke 0: got 1\n"},
    // S0.1 becomes active in the scan whose transition fires, and its line is next there.
    {"set E0.7 1\nbreak 36\nexpect S0.1 1\nbreak 30\nexpect S0.1 1\n", 1,
     "s:4: line 30 was not reached within --max-scans 5 scans; the scenario stops here\n"},
    {"set E0.7 1\nset M0.0 1\nbreak 38\nidle 500\nnext\nexpect-vke 1\nnext\n"
     "expect-error Out of field read\nnext\nexpect A0.4 1\n",
     3, "s:9: next needs a halted scan: break LINE halts one\n"},
    {"next\nfinish\nexpect-vke 1\nexpect-stack 1\nbreak 3\nbreak x\nbreak 4\nscan\nwait 5\n"
     "expect-vke 2\nexpect-stack 12\nbreak 4 5\nexpect-vke 1\n",
     0,
     "s:1: next needs a halted scan: break LINE halts one\n"
     "s:2: finish needs a halted scan: break LINE halts one\n"
     "s:3: expect-vke needs a halted scan: break LINE halts one\n"
     "s:4: expect-stack needs a halted scan: break LINE halts one\n"
     "s:5: line 3 holds no instruction\n"
     "s:6: the line needs a whole number from 0 to 4294967295, not 'x'\n"
     "s:8: scan cannot run while the scan is halted before line 4: next, finish or break "
     "runs it on\n"
     "s:9: wait cannot run while the scan is halted before line 4: next, finish or break "
     "runs it on\n"
     "s:10: usage: expect-vke 0, or expect-vke 1\n"
     "s:11: usage: expect-stack BITS, the top first, such as 101\n"
     "s:12: usage: break LINE\n"
     "s:13: expect-vke 1: got 0\n"},
};

TEST(ScenarioDebugger, BreakNextFinishAndTheStackChecks) {
    ScenarioLimits limits;
    limits.maxScans = 5;
    for (const Case& c : Cases) {
        std::ostringstream out;
        StringRead scenario(c.scenario);
        const ScenarioReport report =
            runScenario(ProgramFile::fromText("p.awl", Program), "s", scenario, out, limits);
        EXPECT_EQ(out.str(), c.failures) << c.scenario;
        EXPECT_EQ(report.passed, c.passed) << c.scenario;
    }
}

} // namespace
} // namespace kvx
