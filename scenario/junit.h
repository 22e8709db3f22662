// JUnit XML for CI servers: one test suite per program, one test case per scenario.
#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "scenario/scenario.h"

namespace kvx {

// Every failure of a scenario is listed in its one <failure> element, with the expected and
// the actual value of each failed check. When the program did not load, `loadError` holds the
// diagnostic, and the suite has one test case in error for it instead of the scenarios.
//
// The result is well-formed XML whatever the texts hold: bytes that are not UTF-8, and the
// characters XML forbids, do not reach it.
void writeJUnit(std::ostream& out, const std::string& program,
                std::span<const ScenarioReport> reports,
                const std::optional<std::string>& loadError = std::nullopt);

} // namespace kvx
