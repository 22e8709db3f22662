// One simulated controller as every front end drives it: the clock, the panel of switches and
// LEDs, the CPU, and the run control around them. The window, the runner, the fuzzers, the
// benchmarks and the tests are all clients of this one class, so the rules of loading and
// running live here once and no front end keeps a bundle of its own.
//
// Contract:
// - A load either installs the whole program, resets the CPU and sets it running, or changes
//   nothing at all: the old program stays installed, running or stopped as it was.
// - A scan that raises stops the run before the error is handed back, so a client that shows
//   the error in a modal box never sees a second one; the CPU keeps its state.
// - The simulated time is the tick source slowed down by the speed factor (1 to 1000); a new
//   factor applies from the moment it is chosen, so the time never jumps (session/clocks.h).
// - A scan reads one time throughout: the time at which it started. Every event carries the
//   time at which its change took effect, which for a scan is that time, so a listener can
//   place every change on one line of time with the scans.
// - Every change is announced to the listeners (session/session_listener.h) after it took
//   effect, once; an action that changed nothing announces nothing. With no listener the
//   scan pays nothing for them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "core/common.h"
#include "core/cpu.h"
#include "core/forcing.h"
#include "core/status.h"
#include "session/breakpoints.h"
#include "session/clocks.h"
#include "session/myio.h"
#include "session/session_listener.h"

namespace kvx {

class OperandRef;
class ProgramLoad;
class Reader;

class Session final {
public:
    static constexpr int MinFaktor = 1;
    static constexpr int MaxFaktor = 1000;

    // Simulated time: a clock at 0 that moves only by the step after each scan, and by
    // advance(); the speed factor does not slow it. For the runner, tests, fuzzers and
    // benchmarks.
    Session();
    // Real time: `ticks` (which must outlive the session) slowed down by the speed factor.
    explicit Session(const Clock& ticks);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // ---- events ----
    // `listener` hears every event from now on until removed; it must be removed before it
    // dies. Adding one twice makes it hear each event twice.
    void addListener(SessionListener& listener);
    void removeListener(const SessionListener& listener) noexcept;

    // ---- loading ----
    // Each returns the error, or nullopt when the program was installed, reset and set running.
    // A file is read within MaxProgramBytes (loader/reader.h); running out of memory is a load
    // error too.
    std::optional<CPUException> loadFile(const std::string& path);
    std::optional<CPUException> loadText(std::string text);
    std::optional<CPUException> load(Reader& source);
    // A load in two halves, for reading on another thread (session/program_load.h): the job
    // for this session's CPU, and installing its outcome as the loads above do; the program it
    // replaced is left in the job (ProgramLoad::takeReplaced).
    ProgramLoad prepareLoad();
    std::optional<CPUException> install(ProgramLoad&& job);

    // ---- run control ----
    bool isRunning() const noexcept { return running; }
    void run();
    void stop();
    // One scan when running, nothing otherwise. A fault stops the run and is returned,
    // located at the instruction that raised it where there is one.
    std::optional<CPUException> tick(ScanObserver* observer = nullptr);
    // One scan whatever the run state (single step, the runner's scans). A fault stops the
    // run and is returned. `trace`, if given, receives each executed step as text;
    // `observer`, if given, sees each node of the scan.
    std::optional<CPUException> scan(Writer* trace = nullptr);
    std::optional<CPUException> scan(ScanObserver* observer);
    // A scan by hand (the window's single step): scan() announced as a single step first.
    std::optional<CPUException> singleStep(ScanObserver* observer = nullptr);
    // Clears the instructions' own memories and sets the first-scan bits; memory, timers,
    // counters and the run state stay.
    void reset();
    // Urlöschen, the memory reset of a real controller: every memory area, timer and counter
    // and the LEDs as a new controller has them, then reset(). The program, the run state,
    // the switches and the forces stay.
    void clearMemory();

