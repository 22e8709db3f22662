// kvx: checks, lists, runs and tests controller programs without the window.

#include <unistd.h>

#include <cstring>
#include <exception>
#include <iostream>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output.h"
#include "session/text.h"

namespace kvx {
namespace {

int usage(const UsageError& e) {
    std::cerr << "kvx: " << escaped(e.what()) << "\nTry 'kvx --help' for more information.\n";
    return ExitUsage;
}

int dispatch(Options o, std::ostream& out) {
    o.showProgress = ::isatty(STDERR_FILENO) != 0;
    switch (o.command) {
    case Command::Help:
        out << helpText();
        return ExitOk;
    case Command::Version:
        out << versionText();
        return ExitOk;
    case Command::Check:
        return checkCommand(o, out, std::cerr);
    case Command::List:
        return listCommand(o, out, std::cerr);
    case Command::Run:
        return runCommand(o, out, std::cerr);
    case Command::Test:
        return testCommand(o, out, std::cerr);
    }
    return ExitUsage;
}

int runMain(std::span<const char* const> args, std::ostream& out) {
    try {
        return dispatch(parseOptions(args), out);
    } catch (const UsageError& e) {
        return usage(e);
    } catch (const std::exception& e) {
        std::cerr << "kvx: error: " << escaped(e.what()) << '\n';
        return ExitFailure;
    }
}

} // namespace
} // namespace kvx

int main(int argc, char** argv) {
    using namespace kvx;
    FdOutputBuffer buffer(STDOUT_FILENO);
    std::ostream out(&buffer);
    const auto args = std::span<const char* const>(argv, static_cast<std::size_t>(argc));
    const int code = runMain(args.subspan(1), out);
    // Output that did not arrive is a failure whatever the command found: a report cut short
    // must not pass for a complete one.
    out.flush();
    if (buffer.error() != 0) {
        std::cerr << "kvx: write error: " << std::strerror(buffer.error()) << '\n';
        return ExitFailure;
    }
    return code;
}
