#include "scenario/scenario.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <optional>
#include <string_view>

#include "core/common.h"
#include "core/cpu.h"
#include "loader/reader.h"
#include "scenario/numbers.h"
#include "scenario/program_file.h"
#include "scenario/progress.h"
#include "session/operand_access.h"
#include "session/session.h"
#include "session/text.h"

namespace kvx {

namespace {

constexpr std::string_view Blanks = " \t";
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view SetUsage = "set OPERAND VALUE, or set TIMER VALUE running";

// One scenario line split into its command word and the words after it.
struct Line {
    int number = 0;
    std::string_view text;
    std::string_view command;
    std::vector<std::string_view> args;
    // Everything after the command word and its blanks, for expect-error.
    std::string_view rest;
};

std::string_view trim(std::string_view s) noexcept {
    const auto first = s.find_first_not_of(Blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(Blanks) - first + 1);
}

Line splitLine(int number, std::string_view text) {
    Line line;
    line.number = number;
    line.text = trim(text);
    std::string_view s = line.text;
    bool first = true;
    while (!s.empty()) {
        const auto end = std::min(s.find_first_of(Blanks), s.size());
        if (first) {
            line.command = s.substr(0, end);
            line.rest = trim(s.substr(end));
            first = false;
        } else {
            line.args.push_back(s.substr(0, end));
        }
        s = trim(s.substr(end));
    }
    return line;
}

// Reads the next line of `source` into `line`, without its line feed. False at the end of the
// input, or when the line is longer than MaxLineBytes (then `line` holds its first bytes).
// Throws CPUException when the source cannot be read.
bool readLine(Reader& source, std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    int c = source.read();
    if (c == -1) {
        return false;
    }
    for (; c != -1 && c != '\n'; c = source.read()) {
        if (line.size() == MaxLineBytes) {
            tooLong = true;
            return false;
        }
        line.push_back(static_cast<char>(c));
    }
    return true;
}

class ScenarioRun final {
public:
    ScenarioRun(std::string name, std::ostream& o, const ScenarioLimits& l,
                ScenarioWatcher* w = nullptr)
        : out(o), limits(l), watcher(w) {
        report.name = std::move(name);
    }

    ScenarioReport run(const ProgramFile& program, Reader* source) {
        bool watched = false;
        try {
            if (auto error = program.loadInto(session)) {
                fail(0, escaped(error->getText()));
            } else if (source != nullptr) {
                if (watcher != nullptr) {
                    watcher->started(report.name, session);
                    watched = true;
                }
                runLines(*source);
            }
        } catch (const std::bad_alloc&) {
            // What the scenario kept may be what filled the memory: let it go, and keep one
            // failure that says what happened.
            progress = nullptr;
            report.failures = {};
            report.moreFailures = 0;
            pendingError.reset();
            fail(0, "out of memory");
        }
        // Also after running out of memory, so nothing watches a session that is gone.
        if (watched) {
            watcher->finished(session.now());
        }
        return std::move(report);
    }

    // A scenario file that cannot even be opened.
    ScenarioReport unreadable(const CPUException& e) {
        fail(0, escaped(e.getText()));
        return std::move(report);
    }

private:
    struct CommandSpec {
        std::string_view name;
        std::size_t minArgs;
        std::size_t maxArgs;
        std::string_view usage;
        void (ScenarioRun::*run)(const Line&);
    };

    static constexpr std::size_t AnyArgs = SIZE_MAX;

    static const CommandSpec Commands[];
    // Null for a word that is no command.
    static const CommandSpec* findCommand(std::string_view name);

    // Line by line, so neither a huge file nor an endless one is ever held whole.
    void runLines(Reader& source) {
        std::string raw;
        int number = 0;
        try {
            bool tooLong = false;
            while (!stopped && readLine(source, raw, tooLong)) {
                // Editors on some systems start a UTF-8 file with a byte order mark.
                if (number == 0 && raw.starts_with(ByteOrderMark)) {
                    raw.erase(0, ByteOrderMark.size());
                }
                execute(splitLine(++number, raw));
            }
            if (tooLong) {
                flushPendingError();
                fail(number + 1, "the line is longer than " + std::to_string(MaxLineBytes) +
                                     " bytes; the scenario stops here");
            }
        } catch (const CPUException& e) {
            // A read error part way: what ran stays counted, the rest is this failure.
            flushPendingError();
            fail(0, escaped(e.getText()));
        }
        flushPendingError();
        // A truncated or empty file must not turn a test run green.
        if (checks == 0 && report.failed() == 0) {
            fail(0, "the scenario checks nothing: it has no expect, expect-bit or expect-error "
                    "line");
        }
    }