    // ---- debugging ----
    // Breakpoints (session/breakpoints.h) halt the scans of tick() and singleStep() before
    // the instruction at their line, when their condition holds. set and toggle return why a
    // breakpoint was refused (a line without an instruction, a condition that does not read);
    // toggle clears one where there is one, else sets one without a condition. They stay
    // over a reload, by line.
    std::optional<std::string> setBreakpoint(int line, std::string_view condition = {});
    std::optional<std::string> toggleBreakpoint(int line);
    void clearBreakpoint(int line);
    void clearBreakpoints() noexcept;
    std::vector<Breakpoint> breakpoints() const { return stops.list(); }

    // A halted scan stands before an instruction, in the middle of one scan: tick() runs no
    // scan, the simulated clock runs on as while stopped, but the scan reads the time it
    // started at throughout; the outputs reach the panel when it ends. Reset, Urlöschen and a
    // load abandon it.
    bool isHalted() const noexcept { return processor.isHalted(); }
    // The program line and the node of the instruction it goes on with; none when not halted.
    std::optional<int> haltedLine() const noexcept;
    const OpList* haltedNode() const noexcept { return processor.haltedBefore(); }
    // The halted scan so far, row by row: an Executed, Skipped or Faulted node has run (with
    // its result and operands); a NotRun node is one the scan has not reached yet. Cleared at
    // the start of every scan that may halt.
    const StatusCapture& haltedStatus() const noexcept { return soFar; }

    // While halted (each does nothing otherwise and returns nullopt), with the fault that
    // ended the scan, as scan() returns it:
    // one instruction ("Anweisung"); halts again before the next one, if any is left;
    std::optional<CPUException> stepInstruction(ScanObserver* observer = nullptr);
    // the rest of the scan, over any breakpoint ("Bis Zyklusende");
    std::optional<CPUException> finishScan(ScanObserver* observer = nullptr);
    // on to the next breakpoint, in this scan or a later one: the run is set running, and
    // tick() halts at it ("Fortsetzen");
    std::optional<CPUException> resume(ScanObserver* observer = nullptr);
    // the rest of the scan, and the run stopped ("Stop").
    std::optional<CPUException> stopHalted(ScanObserver* observer = nullptr);
    // Runs until the instruction at `line` is next, halting there: on in a halted scan, else
    // in one new scan. Whether it got there is isHalted(). Throws InputError for a line
    // without an instruction.
    std::optional<CPUException> runToLine(int line, ScanObserver* observer = nullptr);

    // ---- time ----
    // The simulated time in milliseconds as it runs now; a scan starting now would read it.
    std::uint32_t now() const noexcept {
        return simulated ? sim.getmsTime() + idleWhileHalted : scaled.getmsTime();
    }
    int faktor() const noexcept { return Faktor; }
    // One step slower (factor up) or faster (factor down), within MinFaktor..MaxFaktor.
    void slower();
    void faster();
    void realTime();
    // Only with simulated time: the clock advances by `ms` after every `every` scans (default
    // 1 ms after each; 0 ms stops it; `every` below 1 counts as 1), counted from this call,
    // and by `ms` at once with advance().
    std::uint32_t step() const noexcept { return stepMs; }
    std::uint32_t stepEvery() const noexcept { return scansPerStep; }
    void setStep(std::uint32_t ms, std::uint32_t every = 1) noexcept {
        stepMs = ms;
        scansPerStep = every == 0 ? 1 : every;
        scansIntoStep = 0;
    }
    void advance(std::uint32_t ms) noexcept {
        if (isHalted()) {
            idleWhileHalted += ms;
        } else {
            sim.advance(ms);
        }
    }
    // The clock counts milliseconds in 32 bits, as the core's timers do, and would start again
    // at 0 after LastMs (about 49.7 days): times would run backwards and timers lose what they
    // counted across the turn. The runner refuses what would carry it past.
    static constexpr std::uint32_t LastMs = UINT32_MAX;
    // How many more scans at the current step the simulated clock can take without passing
    // LastMs; any number at step 0.
    std::uint64_t scansLeftOnClock() const noexcept {
        return stepMs == 0
                   ? UINT64_MAX
                   : (LastMs - now()) / stepMs * scansPerStep + (scansPerStep - 1 - scansIntoStep);
    }

