// JUnit XML for CI servers: one test suite per program, one test case per scenario.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "cli/scenario.h"

namespace kvx {

// Every failure of a scenario is listed in its one <failure> element, with the expected and
// the actual value of each failed check.
void writeJUnit(std::ostream& out, const std::string& program,
                std::span<const ScenarioReport> reports);

} // namespace kvx
