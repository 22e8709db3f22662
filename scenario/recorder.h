// Turns a session operated by hand into a scenario that `kvx test` replays exactly: the same
// scans at the same simulated milliseconds, with every switch flip, write, force, reset and
// reload between the same two scans, and the outputs checked after every scan that changed
// them.
//
// Time: a scan of the replay runs at the time its clock shows, and the clock then moves by the
// step. So every scan is written with the step that brings the replay's clock to the next
// scan, and time in which nothing scans (a stopped CPU, the start of a timer) as `idle`.
// A halted scan is `break LINE`, then `next` for each instruction stepped and `finish` where
// it ended, with the time between them as `idle`, as for a stopped CPU.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "scenario/scenario.h"
#include "session/session_listener.h"

namespace kvx {

class Session;

// The scans and lines of a scenario on one line of time, written as compactly as the replay
// allows: scans at equal distances become one `scan N`, and so do scans that come N to a
// millisecond, as at a slower speed (`step 1/N`).
class ScenarioWriter final {
public:
    // The replay starts at simulated time 0 with a step of 1 ms. `out` must outlive the writer.
    explicit ScenarioWriter(std::ostream& out) : out(out) {}

    // One scan at simulated time `now`, no earlier than anything before it.
    void scan(std::uint32_t now);
    // A line at `now`, after every scan before it. A `pinned` line reads the clock, so the
    // replay runs it at `now` exactly; any other runs at some time before the next scan.
    void line(std::uint32_t now, const std::string& text, bool pinned = false);
    // A scan at `now` that halts, written as `text` (break LINE). The step before it is 0, so
    // that the replay's clock moves on only by the lines written while the scan is halted, and
    // its end is a pinned line (finish) at the time it ended.
    void haltedScan(std::uint32_t now, const std::string& text);
    // Writes what is still held back.
    void flush();

private:
    // Scans at `start` + (i / every) * gap for i below `count`.
    struct Run {
        std::uint32_t start = 0;
        std::uint64_t count = 0;
        std::uint32_t gap = 0;
        std::uint32_t every = 1;
        std::uint32_t timeOf(std::uint64_t i) const noexcept {
            return start + static_cast<std::uint32_t>(i / every) * gap;
        }
    };

    bool extend(std::uint32_t now) noexcept;
    void writeHeldScans(std::uint32_t trailing);
    void writeRun(const Run& run, std::uint32_t trailing);
    void moveClockTo(std::uint32_t now);
    void setStep(std::uint32_t ms, std::uint32_t every);
    void writeScans(std::uint64_t count);

    std::ostream& out;
    // The replay as far as written: its clock, its step, and the scans into a step of more
    // than one scan.
    std::uint32_t clock = 0;
    std::uint32_t stepMs = 1;
    std::uint32_t stepEvery = 1;
    std::uint64_t stepPhase = 0;
    // Scans not yet written, since the step after the last of them is the time to what comes
    // next, and the lines after them.
    Run held;
    std::uint32_t lastAt = 0;
    std::vector<std::string> after;
};

// A recording of a live session: hears the session's events and writes them as a scenario.
//
// The replay starts from a freshly loaded program, so the recording starts by re-creating the
// state the session is in: it resets the session (its instructions' memories are not
// operands a scenario can set), then writes every operand that is not as a new CPU has it,
// the timers, the counters, the input switches and the forces.
class SessionRecorder final : public SessionListener {
public:
    // Resets `session` and writes the scenario's head to `out`; both must outlive this.
    // `program` names the program in the head; `date` is the day of the recording.
    SessionRecorder(Session& session, std::ostream& out, const std::string& program,
                    const std::string& date);
    ~SessionRecorder() override;
    SessionRecorder(const SessionRecorder&) = delete;
    SessionRecorder& operator=(const SessionRecorder&) = delete;

    // Whether the program now installed is the one recorded on: a reload of it is a reset in
    // the recording, another program ends it.
    bool recordsInstalledProgram() const;
    // Writes what is still pending and a closing comment; the recorder hears no more.
    void finish();

    void loaded(std::uint32_t now, const std::string& source) override;
    void scanned(std::uint32_t now, const std::optional<CPUException>& fault) override;
    void halted(std::uint32_t now, int line, bool step) override;
    void runChanged(std::uint32_t now, RunChange change) override;
    void speedChanged(std::uint32_t now, int faktor) override;
    void switchSet(std::uint32_t now, int bit, int value) override;
    void forceChanged(std::uint32_t now, const std::string& name,
                      std::optional<std::uint32_t> value) override;
    void operandWritten(std::uint32_t now, const std::string& name, const Constant& value) override;

private:
    void writeState();
    void writeMemory();
    void writePresetsAndCounters();
    void writeRunningTimers();
    std::string listing() const;

    Session& session;
    ScenarioWriter writer;
    std::string program;
    bool listening = true;
    // A scan of the session is halted: its end is a finish line, not a scan.
    bool inHaltedScan = false;
    // The outputs as the scenario last checked them; none before the first check.
    std::optional<std::uint8_t> checkedOutputs;
};

} // namespace kvx