    void execute(const Line& line) {
        if (line.text.empty() || line.text.front() == '#') {
            return;
        }
        const CommandSpec* entry = findCommand(line.command);
        // A run-time error may be expected only by the line right after its scan.
        if (entry == nullptr || entry->run != &ScenarioRun::expectError) {
            flushPendingError();
        }
        if (entry == nullptr) {
            fail(line.number, "unknown command '" + forMessage(line.command) + "'");
            return;
        }
        if (line.args.size() < entry->minArgs || line.args.size() > entry->maxArgs) {
            fail(line.number, "usage: " + std::string(entry->usage));
            return;
        }
        try {
            (this->*entry->run)(line);
        } catch (const InputError& e) {
            fail(line.number, e.what());
        } catch (const CPUException& e) {
            // An address outside its area, met while setting or reading an operand.
            fail(line.number, escaped(e.getText()));
        }
    }

    void set(const Line& line) {
        OperandRef operand(session.cpu(), line.args[0]);
        const Constant value = parseConstant(session.cpu(), line.args[1]);
        if (line.args.size() == 2) {
            session.write(operand, value);
            return;
        }
        if (line.args[2] != "running" || operand.kind() != Kind::Timer) {
            throw InputError("usage: " + std::string(SetUsage));
        }
        session.startTimer(operand, value);
    }

    void preset(const Line& line) {
        OperandRef operand(session.cpu(), line.args[0]);
        operand.setPreset(parseConstant(session.cpu(), line.args[1]));
    }

    void force(const Line& line) {
        OperandRef operand(session.cpu(), line.args[0]);
        if (const auto error = session.force(operand, parseConstant(session.cpu(), line.args[1]))) {
            throw *error;
        }
    }

    void unforce(const Line& line) {
        if (line.args[0] == "all") {
            session.releaseAll();
            return;
        }
        // Named as the force was, so a typing error is reported and not taken for "not forced".
        const OperandRef operand(session.cpu(), line.args[0]);
        session.release(operand.text());
    }

    void idle(const Line& line) {
        const std::uint64_t ms = parseCount<InputError>("the time", line.args[0]);
        if (ms > Session::LastMs - session.now()) {
            stopped = true;
            throw InputError("this line " + pastClockLimit() + "; the scenario stops here");
        }
        session.advance(static_cast<std::uint32_t>(ms));
    }

    void scan(const Line& line) {
        refuseWhileHalted("scan");
        runScans(line,
                 line.args.empty() ? 1 : parseCount<InputError>("the scan count", line.args[0]));
    }

    // "MS", or "MS/N" for MS ms after every N scans: how a window at a slower speed scans
    // several times in one simulated millisecond.
    void step(const Line& line) {
        const std::string_view text = line.args[0];
        const auto slash = text.find('/');
        const std::uint32_t ms = parseCount<InputError>("the step", text.substr(0, slash));
        std::uint32_t every = 1;
        if (slash != std::string_view::npos) {
            every = parseCount<InputError>("the scans per step", text.substr(slash + 1));
            if (every == 0 || every > MaxScansPerStep) {
                throw InputError("the scans per step need a whole number from 1 to " +
                                 std::to_string(MaxScansPerStep) + ", not '" +
                                 forMessage(text.substr(slash + 1)) + "'");
            }
        }
        session.setStep(ms, every);
    }

    void wait(const Line& line) {
        refuseWhileHalted("wait");
        const std::uint64_t ms = parseCount<InputError>("the time", line.args[0]);
        const std::uint64_t stepMs = session.step();
        if (stepMs == 0) {
            throw InputError("wait needs a step above 0 ms");
        }
        runScans(line, (ms + stepMs - 1) / stepMs * session.stepEvery());
    }

    // ---- a halted scan ----

    // Scans until the instruction at the program line is next, halting there; in a halted
    // scan, runs on to it in this scan or later ones.
    void breakAt(const Line& line) {
        const std::uint32_t target = parseCount<InputError>("the line", line.args[0]);
        if (target > static_cast<std::uint32_t>(INT32_MAX)) {
            throw InputError("line " + std::to_string(target) + " holds no instruction");
        }
        const int programLine = static_cast<int>(target);
        for (;;) {
            if (!session.isHalted()) {
                if (scansRun >= limits.maxScans) {
                    stopped = true;
                    throw InputError("line " + std::to_string(programLine) +
                                     " was not reached within --max-scans " +
                                     std::to_string(limits.maxScans) +
                                     " scans; the scenario stops here");
                }
                if (session.scansLeftOnClock() == 0) {
                    stopped = true;
                    throw InputError("this line " + pastClockLimit() + "; the scenario stops here");
                }
            }
            const bool begins = !session.isHalted();
            const bool halted =
                debug(line, [&](ScanObserver* o) { return session.runToLine(programLine, o); });
            scansRun += begins ? 1 : 0;
            if (halted || pendingError) {
                return;
            }
        }
    }

