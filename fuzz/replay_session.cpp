#include "fuzz/replay_session.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <vector>

#include "core/clock.h"
#include "core/cpu.h"
#include "fuzz/differential.h"
#include "loader/reader.h"
#include "scenario/program_file.h"
#include "scenario/recorder.h"
#include "scenario/scenario.h"
#include "session/operand_access.h"
#include "session/session.h"

namespace kvx::replay {

namespace {

// Programs whose state lasts beyond a scan in every way a session can meet: timers of each
// time base, a counter with its edge memories, edges, a sequence, the clock bit, outputs
// left lit for the next program. Generated programs add everything else the language has.
constexpr const char* Programs[] = {
    "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\n"
    "NETWORK 1\nLD E0.0\nTON T37 20\nNETWORK 2\nLD T37\n= A0.0\nNETWORK 3\nLD E0.1\n"
    "TON T32 500\nLD T32\n= A0.2\nNETWORK 4\nLD E0.2\nTON T33 MW4\nLD T33\n= A0.3\n"
    "NETWORK 5\nLD SM0.5\n= A0.5\nEND_ORGANIZATION_BLOCK\n",

    "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\n"
    "NETWORK 1\nLD E0.0\nLD E0.1\nLD E0.2\nZVR Z1 5\nNETWORK 2\nLD SM0.0\nMOVW Z1 VW0\n"
    "MOVB VB1 AB0\nNETWORK 3\nLD Z1\n= A0.7\nEND_ORGANIZATION_BLOCK\n",

    "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\n"
    "NETWORK 1\nLD SM0.1\nO E0.7\nR S0.0 3\nS S0.0 1\nNETWORK 2\nLSCR S0.0\nNETWORK 3\n"
    "LD E0.0\nEU\nSCRT S0.1\nNETWORK 4\nSCRE\nNETWORK 5\nLSCR S0.1\nNETWORK 6\nLD E0.1\n"
    "TON T38 5\nLD T38\nSCRT S0.0\nNETWORK 7\nSCRE\nNETWORK 8\nLD S0.0\n= A0.0\nLD S0.1\n"
    "= A0.1\nLD E0.3\nED\n= A0.4\nEND_ORGANIZATION_BLOCK\n",

    // In parentheses: one program in two literals, not two programs with a comma missing.
    ("ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\n"
     "NETWORK 1\nLD SM0.0\n= A0.5\n= A0.6\nMOVB 16#5A MB3\nEND_ORGANIZATION_BLOCK\n"),
};

constexpr const char* Writable[] = {"MB0", "MW2", "A0.1", "VB10", "E0.2", "M0.0",
                                    "T37", "T32", "Z1",   "S0.1", "MW4",  "EB1"};
constexpr const char* Forceable[] = {"M0.0", "A0.3", "E0.1", "MB1", "T33", "AB0", "S0.1", "E0.0"};

// Everything of the controller that a scan can leave different, without the counts of scans
// and instructions, which belong to the CPU's life and not to the program's run. Raw bytes,
// since a thousand sessions take hundreds of thousands of these; described only when two
// differ.
std::string stateOf(std::uint32_t at, const Session& session) {
    std::string state;
    const auto put = [&state](std::uint32_t value) {
        state.append(reinterpret_cast<const char*>(&value), sizeof value);
    };
    put(at);
    const CPU& cpu = session.cpu();
    for (const auto& area : CPU::areaNames()) {
        for (int addr = 0; addr < CPU::AreaSize; ++addr) {
            state.push_back(static_cast<char>(cpu.area(area.cls).readByte(addr)));
        }
    }
    for (int no = 0; no < CPU::TimerCount; ++no) {
        const Timer& t = cpu.timer(no);
        put(static_cast<std::uint32_t>(t.getValue()) << 16 | t.getLimit());
        put(t.isRunning() ? t.countedUpTo() : 0xFFFFFFFFu);
    }
    for (int no = 0; no < CPU::CounterCount; ++no) {
        const Counter& c = cpu.counter(no);
        put(static_cast<std::uint32_t>(c.getValue()) << 16 | c.getLimit());
    }
    return state;
}

std::string describe(const std::string& state) {
    std::size_t at = 0;
    const auto get = [&]() {
        std::uint32_t value = 0;
        state.copy(reinterpret_cast<char*>(&value), sizeof value, at);
        at += sizeof value;
        return value;
    };
    std::ostringstream out;
    out << "time " << get() << '\n';
    for (const auto& area : CPU::areaNames()) {
        out << area.letters << ':';
        for (int addr = 0; addr < CPU::AreaSize; ++addr) {
            out << ' ' << static_cast<int>(static_cast<std::uint8_t>(state[at++]));
        }
        out << '\n';
    }
    for (int no = 0; no < CPU::TimerCount; ++no) {
        const std::uint32_t values = get();
        const std::uint32_t since = get();
        if (values != 0 || since != 0xFFFFFFFFu) {
            out << 'T' << no << ' ' << (values >> 16) << '/' << (values & 0xFFFF);
            if (since != 0xFFFFFFFFu) {
                out << " running since " << since;
            }
            out << '\n';
        }
    }
    for (int no = 0; no < CPU::CounterCount; ++no) {
        if (const std::uint32_t values = get(); values != 0) {
            out << 'Z' << no << ' ' << (values >> 16) << '/' << (values & 0xFFFF) << '\n';
        }
    }
    return out.str();
}

class WindowScans final : public SessionListener {
public:
    explicit WindowScans(Session& s) : session(s) {}
    void scanned(std::uint32_t now, const std::optional<CPUException>&) override {
        states.push_back(stateOf(now, session));
    }
    std::vector<std::string> states;

private:
    Session& session;
};

class ReplayScans final : public ScenarioWatcher {
public:
    void started(const std::string&, Session& s) override { session = &s; }
    void scanned(std::uint32_t ms) override { states.push_back(stateOf(ms, *session)); }
    std::vector<std::string> states;

private:
    Session* session = nullptr;
};

// The window's side of a session: a session on a fake tick clock, and the actions a person
// takes in the window, each after some real time.
class Player final {
public:
    explicit Player(const Choose& c) : choose(c), session(ticks) {}

