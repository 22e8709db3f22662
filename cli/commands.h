// The four commands of the runner. Each returns the process exit code; results go to `out`,
// diagnostics to `err`.
#pragma once

#include <ostream>

#include "cli/options.h"

namespace kvx {

int checkCommand(const Options& o, std::ostream& out, std::ostream& err);
int listCommand(const Options& o, std::ostream& out, std::ostream& err);
// Throws UsageError for a --set that names no operand or value of that operand.
int runCommand(const Options& o, std::ostream& out, std::ostream& err);
int testCommand(const Options& o, std::ostream& out, std::ostream& err);

} // namespace kvx
