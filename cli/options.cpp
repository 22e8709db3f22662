#include "cli/options.h"

#include <algorithm>
#include <iterator>

#include "scenario/numbers.h"
#include "session/text.h"

namespace kvx {

namespace {

struct CommandName {
    std::string_view name;
    Command command;
    // How many file arguments the command takes; SIZE_MAX for "any number from min".
    std::size_t minFiles;
    std::size_t maxFiles;
};

constexpr std::size_t Many = SIZE_MAX;

constexpr CommandName Commands[] = {
    {"check", Command::Check, 1, Many},
    {"list", Command::List, 1, 1},
    {"run", Command::Run, 1, 1},
    {"test", Command::Test, 2, Many},
};

void applyScans(Options& o, std::string_view v) {
    o.scans = parseCount<UsageError>("--scans", v);
}
void applyStep(Options& o, std::string_view v) {
    o.stepMs = parseCount<UsageError>("--step", v);
}
void applySet(Options& o, std::string_view v) {
    const auto eq = v.find('=');
    if (eq == std::string_view::npos || eq == 0 || eq + 1 == v.size()) {
        throw UsageError("--set needs OPERAND=VALUE, not '" + forMessage(v) + "'");
    }
    o.sets.push_back({std::string(v.substr(0, eq)), std::string(v.substr(eq + 1))});
}
void applyTrace(Options& o, std::string_view) {
    o.trace = true;
}
void applyStats(Options& o, std::string_view) {
    o.stats = true;
}
// An empty name is a slip (a shell variable that was never set), never a file.
std::string fileName(std::string_view option, std::string_view v) {
    if (v.empty()) {
        throw UsageError(std::string(option) + " needs a file name, not ''");
    }
    return std::string(v);
}
void applyJunit(Options& o, std::string_view v) {
    o.junit = fileName("--junit", v);
}
void applyMaxScans(Options& o, std::string_view v) {
    o.maxScans = parseCount<UsageError>("--max-scans", v);
}
// Standard output already carries the command's own text, so these reports need a file.
std::string reportPath(std::string_view option, std::string_view v) {
    if (v == "-") {
        throw UsageError(std::string(option) + " needs a file name, not '-'");
    }
    return fileName(option, v);
}
void applyCoverage(Options& o, std::string_view v) {
    o.coverage = reportPath("--coverage", v);
}
void applyVcd(Options& o, std::string_view v) {
    o.vcd = reportPath("--vcd", v);
}
void applyProbe(Options& o, std::string_view v) {
    o.probes.emplace_back(v);
}

struct OptionSpec {
    std::string_view name;
    bool takesValue;
    // Whether it may be given more than once; an option that sets one value may not, so that
    // a second --junit cannot silently send the report elsewhere.
    bool repeats;
    // The commands it belongs to; the second is Help when there is only one.
    Command command;
    Command alsoCommand;
    void (*apply)(Options&, std::string_view);
};

constexpr OptionSpec CommandOptions[] = {
    {"--scans", true, false, Command::Run, Command::Help, applyScans},
    {"--step", true, false, Command::Run, Command::Help, applyStep},
    {"--set", true, true, Command::Run, Command::Help, applySet},
    {"--trace", false, true, Command::Run, Command::Help, applyTrace},
    {"--stats", false, true, Command::Run, Command::Help, applyStats},
    {"--max-scans", true, false, Command::Run, Command::Test, applyMaxScans},
    {"--junit", true, false, Command::Test, Command::Help, applyJunit},
    {"--coverage", true, false, Command::Test, Command::Help, applyCoverage},
    {"--vcd", true, false, Command::Run, Command::Test, applyVcd},
    {"--probe", true, true, Command::Run, Command::Test, applyProbe},
};

const CommandName& findCommand(std::string_view word) {
    const auto* it = std::find_if(std::begin(Commands), std::end(Commands),
                                  [word](const CommandName& n) { return n.name == word; });
    if (it == std::end(Commands)) {
        throw UsageError("unknown command '" + forMessage(word) + "'");
    }
    return *it;
}

std::string_view commandName(Command c) noexcept {
    const auto* it = std::find_if(std::begin(Commands), std::end(Commands),
                                  [c](const CommandName& n) { return n.command == c; });
    return it == std::end(Commands) ? std::string_view{} : it->name;
}

class ArgParser final {
public:
    explicit ArgParser(std::span<const char* const> a) noexcept : args(a) {}