    Session& window() noexcept { return session; }

    // Real time passes; a running session scans as the window's timer would, now and then
    // more than once at the same tick (scans owed after a busy moment).
    void pass() {
        // A steady stretch, as the window's timer paces: one scan every tick.
        if (choose(4) == 0) {
            for (std::uint32_t n = 1 + choose(60); n > 0; --n) {
                ticks.advance(1);
                (void)session.tick();
            }
            return;
        }
        static constexpr std::uint32_t Gaps[] = {0, 1, 2, 3, 7, 10, 16, 33, 100, 250, 1200};
        ticks.advance(Gaps[choose(std::size(Gaps))] + choose(3));
        for (std::uint32_t n = 1 + (choose(6) == 0 ? choose(3) : 0); n > 0; --n) {
            (void)session.tick();
        }
    }

    void act(const std::string& program) {
        switch (choose(19)) {
        case 0:
        case 1:
        case 2:
            session.setSwitch(static_cast<int>(choose(8)), static_cast<int>(choose(2)));
            break;
        case 3:
            session.isRunning() ? session.stop() : session.run();
            break;
        case 4:
            (void)session.singleStep();
            break;
        case 5:
            session.reset();
            break;
        case 6:
            choose(2) == 0 ? session.slower() : session.faster();
            break;
        case 7:
            if (choose(4) == 0) {
                session.realTime();
            }
            break;
        case 8:
            write();
            break;
        case 9:
            force();
            break;
        case 10:
            choose(3) == 0 ? session.releaseAll()
                           : session.release(Forceable[choose(std::size(Forceable))]);
            break;
        case 11:
            if (choose(4) == 0) {
                (void)session.loadText(program);
            }
            break;
        case 12:
            if (choose(3) == 0) {
                session.clearMemory();
            }
            break;
        case 13:
            breakpoint(program);
            break;
        case 14:
        case 15:
            (void)session.stepInstruction();
            break;
        case 16:
            (void)session.finishScan();
            break;
        case 17:
            (void)session.resume();
            break;
        case 18:
            if (choose(3) == 0) {
                (void)session.stopHalted();
            }
            break;
        default:
            break;
        }
    }

private:
    // On any line of the program, most of which hold an instruction; now and then with a
    // condition, or cleared again.
    void breakpoint(const std::string& program) {
        const auto lines =
            static_cast<std::uint32_t>(std::count(program.begin(), program.end(), '\n'));
        const int line = static_cast<int>(1 + choose(lines));
        static constexpr const char* Conditions[] = {"", "", "M0.0 = 1", "MB1 > 3", "E0.0 <> 0"};
        if (choose(3) == 0) {
            session.clearBreakpoint(line);
        } else {
            (void)session.setBreakpoint(line, Conditions[choose(std::size(Conditions))]);
        }
    }