    void next(const Line& line) {
        requireHalt("next");
        debug(line, [&](ScanObserver* o) { return session.stepInstruction(o); });
    }

    void finish(const Line& line) {
        requireHalt("finish");
        debug(line, [&](ScanObserver* o) { return session.finishScan(o); });
    }

    void expectVke(const Line& line) {
        requireHalt("expect-vke");
        const std::string_view want = line.args[0];
        if (want != "0" && want != "1") {
            throw InputError("usage: expect-vke 0, or expect-vke 1");
        }
        const std::string actual = std::to_string(session.cpu().CurrentStack() != 0 ? 1 : 0);
        check(line, actual == want, std::string(want), actual);
    }

    void expectStack(const Line& line) {
        requireHalt("expect-stack");
        const std::string_view want = line.args[0];
        if (want.find_first_not_of("01") != std::string_view::npos) {
            throw InputError("usage: expect-stack BITS, the top first, such as 101");
        }
        const CPU& cpu = session.cpu();
        std::string actual;
        for (int i = 0; i < cpu.stackDepth() && actual.size() < want.size(); ++i) {
            actual.push_back(cpu.stackFromTop(i) != 0 ? '1' : '0');
        }
        check(line, actual == want, std::string(want), actual.empty() ? "an empty stack" : actual);
    }

    void requireHalt(std::string_view command) const {
        if (!session.isHalted()) {
            throw InputError(std::string(command) + " needs a halted scan: break LINE halts one");
        }
    }

    void refuseWhileHalted(std::string_view command) const {
        if (const auto at = session.haltedLine()) {
            throw InputError(std::string(command) +
                             " cannot run while the scan is halted before line " +
                             std::to_string(*at) + ": next, finish or break runs it on");
        }
    }

    // One command on a scan that may halt; a scan that ended is told to the watcher and its
    // error kept for expect-error, as a scan line's. True when the scan is halted afterwards.
    template <typename Command>
    bool debug(const Line& line, Command command) {
        if (!session.isHalted()) {
            haltedScanAt = session.now();
        }
        const auto error = command(watcher != nullptr ? watcher->observer() : nullptr);
        if (session.isHalted()) {
            return true;
        }
        if (watcher != nullptr) {
            watcher->scanned(haltedScanAt);
        }
        if (error) {
            pendingError = PendingError{line.number, error->getText()};
        }
        return false;
    }

    void reset(const Line&) { session.reset(); }
    void clear(const Line&) { session.clearMemory(); }

    void expect(const Line& line) {
        OperandRef operand(session.cpu(), line.args[0]);
        const Constant want = parseConstant(session.cpu(), line.args[1]);
        const std::uint32_t expected = operand.expected(want);
        const std::uint32_t actual = operand.value();
        check(line, actual == expected, operand.format(expected, want),
              operand.format(actual, want));
    }

    void expectBit(const Line& line) {
        OperandRef operand(session.cpu(), line.args[0]);
        const int expected = OperandRef::expectedBit(parseConstant(session.cpu(), line.args[1]));
        const int actual = operand.bit();
        check(line, actual == expected, std::to_string(expected), std::to_string(actual));
    }

    void expectError(const Line& line) {
        const std::string actual = pendingError ? pendingError->text : std::string();
        pendingError.reset();
        check(line, actual == line.rest, std::string(line.rest),
              actual.empty() ? "no error" : actual);
    }

    void runScans(const Line& line, std::uint64_t count) {
        if (count > limits.maxScans - scansRun) {
            stopped = true;
            throw InputError("this line would bring the scenario to " +
                             std::to_string(scansRun + count) + " scans, more than --max-scans " +
                             std::to_string(limits.maxScans) + " allows; the scenario stops here");
        }
        if (count > session.scansLeftOnClock()) {
            stopped = true;
            throw InputError("this line " + pastClockLimit() + "; the scenario stops here");
        }
        Progress shown(limits.progress, escaped(report.name) + ":" + std::to_string(line.number),
                       count);
        progress = &shown;
        for (std::uint64_t i = 0; i < count; ++i) {
            // Only the last scan of a command can be followed by a line that expects its error.
            flushPendingError();
            if (auto error = scanOnce()) {
                pendingError = PendingError{line.number, error->getText()};
            }
            ++scansRun;
            shown.update(i + 1);
        }
        progress = nullptr;
    }

    // Without a watcher the scan takes the fast path that observes nothing.
    std::optional<CPUException> scanOnce() {
        if (watcher == nullptr) {
            return session.scan();
        }
        const std::uint32_t at = session.now();
        auto error = session.scan(watcher->observer());
        watcher->scanned(at);
        return error;
    }

