#include "scenario/recorder.h"

#include <algorithm>
#include <utility>

#include "session/session.h"

namespace kvx {

namespace {
std::string ledByte(const ScenarioRecorder::Panel& leds) {
    std::string bits = "2#";
    for (int bit = 7; bit >= 0; --bit) {
        bits.push_back(leds[static_cast<std::size_t>(bit)] != 0 ? '1' : '0');
    }
    return bits;
}
} // namespace

ScenarioRecorder::ScenarioRecorder(std::ostream& o, const std::string& program,
                                   const std::string& date, std::uint32_t now,
                                   const Panel& switches)
    : out(o), written(now) {
    out << "# Recorded in the simulator window from " << program << " on " << date << ".\n"
        << "# Replay: kvx test PROGRAM THIS-FILE\n"
        << "step 1\n";
    for (int bit = 0; bit < 8; ++bit) {
        if (switches[static_cast<std::size_t>(bit)] != 0) {
            out << "set E0." << bit << " 1\n";
        }
    }
    out << "reset\n";
    changedAt = now;
}

void ScenarioRecorder::advanceTo(std::uint32_t now) {
    if (!running) {
        written = now;
        return;
    }
    const std::uint32_t ms = now - written;
    // Time that ran backwards (a faster speed factor) or stood still adds no scan.
    if (ms > 0 && ms < 0x80000000u) {
        out << "wait " << ms << '\n';
        written = now;
    }
}

void ScenarioRecorder::writeExpect(const Panel& leds) {
    out << "expect AB0 " << ledByte(leds) << '\n';
    expected = leds;
    pending = false;
}

// An LED state that has lasted SettleMs is checked; one that is younger is dropped when an
// input event comes first (dropUnsettled), since the replay might see it a scan earlier or
// later.
void ScenarioRecorder::settle(std::uint32_t now, bool dropUnsettled) {
    if (!pending) {
        return;
    }
    if (now - changedAt >= SettleMs) {
        advanceTo(changedAt + SettleMs);
        writeExpect(current);
    } else if (dropUnsettled) {
        pending = false;
        expected = current;
    }
}

void ScenarioRecorder::scanned(std::uint32_t now, const Panel& leds) {
    settle(now, false);
    if (leds != current) {
        current = leds;
        changedAt = now;
        pending = current != expected;
    }
    settle(now, false);
}

void ScenarioRecorder::switchSet(std::uint32_t now, int bit, int value) {
    settle(now, true);
    advanceTo(now);
    out << "set E0." << bit << ' ' << (value != 0 ? 1 : 0) << '\n';
}

void ScenarioRecorder::reset(std::uint32_t now) {
    settle(now, true);
    advanceTo(now);
    out << "reset\n";
}

void ScenarioRecorder::stopped(std::uint32_t now) {
    settle(now, true);
    advanceTo(now);
    out << "# stopped\n";
    running = false;
}

void ScenarioRecorder::continued(std::uint32_t now) {
    written = now;
    running = true;
    out << "# continued\n";
}

void ScenarioRecorder::singleStep(std::uint32_t now, const Panel& leds) {
    out << "scan\n";
    written = now;
    current = leds;
    if (current != expected) {
        writeExpect(current);
    }
}

void ScenarioRecorder::finish(std::uint32_t now) {
    settle(now, true);
    if (running) {
        advanceTo(now);
    }
    out << "# end of recording\n";
}

namespace {
ScenarioRecorder::Panel resetWithSwitches(Session& session) {
    ScenarioRecorder::Panel switches{};
    std::ranges::copy(session.panel().InState, switches.begin());
    session.reset();
    return switches;
}
} // namespace

SessionRecorder::SessionRecorder(Session& s, std::ostream& out, const std::string& program,
                                 const std::string& date)
    : session(s), recorder(out, program, date, s.now(), resetWithSwitches(s)) {
    if (!session.isRunning()) {
        recorder.stopped(session.now());
    }
    session.addListener(*this);
}

SessionRecorder::~SessionRecorder() {
    session.removeListener(*this);
}

void SessionRecorder::finish() {
    if (std::exchange(listening, false)) {
        session.removeListener(*this);
        recorder.finish(session.now());
    }
}

ScenarioRecorder::Panel SessionRecorder::leds() const {
    ScenarioRecorder::Panel leds{};
    std::ranges::copy(session.panel().OutState, leds.begin());
    return leds;
}

void SessionRecorder::scanned(std::uint32_t now, const std::optional<CPUException>&) {
    if (std::exchange(stepping, false)) {
        recorder.singleStep(now, leds());
    } else {
        recorder.scanned(now, leds());
    }
}

void SessionRecorder::runChanged(std::uint32_t now, RunChange change) {
    switch (change) {
    case RunChange::Running:
        recorder.continued(now);
        break;
    case RunChange::Stopped:
        recorder.stopped(now);
        break;
    case RunChange::SingleStep:
        stepping = true;
        break;
    case RunChange::Reset:
        recorder.reset(now);
        break;
    }
}

void SessionRecorder::switchSet(std::uint32_t now, int bit, int value) {
    recorder.switchSet(now, bit, value);
}

} // namespace kvx
