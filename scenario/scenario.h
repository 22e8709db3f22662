// Scenario tests: a file of commands that set inputs, run scans on the simulated clock and
// check operands, run against a freshly loaded program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace kvx {

class ProgramFile;
class Reader;
class ScanObserver;
class Session;

// One failed check, unexpected run-time error or malformed line.
struct ScenarioFailure {
    // 0 when the failure concerns the whole scenario (it could not be read).
    int line = 0;
    // The text printed for it, without the "SCENARIO:LINE: " prefix; quoted user text in it is
    // already safe to show (see cli/text.h).
    std::string message;
    // For failed checks: what the line expected and what it got; empty otherwise.
    std::string expected;
    std::string actual;
};

struct ScenarioReport {
    std::string name;
    int passed = 0;
    // The first MaxKeptFailures failures; the others are only counted in `moreFailures`, so a
    // scenario of endless failing lines cannot fill the memory.
    std::vector<ScenarioFailure> failures;
    std::size_t moreFailures = 0;

    static constexpr std::size_t MaxKeptFailures = 1000;
    std::size_t failed() const noexcept { return failures.size() + moreFailures; }
};

// The limits of one scenario run.
struct ScenarioLimits {
    // The scans one scenario may run in all; a line that would go beyond fails and ends the
    // scenario, instead of running for hours.
    std::uint64_t maxScans = DefaultMaxScans;
    // Where long scan commands show their progress; none when null.
    std::ostream* progress = nullptr;

    static constexpr std::uint64_t DefaultMaxScans = 100'000'000;
};

// What looks on while a scenario runs, such as coverage or a waveform, without changing it.
class ScenarioWatcher {
public:
    virtual ~ScenarioWatcher() = default;
    // The scenario's program is loaded and reset in `session`, and no scan has run yet. Not
    // called when the program does not load.
    virtual void started(const std::string& scenario, Session& session) = 0;
    // Sees the instructions of every scan; null for none.
    virtual ScanObserver* observer() noexcept { return nullptr; }
    // A scan that started at simulated time `ms` has ended, with or without an error.
    virtual void scanned(std::uint32_t /*ms*/) {}
    // The scenario is over, passed or not, at simulated time `ms`; nothing of it runs any more.
    virtual void finished(std::uint32_t /*ms*/) {}
};

// A scenario line longer than this ends the scenario: no line of the language needs more, and
// a file without line feeds (such as /dev/zero) must not be read into memory whole.
inline constexpr std::size_t MaxLineBytes = 64 * 1024;

// The most scans one step may span (`step MS/N`).
inline constexpr std::uint32_t MaxScansPerStep = 65535;

// Why a run is refused that would take the simulated clock past Session::LastMs, for the
// messages that refuse one: "would carry the simulated clock past ... ms ...".
std::string pastClockLimit();

// The text a failure is reported with: "SCENARIO:LINE: MESSAGE", or "SCENARIO: error: MESSAGE"
// for a failure of the whole scenario. No line feed.
std::string failureText(const std::string& scenario, const ScenarioFailure& failure);

// The summary line of a test run, without its line feed: "N passed, N failed".
std::string testSummary(std::size_t passed, std::size_t failed);

// Runs the scenario at `path` on a new CPU (all memory 0, clock at 0) with `program` loaded
// and reset. Each failure is printed to `out` as it happens, as "SCENARIO:LINE: MESSAGE". A
// scenario that cannot be read, or that runs out of memory, is a failure of that scenario and
// throws nothing of its own; what `watcher` throws passes through.
ScenarioReport runScenario(const ProgramFile& program, const std::string& path, std::ostream& out,
                           const ScenarioLimits& limits = {}, ScenarioWatcher* watcher = nullptr);
// The same for a scenario read from `source`, named `name` in messages.
ScenarioReport runScenario(const ProgramFile& program, const std::string& name, Reader& source,
                           std::ostream& out, const ScenarioLimits& limits = {},
                           ScenarioWatcher* watcher = nullptr);

} // namespace kvx