    void write() {
        OperandRef operand(session.cpu(), Writable[choose(std::size(Writable))]);
        static constexpr const char* Values[] = {"0", "1", "3", "255", "16#7FFF", "-1", "20"};
        const std::string value = operand.kind() == Kind::Bit ? std::to_string(choose(2))
                                                              : Values[choose(std::size(Values))];
        try {
            session.write(operand, parseConstant(session.cpu(), value));
        } catch (const InputError&) {
            // A value that does not fit: the window refuses it and nothing happens.
        }
    }

    void force() {
        OperandRef operand(session.cpu(), Forceable[choose(std::size(Forceable))]);
        const std::string value = operand.kind() == Kind::Timer ? "0"
                                  : operand.kind() == Kind::Bit ? std::to_string(choose(2))
                                                                : std::to_string(choose(256));
        (void)session.force(operand, parseConstant(session.cpu(), value));
    }

    const Choose& choose;
    SimClock ticks;
    Session session;
};

std::string programFor(const Choose& choose) {
    const std::uint32_t pick = choose(std::size(Programs) + 2);
    if (pick < std::size(Programs)) {
        return Programs[pick];
    }
    // Generated programs reach the language's corners; one that does not load gives way.
    const std::string generated = differential::generateProgram(choose(0xFFFFFFFFu));
    Session probe;
    return probe.loadText(generated) ? std::string(Programs[0]) : generated;
}

std::string firstDifference(const std::vector<std::string>& window,
                            const std::vector<std::string>& replay) {
    for (std::size_t i = 0; i < window.size() && i < replay.size(); ++i) {
        if (window[i] != replay[i]) {
            return "scan " + std::to_string(i + 1) + " differs\nwindow:\n" + describe(window[i]) +
                   "replay:\n" + describe(replay[i]);
        }
    }
    if (window.size() != replay.size()) {
        return "the window ran " + std::to_string(window.size()) + " scans, the replay " +
               std::to_string(replay.size());
    }
    return "";
}

} // namespace

std::string checkSession(const Choose& choose, int actions) {
    const std::string program = programFor(choose);
    Player player(choose);
    Session& window = player.window();
    // Before the recording: other programs leave memory, timers and counters behind.
    for (std::uint32_t loads = choose(3); loads > 0; --loads) {
        (void)window.loadText(programFor(choose));
        for (int i = static_cast<int>(choose(8)); i > 0; --i) {
            player.act(program);
            player.pass();
        }
    }
    if (window.loadText(program)) {
        return "the program did not load";
    }
    for (int i = static_cast<int>(choose(static_cast<std::uint32_t>(actions) + 1)); i > 0; --i) {
        player.act(program);
        player.pass();
    }

    std::ostringstream recording;
    WindowScans seen(window);
    {
        SessionRecorder recorder(window, recording, "program.awl", "today");
        window.addListener(seen);
        for (int i = 0; i < actions; ++i) {
            player.act(program);
            player.pass();
        }
        recorder.finish();
        window.removeListener(seen);
    }

    std::ostringstream messages;
    ReplayScans replayed;
    StringRead scenario(recording.str());
    const ScenarioReport report = runScenario(ProgramFile::fromText("program.awl", program),
                                              "recording.scn", scenario, messages, {}, &replayed);
    std::string difference = firstDifference(seen.states, replayed.states);
    if (difference.empty() && report.failed() != 0) {
        difference = "the replay failed:\n" + messages.str();
    }
    if (!difference.empty()) {
        difference += "\nrecording:\n" + recording.str() + "program:\n" + program;
    }
    return difference;
}

std::string checkSession(std::uint32_t seed, int actions) {
    std::mt19937 rng(seed);
    const Choose choose = [&rng](std::uint32_t bound) {
        return static_cast<std::uint32_t>(rng() % bound);
    };
    return checkSession(choose, actions);
}

} // namespace kvx::replay