    Options parse() {
        // --help and --version win wherever they stand, so `kvx run --help` helps.
        for (std::string_view arg : args) {
            if (arg == "--") {
                break;
            }
            if (arg == "--help" || arg == "--version") {
                Options o;
                o.command = arg == "--help" ? Command::Help : Command::Version;
                return o;
            }
        }
        if (args.empty()) {
            throw UsageError("no command given");
        }
        const CommandName& cmd = findCommand(args[0]);
        Options o;
        o.command = cmd.command;
        bool optionsEnded = false;
        for (std::size_t i = 1; i < args.size(); ++i) {
            const std::string_view arg = args[i];
            if (!optionsEnded && arg == "--") {
                optionsEnded = true;
            } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
                i = option(o, i);
            } else {
                o.files.emplace_back(arg);
            }
        }
        checkFiles(cmd, o);
        if (o.command == Command::Run && o.scans > o.maxScans) {
            throw UsageError("--scans " + std::to_string(o.scans) + " is more than --max-scans " +
                             std::to_string(o.maxScans) + "; raise --max-scans to run that many");
        }
        if (!o.probes.empty() && !o.vcd) {
            throw UsageError("--probe needs --vcd, the waveform file the probes are written to");
        }
        return o;
    }

private:
    // Applies the option at args[i]; returns the index of the last argument it used.
    std::size_t option(Options& o, std::size_t i) {
        const std::string_view arg = args[i];
        const auto eq = arg.find('=');
        const std::string_view name = arg.substr(0, eq);
        const auto* entry = std::find_if(std::begin(CommandOptions), std::end(CommandOptions),
                                         [name](const OptionSpec& o) { return o.name == name; });
        if (entry == std::end(CommandOptions)) {
            throw UsageError("unknown option '" + forMessage(arg) + "'");
        }
        if (entry->command != o.command && entry->alsoCommand != o.command) {
            std::string owners = "'" + std::string(commandName(entry->command)) + "'";
            if (entry->alsoCommand != Command::Help) {
                owners += " and '" + std::string(commandName(entry->alsoCommand)) + "'";
            }
            throw UsageError(std::string(name) + " belongs to " + owners + ", not to '" +
                             std::string(commandName(o.command)) + "'");
        }
        if (!entry->repeats) {
            if (std::find(seen.begin(), seen.end(), entry->name) != seen.end()) {
                throw UsageError(std::string(name) + " may be given only once");
            }
            seen.push_back(entry->name);
        }
        if (!entry->takesValue) {
            if (eq != std::string_view::npos) {
                throw UsageError(std::string(name) + " takes no value");
            }
            entry->apply(o, {});
            return i;
        }
        if (eq != std::string_view::npos) {
            entry->apply(o, arg.substr(eq + 1));
            return i;
        }
        if (i + 1 >= args.size()) {
            throw UsageError(std::string(name) + " needs a value");
        }
        entry->apply(o, args[i + 1]);
        return i + 1;
    }

    static void checkFiles(const CommandName& cmd, const Options& o) {
        const std::size_t n = o.files.size();
        if (n < cmd.minFiles) {
            throw UsageError(std::string(cmd.name) + (cmd.command == Command::Test
                                                          ? " needs a program and a scenario"
                                                          : " needs a program file"));
        }
        if (std::find(o.files.begin(), o.files.end(), std::string_view()) != o.files.end()) {
            throw UsageError("empty file name");
        }
        if (n > cmd.maxFiles) {
            throw UsageError(std::string(cmd.name) + " takes one program file, not " +
                             std::to_string(n));
        }
        // Standard input can be read once; the test command reloads its program per scenario
        // from the copy it keeps, but a second "-" would read nothing.
        if (std::count(o.files.begin(), o.files.end(), std::string_view("-")) > 1) {
            throw UsageError("'-' (standard input) can be named only once");
        }
        if (cmd.command == Command::Test &&
            std::find(o.files.begin() + 1, o.files.end(), std::string_view("-")) != o.files.end()) {
            throw UsageError("a scenario cannot come from standard input; only the program can");
        }
    }

