// The runner's command line: which command, on which files, with which options.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "scenario/scenario.h"

namespace kvx {

// Process exit codes; --help lists them.
enum ExitCode : int {
    ExitOk = 0,
    // A file does not load, a check or scenario failed, or a scan raised an error.
    ExitFailure = 1,
    // The command line itself is wrong.
    ExitUsage = 2,
};

enum class Command { Check, List, Run, Test, Help, Version };

// One --set OPERAND=VALUE, still as text: operands can only be parsed against a CPU.
struct SetArg {
    std::string operand;
    std::string value;
};

struct Options {
    Command command = Command::Help;
    // check: the programs; list and run: the one program; test: the program, then scenarios.
    std::vector<std::string> files;
    std::uint32_t scans = 1;
    std::uint32_t stepMs = 1;
    std::vector<SetArg> sets;
    bool trace = false;
    bool stats = false;
    // "-" for standard output.
    std::optional<std::string> junit;
    // test: the lcov tracefile of all scenarios together.
    std::optional<std::string> coverage;
    // run: the waveform file; test: the file name each scenario's waveform name is made from.
    std::optional<std::string> vcd;
    // Operands the waveform shows besides the inputs and outputs, as written.
    std::vector<std::string> probes;
    // run and test: the most scans a run, or one scenario, may take.
    std::uint64_t maxScans = ScenarioLimits::DefaultMaxScans;
    // Not an option: set when standard error is a terminal, where long runs show progress.
    bool showProgress = false;
};

// A command line that cannot be run; what() tells the user why.
class UsageError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// `args` excludes the program name. Throws UsageError.
Options parseOptions(std::span<const char* const> args);

std::string_view helpText() noexcept;
std::string versionText();

} // namespace kvx