    // ---- forcing ----
    // Forces the operand `name` (as written in a program) to `value` in its width, every scan
    // until released; returns the error (a bad operand) or nullopt. The caller checks that the
    // value fits the operand's width.
    std::optional<CPUException> force(const std::string& name, std::uint32_t value);
    // Forces `operand` to `value` as the watch table does: the value must fit the operand's
    // width, and a timer takes only 0, which holds it reset; throws InputError otherwise.
    std::optional<CPUException> force(const OperandRef& operand, const Constant& value);
    void release(const std::string& name);
    void releaseAll();
    const ForceTable& forces() const noexcept { return forced; }

    // ---- writing once ----
    // Sets input switch E0.`bit` (0..7; others are ignored) to `value` (0 or 1), as the panel
    // does.
    void setSwitch(int bit, int value);
    // Writes `value` once to `operand` (of this session's CPU) as OperandRef::set does, an
    // input switch on the panel; throws as that does.
    void write(OperandRef& operand, const Constant& value);
    // A scenario's set-up, which no window offers and no listener hears: the timer `timer`
    // has counted `value` intervals up to now and runs on (OperandRef::runTimer).
    void startTimer(OperandRef& timer, const Constant& value);

    // ---- the parts ----
    CPU& cpu() noexcept { return processor; }
    const CPU& cpu() const noexcept { return processor; }
    MyIO& panel() noexcept { return io; }
    const MyIO& panel() const noexcept { return io; }
    // Whether a program is installed.
    bool hasProgram() const noexcept { return processor.getProgram() != nullptr; }

    // The LEDs as the panel shows them, A0.7 first: "A0.7..A0.0 00000101".
    std::string leds() const;

private:
    template <typename Watcher>
    std::optional<CPUException> scanWith(Watcher watcher);
    // The scan pays for forcing only while something is forced.
    void attachForces() noexcept { processor.setForceHook(forced.empty() ? nullptr : &forced); }
    // Tells every listener through `event`; a listener removed meanwhile hears no more.
    template <typename Event>
    void announce(const Event& event);
    void setRunning(bool run);
    // Takes the time for the change about to be made, and for the CPU to read; returns it.
    std::uint32_t sync() noexcept;
    void setFaktor(int faktor);
    void announceScan(std::uint32_t at, const std::optional<CPUException>& fault);
    // A scan that may halt: begun (`resuming` false) or a halted one run on.
    std::optional<CPUException> debugScan(bool resuming, ScanObserver* observer);
    // After a scan ended or halted: the clock, the listeners.
    void scanEnded(std::uint32_t at, std::optional<CPUException> fault);
    void abandonHalt() noexcept;

    // Declaration order matters: the scaled clock reads the tick source, the CPU reads the
    // time held from it (or the simulated clock itself) and the panel.
    SimClock sim;
    const Clock& ticks;
    bool simulated;
    int Faktor = MinFaktor;
    ScaledClock scaled;
    // With real time: the time of the last change or of the scan under way, which is all the
    // CPU reads; a tick that moves while a scan runs would give one scan several times.
    SimClock held;
    MyIO io;
    ForceTable forced;
    CPU processor;
    bool running = false;
    std::uint32_t stepMs = 1;
    std::uint32_t scansPerStep = 1;
    std::uint32_t scansIntoStep = 0;
    Breakpoints stops{processor};
    StatusCapture soFar;
    // Of the halted scan: its time, and the simulated time that passed while it was halted,
    // which the clock takes on when it ends.
    std::uint32_t haltedScanAt = 0;
    std::uint32_t idleWhileHalted = 0;
    // Removed listeners are null until no announcement is under way.
    std::vector<SessionListener*> listeners;
    int announcing = 0;
};

} // namespace kvx
