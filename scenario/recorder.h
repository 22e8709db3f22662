// Turns a session operated by hand into a scenario that `kvx test` replays: every switch
// flip, reset, single step, stop and continue, and every change of the LEDs, with the
// simulated time between them.
//
// Time: the window's clock is real time divided by the speed factor, the runner's moves by a
// fixed step after each scan. The recording uses a step of 1 ms and writes the simulated
// milliseconds between two events as `wait`, which the runner turns into that many scans; so
// the replay sees each event at the same simulated millisecond, give or take one scan.
// An LED change is written as `expect AB0 2#...` only once the LEDs have kept that state for
// SettleMs: a change within one scan of a switch flip would otherwise be a race between the
// two clocks. A state that does not last that long is not checked at all.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "session/session_listener.h"

namespace kvx {

class Session;

class ScenarioRecorder final {
public:
    static constexpr std::uint32_t SettleMs = 3;
    using Panel = std::array<int, 8>;

    // Writes the head of the scenario to `out`: a comment naming the program and the date,
    // the step, then the switches that are on (`set E0.k 1`) and a reset, since the replay
    // starts from a freshly loaded program. `out` must outlive the recorder.
    ScenarioRecorder(std::ostream& out, const std::string& program, const std::string& date,
                     std::uint32_t now, const Panel& switches);

    // After every scan, with the simulated time and the LEDs (index k is A0.k).
    void scanned(std::uint32_t now, const Panel& leds);
    // What the user did, at simulated time `now`.
    void switchSet(std::uint32_t now, int bit, int value);
    void reset(std::uint32_t now);
    // Stopped time does not count: the replay has no real time, only scans.
    void stopped(std::uint32_t now);
    void continued(std::uint32_t now);
    // A single step while stopped is one scan.
    void singleStep(std::uint32_t now, const Panel& leds);
    // Writes what is still pending and a closing comment.
    void finish(std::uint32_t now);

private:
    void advanceTo(std::uint32_t now);
    void settle(std::uint32_t now, bool dropUnsettled);
    void writeExpect(const Panel& leds);

    std::ostream& out;
    std::uint32_t written = 0; // simulated time the scenario has reached
    bool running = true;
    Panel expected{}; // the LED state the scenario last checked
    Panel current{};  // the LEDs now
    std::uint32_t changedAt = 0;
    bool pending = false; // current differs from expected and is not yet checked
};

// A recording of a live session: hears the session's events and writes them as a
// ScenarioRecorder does. It starts from a reset CPU with the switches as they are, as the
// replay starts from a freshly loaded program; memory the program kept from before is not
// part of it.
class SessionRecorder final : public SessionListener {
public:
    // Resets `session` and writes the scenario's head to `out`; both must outlive this.
    SessionRecorder(Session& session, std::ostream& out, const std::string& program,
                    const std::string& date);
    ~SessionRecorder() override;
    SessionRecorder(const SessionRecorder&) = delete;
    SessionRecorder& operator=(const SessionRecorder&) = delete;

    // Writes what is still pending and a closing comment; the recorder hears no more.
    void finish();

    void scanned(std::uint32_t now, const std::optional<CPUException>& fault) override;
    void runChanged(std::uint32_t now, RunChange change) override;
    void switchSet(std::uint32_t now, int bit, int value) override;

private:
    ScenarioRecorder::Panel leds() const;

    Session& session;
    ScenarioRecorder recorder;
    bool listening = true;
    // The next scan is a single step.
    bool stepping = false;
};

} // namespace kvx
