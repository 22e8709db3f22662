// Scenario tests: a file of commands that set inputs, run scans on the simulated clock and
// check operands, run against a freshly loaded program.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kvx {

class ProgramFile;

// One failed check, unexpected run-time error or malformed line.
struct ScenarioFailure {
    // 0 when the failure concerns the whole scenario (it could not be read).
    int line = 0;
    // The text printed for it, without the "SCENARIO:LINE: " prefix.
    std::string message;
    // For failed checks: what the line expected and what it got; empty otherwise.
    std::string expected;
    std::string actual;
};

struct ScenarioReport {
    std::string name;
    int passed = 0;
    std::vector<ScenarioFailure> failures;
};

// The text a failure is reported with: "SCENARIO:LINE: MESSAGE", or "SCENARIO: error: MESSAGE"
// for a failure of the whole scenario. No line feed.
std::string failureText(const std::string& scenario, const ScenarioFailure& failure);

// Runs the scenario at `path` on a new CPU (all memory 0, clock at 0) with `program` loaded
// and reset. Each failure is printed to `out` as it happens, as "SCENARIO:LINE: MESSAGE".
ScenarioReport runScenario(const ProgramFile& program, const std::string& path, std::ostream& out);

} // namespace kvx
