#include "scenario/recorder.h"

#include <algorithm>
#include <utility>

#include "core/clock.h"
#include "core/cpu.h"
#include "session/operand_access.h"
#include "session/session.h"

namespace kvx {

// ---- ScenarioWriter ------------------------------------------------------------------------

void ScenarioWriter::scan(std::uint32_t now) {
    for (;;) {
        if (held.count == 0) {
            moveClockTo(now);
            held = Run{now, 1, 0, 1};
            lastAt = now;
            return;
        }
        if (!after.empty()) {
            writeHeldScans(now - lastAt);
            continue;
        }
        if (extend(now)) {
            ++held.count;
            lastAt = now;
            return;
        }
        // The held scans of the last millisecond may begin a run with this one: the others
        // are written up to them.
        std::uint64_t last = held.every > 1 ? (held.count - 1) % held.every + 1 : 1;
        if (last >= held.count) {
            last = 1;
        }
        Run before = held;
        before.count -= last;
        const std::uint32_t previous = before.timeOf(before.count - 1);
        writeRun(before, lastAt - previous);
        moveClockTo(lastAt);
        held = Run{lastAt, last, 0, 1};
    }
}

// Whether a scan at `now` continues the held run, fixing its pattern where the scans so far
// leave it open.
bool ScenarioWriter::extend(std::uint32_t now) noexcept {
    if (held.count == 1) {
        held.gap = now - lastAt;
        held.every = 1;
        return true;
    }
    if (now == held.timeOf(held.count)) {
        return true;
    }
    // Scans so far all in one millisecond, and this one later: they come so many to a step.
    if (held.every == 1 && held.gap == 0 && now > lastAt && held.count <= MaxScansPerStep) {
        held.every = static_cast<std::uint32_t>(held.count);
        held.gap = now - lastAt;
        return true;
    }
    return false;
}

void ScenarioWriter::line(std::uint32_t now, const std::string& text, bool pinned) {
    if (held.count > 0) {
        if (!pinned) {
            after.push_back(text);
            return;
        }
        writeHeldScans(now - lastAt);
    } else if (pinned) {
        moveClockTo(now);
    }
    out << text << '\n';
}

void ScenarioWriter::haltedScan(std::uint32_t now, const std::string& text) {
    if (held.count > 0) {
        writeHeldScans(now - lastAt);
    }
    moveClockTo(now);
    setStep(0, 1);
    out << text << '\n';
}

void ScenarioWriter::flush() {
    // Nothing follows: the held scans need no step of their own, nor time after them.
    if (held.count == 0) {
        return;
    }
    if (held.every > 1) {
        writeHeldScans(held.count % held.every == 0 ? held.gap : 0);
    } else {
        writeHeldScans(held.count > 1 ? held.gap : stepMs);
    }
}

void ScenarioWriter::writeHeldScans(std::uint32_t trailing) {
    writeRun(held, trailing);
    held.count = 0;
    // Right after the scans: an expect-error must follow its scan, and none of these lines
    // reads the clock.
    for (const std::string& text : after) {
        out << text << '\n';
    }
    after.clear();
    moveClockTo(lastAt + trailing);
}

// Writes `run`, whose last scan is followed by `trailing` ms before what comes next; leaves
// the replay's clock at most that far past the last scan.
void ScenarioWriter::writeRun(const Run& run, std::uint32_t trailing) {
    const std::uint32_t last = run.timeOf(run.count - 1);
    if (run.every > 1) {
        setStep(run.gap, run.every);
        const std::uint64_t rest = run.count % run.every;
        if (rest == 0 && trailing < run.gap) {
            writeScans(run.count - 1);
            setStep(trailing, 1);
            writeScans(1);
            clock = last + trailing;
            return;
        }
        writeScans(run.count);
        stepPhase = rest;
        clock = rest == 0 ? last + run.gap : last;
        return;
    }
    // A single scan under a step of several scans gets a step of its own.
    const std::uint32_t spacing = run.count > 1 ? run.gap : stepEvery == 1 ? stepMs : trailing;
    if (trailing >= spacing) {
        setStep(spacing, 1);
        writeScans(run.count);
        clock = last + spacing;
        return;
    }
    if (run.count > 1) {
        setStep(run.gap, 1);
        writeScans(run.count - 1);
    }
    setStep(trailing, 1);
    writeScans(1);
    clock = last + trailing;
}

// The session's time never runs back, so the replay's clock is never ahead of `now`.
void ScenarioWriter::moveClockTo(std::uint32_t now) {
    if (now > clock) {
        out << "idle " << now - clock << '\n';
        clock = now;
    }
}

// A step of several scans starts counting them at its line, so it is written again whenever
// the replay is part way through one.
void ScenarioWriter::setStep(std::uint32_t ms, std::uint32_t every) {
    if (ms != stepMs || every != stepEvery || stepPhase != 0) {
        out << "step " << ms;
        if (every > 1) {
            out << '/' << every;
        }
        out << '\n';
        stepMs = ms;
        stepEvery = every;
        stepPhase = 0;
    }
}

void ScenarioWriter::writeScans(std::uint64_t count) {
    if (count == 0) {
        return;
    }
    out << "scan";
    if (count > 1) {
        out << ' ' << count;
    }
    out << '\n';
}

// ---- SessionRecorder -----------------------------------------------------------------------

namespace {

std::string binary(std::uint8_t byte) {
    std::string bits = "2#";
    for (int bit = 7; bit >= 0; --bit) {
        bits.push_back(((byte >> bit) & 1) != 0 ? '1' : '0');
    }
    return bits;
}

std::string hex(std::uint8_t byte) {
    constexpr char Digits[] = "0123456789ABCDEF";
    return std::string("16#") + Digits[byte >> 4] + Digits[byte & 15];
}

std::uint8_t outputs(const Session& session) {
    return session.cpu().area(Parameter::AType).readByte(0);
}

struct RunningTimer {
    int no;
    std::uint32_t since;
    std::uint16_t value;
};

} // namespace

SessionRecorder::SessionRecorder(Session& s, std::ostream& out, const std::string& name,
                                 const std::string& date)
    : session(s), writer(out), program(listing()) {
    session.reset();
    out << "# Recorded in the simulator window from " << name << " on " << date << ".\n"
        << "# Replay: kvx test PROGRAM THIS-FILE\n"
        << "# The recording began with a Reset. The lines up to \"recording starts\" bring a\n"
        << "# freshly loaded program to the state the session was in: the memory, timers and\n"
        << "# counters that were not as a new controller has them, the switches, the forces.\n";
    writeState();
    writer.line(session.now(), "# recording starts");
    session.addListener(*this);
}

SessionRecorder::~SessionRecorder() {
    session.removeListener(*this);
}

void SessionRecorder::writeState() {
    writeMemory();
    writePresetsAndCounters();
    const MyIO& panel = session.panel();
    for (int bit = 0; bit < MyIO::Size; ++bit) {
        if (panel.InState[static_cast<std::size_t>(bit)] != 0) {
            writer.line(0, "set E0." + std::to_string(bit) + " 1");
        }
    }
    for (const auto& [operand, value] : session.forces().list()) {
        writer.line(0, "force " + operand + ' ' + std::to_string(value));
    }
    writeRunningTimers();
}

// Against a new CPU after its reset, which is what the replay starts from, so that only what
// the session changed is written.
void SessionRecorder::writeMemory() {
    const SimClock zero;
    CPU fresh(zero);
    fresh.reset();
    const CPU& cpu = session.cpu();
    for (const auto& [letters, cls] : CPU::areaNames()) {
        for (int addr = 0; addr < CPU::AreaSize; ++addr) {
            const std::uint8_t byte = cpu.area(cls).readByte(addr);
            if (byte != fresh.area(cls).readByte(addr)) {
                writer.line(0, "set " + std::string(letters) + "B" + std::to_string(addr) + ' ' +
                                   hex(byte));
            }
        }
    }
}

void SessionRecorder::writePresetsAndCounters() {
    const CPU& cpu = session.cpu();
    for (int no = 0; no < CPU::TimerCount; ++no) {
        const Timer& timer = cpu.timer(no);
        if (timer.getLimit() != 0) {
            writer.line(0,
                        "preset T" + std::to_string(no) + ' ' + std::to_string(timer.getLimit()));
        }
    }
    for (int no = 0; no < CPU::CounterCount; ++no) {
        const Counter& counter = cpu.counter(no);
        const std::string name = "Z" + std::to_string(no);
        if (counter.getValue() != 0) {
            writer.line(0, "set " + name + ' ' + std::to_string(counter.getValue()));
        }
        if (counter.getLimit() != 0) {
            writer.line(0, "preset " + name + ' ' + std::to_string(counter.getLimit()));
        }
    }
}

// A running timer is started at the time from which it counts on, in the order of those
// times, so the replay's timers count the same intervals at the same milliseconds. Last, since
// the replay's clock stands at the latest of those times afterwards.
void SessionRecorder::writeRunningTimers() {
    const CPU& cpu = session.cpu();
    std::vector<RunningTimer> running;
    for (int no = 0; no < CPU::TimerCount; ++no) {
        if (const Timer& timer = cpu.timer(no); timer.isRunning()) {
            running.push_back(
                {no, timer.countedUpTo(), static_cast<std::uint16_t>(timer.getValue())});
        }
    }
    std::stable_sort(
        running.begin(), running.end(),
        [](const RunningTimer& a, const RunningTimer& b) { return a.since < b.since; });
    for (const RunningTimer& timer : running) {
        writer.line(timer.since,
                    "set T" + std::to_string(timer.no) + ' ' + std::to_string(timer.value) +
                        " running",
                    true);
    }
}

std::string SessionRecorder::listing() const {
    StringWriter text;
    session.cpu().print(text);
    return text.str();
}

bool SessionRecorder::recordsInstalledProgram() const {
    return listing() == program;
}

void SessionRecorder::finish() {
    if (!std::exchange(listening, false)) {
        return;
    }
    session.removeListener(*this);
    // A scenario that checks nothing fails, and a recording in which nothing changed is
    // still a test that it stays so.
    if (!checkedOutputs) {
        writer.line(session.now(), "expect AB0 " + binary(outputs(session)));
    }
    writer.line(session.now(), "# end of recording");
    writer.flush();
}

void SessionRecorder::loaded(std::uint32_t now, const std::string&) {
    if (!recordsInstalledProgram()) {
        writer.line(now, "# another program was loaded: the recording ends here");
        finish();
        return;
    }
    // A load installs, resets and runs; the replay's program is installed already.
    inHaltedScan = false;
    writer.line(now, "# reloaded");
    writer.line(now, "reset");
}

void SessionRecorder::scanned(std::uint32_t now, const std::optional<CPUException>& fault) {
    if (std::exchange(inHaltedScan, false)) {
        writer.line(session.now(), "finish", true);
    } else {
        writer.scan(now);
    }
    if (fault) {
        writer.line(now, std::string("expect-error ") + fault->getText());
    }
    const std::uint8_t leds = outputs(session);
    if (checkedOutputs != leds) {
        writer.line(now, "expect AB0 " + binary(leds));
        checkedOutputs = leds;
    }
}

void SessionRecorder::halted(std::uint32_t now, int line, bool step) {
    const std::string text = step ? std::string("next") : "break " + std::to_string(line);
    if (std::exchange(inHaltedScan, true)) {
        writer.line(now, text, true);
    } else {
        writer.haltedScan(now, text);
    }
}

void SessionRecorder::runChanged(std::uint32_t now, RunChange change) {
    // A reset, also the one of a reload, abandons a halted scan.
    if (change == RunChange::Reset || change == RunChange::MemoryCleared) {
        inHaltedScan = false;
    }
    switch (change) {
    case RunChange::Running:
        writer.line(now, "# running");
        break;
    case RunChange::Stopped:
        writer.line(now, "# stopped");
        break;
    case RunChange::SingleStep:
        writer.line(now, "# single step");
        break;
    case RunChange::Reset:
        writer.line(now, "reset");
        break;
    case RunChange::MemoryCleared:
        writer.line(now, "clear");
        break;
    }
}

void SessionRecorder::speedChanged(std::uint32_t now, int faktor) {
    writer.line(now, "# Faktor 1:" + std::to_string(faktor));
}

void SessionRecorder::switchSet(std::uint32_t now, int bit, int value) {
    writer.line(now, "set E0." + std::to_string(bit) + ' ' + std::to_string(value));
}

void SessionRecorder::forceChanged(std::uint32_t now, const std::string& name,
                                   std::optional<std::uint32_t> value) {
    if (value) {
        writer.line(now, "force " + name + ' ' + std::to_string(*value));
    } else {
        writer.line(now, "unforce " + (name.empty() ? std::string("all") : name));
    }
}

// A timer written running starts counting at that moment, so that line keeps its time.
void SessionRecorder::operandWritten(std::uint32_t now, const std::string& name,
                                     const Constant& value) {
    const bool timer = OperandRef(session.cpu(), name).kind() == Kind::Timer;
    writer.line(now, "set " + name + ' ' + value.text, timer);
}

} // namespace kvx
