// kvx: checks, lists, runs and tests controller programs without the window.

#include <exception>
#include <iostream>

#include "cli/commands.h"
#include "cli/options.h"

namespace kvx {
namespace {

int usage(const UsageError& e) {
    std::cerr << "kvx: " << e.what() << "\nTry 'kvx --help' for more information.\n";
    return ExitUsage;
}

int dispatch(const Options& o) {
    switch (o.command) {
    case Command::Help:
        std::cout << helpText();
        return ExitOk;
    case Command::Version:
        std::cout << versionText();
        return ExitOk;
    case Command::Check:
        return checkCommand(o, std::cout, std::cerr);
    case Command::List:
        return listCommand(o, std::cout, std::cerr);
    case Command::Run:
        return runCommand(o, std::cout, std::cerr);
    case Command::Test:
        return testCommand(o, std::cout, std::cerr);
    }
    return ExitUsage;
}

} // namespace
} // namespace kvx

int main(int argc, char** argv) {
    using namespace kvx;
    try {
        const auto args = std::span<const char* const>(argv, static_cast<std::size_t>(argc));
        return dispatch(parseOptions(args.subspan(1)));
    } catch (const UsageError& e) {
        return usage(e);
    } catch (const std::exception& e) {
        std::cerr << "kvx: error: " << e.what() << '\n';
        return ExitFailure;
    }
}