    std::span<const char* const> args;
    std::vector<std::string_view> seen;
};

constexpr std::string_view Help =
    R"(Usage: kvx COMMAND [OPTIONS] FILE...

Checks, lists, runs and tests controller programs (*.awl) without the window,
on a simulated clock: timers see simulated milliseconds, so runs are instant
and give the same result every time.

Commands:
  check FILE...            load each program; print nothing when it loads,
                           else FILE:LINE: error: TEXT on standard error
  list FILE                print the listing of the loaded program
  run FILE [OPTIONS]       reset, run scan cycles and print the output LEDs,
                           A0.7 first: A0.7..A0.0 00000101
      --scans N            number of scan cycles (default 1)
      --step MS            simulated ms the clock advances after each scan
                           (default 1)
      --set OPERAND=VALUE  write an operand after the reset, before the first
                           scan (E0.0..E0.7 set the input switches); may repeat
      --stats              after the LEDs, print the instructions executed,
                           the scans run and the process CPU time per
                           instruction, one "NAME: VALUE" line each
      --trace              write every executed instruction of every scan
      --max-scans N        refuse --scans above N (default 100000000)
      --vcd OUT            also write the run's waveform to OUT as a Value
                           Change Dump (time in simulated ms): E0.0..E0.7,
                           A0.0..A0.7 and each --probe, written on change
      --probe OPERAND      also show OPERAND in the waveform in its width (T
                           and Z: the value, and OPERAND_Q for preset
                           reached); may repeat
                           A scan that raises an error is reported as
                           FILE:LINE: scan K: TEXT and the run goes on (exit 1).
  test FILE SCENARIO...    run each scenario on a fresh CPU with FILE loaded;
                           prints each failure and then "N passed, N failed"
      --junit OUT          also write JUnit XML to OUT; "-" writes it to
                           standard output (the rest then goes to standard
                           error); OUT may not be one of the input files
      --max-scans N        the scans one scenario may run in all; a line that
                           needs more fails and ends the scenario
                           (default 100000000)
      --coverage OUT       also write an lcov tracefile of all scenarios to
                           OUT: runs per program line, and for each contact
                           the runs that gave 0 and 1; the summary line then
                           adds "lines executed: N of M, contacts seen both
                           ways: N of M"
      --vcd OUT            also write each scenario's waveform: into folder
                           OUT as NAME.vcd, else as OUT-NAME.vcd (OUT without
                           .vcd), NAME being the scenario file's name
                           without its extension
      --probe OPERAND      as for run
                           Report files are replaced only once complete, and
                           may not be input files.

FILE "-" reads the program from standard input. A program may hold up to
64 MiB, a scenario line up to 65536 bytes. When standard error is a terminal,
runs that take more than about two seconds show their progress there.

Scenario lines (one per line; '#' starts a comment line):
  set OPERAND VALUE        E0.0..E0.7: the input switch; else write the operand;
                           a timer set above 0 runs on from that count
  set TIMER VALUE running  the timer has counted VALUE and runs on from now
  preset TIMER VALUE       the preset of a timer or counter (Z), as its
                           instruction sets it
  force OPERAND VALUE      force the operand every scan, as the window does; a
                           timer only to 0, which holds it reset
  unforce OPERAND          release a force; "unforce all" releases every one
  scan [N]                 run N scan cycles (default 1)
  step MS[/N]              clock advance after each scan (after every N scans)
                           from now on (default 1)
  wait MS                  run ceil(MS / step) scans
  idle MS                  let MS ms pass without a scan, as while stopped
  reset                    reset the CPU, as the Reset command does
  clear                    clear memory, timers, counters and LEDs, then
                           reset, as the window's Urlöschen does
  expect OPERAND VALUE     compare the operand's value in its width
  expect-bit OPERAND VALUE compare the operand's bit (T, Z: preset reached)
  expect-error TEXT        the scan just before raised exactly TEXT
  break LINE               scan until the instruction at program line LINE is
                           next and halt there, mid-scan
  next                     execute one instruction of the halted scan
  finish                   run the halted scan to its end
  expect-vke VALUE         the top of the logic stack of the halted scan
  expect-stack BITS        its logic stack, top first (expect-stack 101)

Options:
  --help                   print this help and exit
  --version                print the version and exit

Exit status:
  0  everything loaded, ran and passed
  1  a program did not load, a check or scenario failed, a scan raised an
     error, or the output could not be written
  2  usage error (wrong command line)
)";

} // namespace

Options parseOptions(std::span<const char* const> args) {
    return ArgParser(args).parse();
}

std::string_view helpText() noexcept {
    return Help;
}

std::string versionText() {
    return std::string("kvx ") + KVX_VERSION + "\n";
}

} // namespace kvx