    void check(const Line& line, bool ok, std::string expected, std::string actual) {
        ++checks;
        if (ok) {
            ++report.passed;
            return;
        }
        fail(line.number, forMessage(line.text) + ": got " + escaped(actual), std::move(expected),
             actual);
    }

    void flushPendingError() {
        if (pendingError) {
            fail(pendingError->line, "scan raised " + escaped(pendingError->text));
            pendingError.reset();
        }
    }

    void fail(int line, std::string message, std::string expected = {}, std::string actual = {}) {
        if (progress != nullptr) {
            progress->clear();
        }
        ScenarioFailure failure{line, std::move(message), std::move(expected), std::move(actual)};
        out << failureText(report.name, failure) << '\n';
        if (report.failures.size() < ScenarioReport::MaxKeptFailures) {
            report.failures.push_back(std::move(failure));
        } else {
            ++report.moreFailures;
        }
    }

    struct PendingError {
        int line;
        std::string text;
    };

    Session session;
    std::ostream& out;
    const ScenarioLimits& limits;
    ScenarioWatcher* watcher;
    ScenarioReport report;
    std::optional<PendingError> pendingError;
    std::uint64_t scansRun = 0;
    std::uint64_t checks = 0;
    // The time the halted scan started at.
    std::uint32_t haltedScanAt = 0;
    bool stopped = false;
    Progress* progress = nullptr;
};

const ScenarioRun::CommandSpec ScenarioRun::Commands[] = {
    {"set", 2, 3, SetUsage, &ScenarioRun::set},
    {"preset", 2, 2, "preset TIMER-OR-COUNTER VALUE", &ScenarioRun::preset},
    {"force", 2, 2, "force OPERAND VALUE", &ScenarioRun::force},
    {"unforce", 1, 1, "unforce OPERAND, or unforce all", &ScenarioRun::unforce},
    {"scan", 0, 1, "scan [N]", &ScenarioRun::scan},
    {"step", 1, 1, "step MS, or step MS/N", &ScenarioRun::step},
    {"wait", 1, 1, "wait MS", &ScenarioRun::wait},
    {"idle", 1, 1, "idle MS", &ScenarioRun::idle},
    {"reset", 0, 0, "reset", &ScenarioRun::reset},
    {"clear", 0, 0, "clear", &ScenarioRun::clear},
    {"expect", 2, 2, "expect OPERAND VALUE", &ScenarioRun::expect},
    {"expect-bit", 2, 2, "expect-bit OPERAND VALUE", &ScenarioRun::expectBit},
    {"expect-error", 1, AnyArgs, "expect-error TEXT", &ScenarioRun::expectError},
    {"break", 1, 1, "break LINE", &ScenarioRun::breakAt},
    {"next", 0, 0, "next", &ScenarioRun::next},
    {"finish", 0, 0, "finish", &ScenarioRun::finish},
    {"expect-vke", 1, 1, "expect-vke 0, or expect-vke 1", &ScenarioRun::expectVke},
    {"expect-stack", 1, 1, "expect-stack BITS", &ScenarioRun::expectStack},
};

const ScenarioRun::CommandSpec* ScenarioRun::findCommand(std::string_view name) {
    const auto* entry = std::find_if(std::begin(Commands), std::end(Commands),
                                     [name](const CommandSpec& c) { return c.name == name; });
    return entry == std::end(Commands) ? nullptr : entry;
}

} // namespace

std::string pastClockLimit() {
    return "would carry the simulated clock past " + std::to_string(Session::LastMs) +
           " ms (about 49.7 days), where it would start again at 0";
}

std::string failureText(const std::string& scenario, const ScenarioFailure& failure) {
    // A failure of the whole scenario reads like a load error.
    if (failure.line <= 0) {
        return escaped(scenario) + ": error: " + failure.message;
    }
    return escaped(scenario) + ":" + std::to_string(failure.line) + ": " + failure.message;
}

std::string testSummary(std::size_t passed, std::size_t failed) {
    return std::to_string(passed) + " passed, " + std::to_string(failed) + " failed";
}

ScenarioReport runScenario(const ProgramFile& program, const std::string& name, Reader& source,
                           std::ostream& out, const ScenarioLimits& limits,
                           ScenarioWatcher* watcher) {
    return ScenarioRun(name, out, limits, watcher).run(program, &source);
}

ScenarioReport runScenario(const ProgramFile& program, const std::string& path, std::ostream& out,
                           const ScenarioLimits& limits, ScenarioWatcher* watcher) {
    std::optional<FRead> file;
    try {
        file.emplace(path);
    } catch (const CPUException& e) {
        return ScenarioRun(path, out, limits).unreadable(e);
    }
    return runScenario(program, path, *file, out, limits, watcher);
}

} // namespace kvx
