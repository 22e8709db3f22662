#include "session/session.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "loader/reader.h"
#include "session/operand_access.h"
#include "session/program_load.h"

namespace kvx {

Session::Session() : ticks(sim), simulated(true), scaled(ticks), processor(sim) {
    processor.setIO(&io);
}

Session::Session(const Clock& t) : ticks(t), simulated(false), scaled(ticks), processor(held) {
    held.set(scaled.getmsTime());
    processor.setIO(&io);
}

std::uint32_t Session::sync() noexcept {
    // Simulated time moves only between scans: the CPU reads it as it stands.
    // A halted scan reads the time it started at until it ends.
    if (!simulated && !processor.isHalted()) {
        held.set(scaled.getmsTime());
    }
    return processor.getmsTime();
}

ProgramLoad Session::prepareLoad() {
    return ProgramLoad(processor.operandTargets());
}

void Session::addListener(SessionListener& listener) {
    listeners.push_back(&listener);
}

void Session::removeListener(const SessionListener& listener) noexcept {
    for (SessionListener*& entry : listeners) {
        if (entry == &listener) {
            entry = nullptr;
        }
    }
    if (announcing == 0) {
        std::erase(listeners, nullptr);
    }
}

// By index and up to the count at the start: a listener may add or remove listeners while it
// is told, which may move the vector.
template <typename Event>
void Session::announce(const Event& event) {
    const std::uint32_t at = processor.getmsTime();
    ++announcing;
    const std::size_t count = listeners.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (SessionListener* listener = listeners[i]) {
            event(*listener, at);
        }
    }
    if (--announcing == 0) {
        std::erase(listeners, nullptr);
    }
}

std::optional<CPUException> Session::install(ProgramLoad&& job) {
    sync();
    if (job.failure) {
        announce([&](SessionListener& l, std::uint32_t at) { l.loadFailed(at, *job.failure); });
        return job.failure;
    }
    // A job of another session holds operands that point into another CPU, which may be gone;
    // one that never read holds nothing.
    if (!job.targets.belongTo(processor) || !job.program) {
        throw std::invalid_argument("the program was not built for this session");
    }
    try {
        job.replaced = processor.setProgram(std::move(job.program));
    } catch (const std::bad_alloc&) {
        const CPUException error(LoadOutOfMemory);
        announce([&](SessionListener& l, std::uint32_t at) { l.loadFailed(at, error); });
        return error;
    }
    // The new program took the place of a halted scan's, which is abandoned with it.
    abandonHalt();
    sync();
    processor.reset();
    running = true;
    announce([&](SessionListener& l, std::uint32_t at) { l.loaded(at, job.source); });
    return std::nullopt;
}

std::optional<CPUException> Session::load(Reader& source) {
    ProgramLoad job = prepareLoad();
    job.read(source);
    return install(std::move(job));
}

std::optional<CPUException> Session::loadFile(const std::string& path) {
    ProgramLoad job = prepareLoad();
    job.open(path);
    job.readFile();
    return install(std::move(job));
}

std::optional<CPUException> Session::loadText(std::string text) {
    StringRead reader(std::move(text));
    return load(reader);
}

void Session::run() {
    setRunning(true);
}

void Session::stop() {
    setRunning(false);
}

void Session::setRunning(bool run) {
    if (running != run) {
        sync();
        running = run;
        announce([&](SessionListener& l, std::uint32_t at) {
            l.runChanged(at, run ? RunChange::Running : RunChange::Stopped);
        });
    }
}

void Session::reset() {
    abandonHalt();
    sync();
    processor.reset();
    announce([&](SessionListener& l, std::uint32_t at) { l.runChanged(at, RunChange::Reset); });
}

void Session::clearMemory() {
    abandonHalt();
    sync();
    processor.clearMemory();
    // A stopped CPU writes no outputs, and a lamp lit by the last program must go out now.
    io.OutState = {};
    processor.reset();
    announce(
        [&](SessionListener& l, std::uint32_t at) { l.runChanged(at, RunChange::MemoryCleared); });
}

std::optional<CPUException> Session::singleStep(ScanObserver* observer) {
    sync();
    announce(
        [&](SessionListener& l, std::uint32_t at) { l.runChanged(at, RunChange::SingleStep); });
    if (isHalted()) {
        return finishScan(observer);
    }
    if (!stops.empty()) {
        stops.haltOnBreakpoints();
        return debugScan(false, observer);
    }
    return scanWith(observer);
}

std::optional<CPUException> Session::tick(ScanObserver* observer) {
    if (!running || isHalted()) {
        return std::nullopt;
    }
    if (!stops.empty()) [[unlikely]] {
        stops.haltOnBreakpoints();
        return debugScan(false, observer);
    }
    return scanWith(observer);
}

std::optional<CPUException> Session::scan(Writer* trace) {
    if (isHalted()) {
        return finishScan();
    }
    return scanWith(trace);
}

std::optional<CPUException> Session::scan(ScanObserver* observer) {
    if (isHalted()) {
        return finishScan(observer);
    }
    return scanWith(observer);
}

template <typename Watcher>
std::optional<CPUException> Session::scanWith(Watcher watcher) {
    std::optional<CPUException> fault;
    // The whole scan, and what is announced of it, reads the time at which it started.
    const std::uint32_t at = sync();
    try {
        processor.runStep(watcher);
    } catch (const CPUException& error) {
        running = false;
        fault = error;
    }
    scanEnded(at, fault);
    return fault;
}

void Session::scanEnded(std::uint32_t at, std::optional<CPUException> fault) {
    if (simulated) {
        sim.advance(std::exchange(idleWhileHalted, 0));
        if (++scansIntoStep >= scansPerStep) {
            scansIntoStep = 0;
            sim.advance(stepMs);
        }
    }
    idleWhileHalted = 0;
    if (!listeners.empty()) [[unlikely]] {
        announceScan(at, fault);
    }
}

// ---- debugging ---------------------------------------------------------------------------

namespace {

// The session's record of the halted scan and the caller's observer, both told of each node.
class BothObservers final : public ScanObserver {
public:
    BothObservers(ScanObserver& own, ScanObserver* other) noexcept : first(own), second(other) {}
    void executed(const OpList& node, const CPU& cpu) override {
        first.executed(node, cpu);
        if (second != nullptr) {
            second->executed(node, cpu);
        }
    }
    void skipped(const OpList& node) override {
        first.skipped(node);
        if (second != nullptr) {
            second->skipped(node);
        }
    }
    void faulted(const OpList& node, const CPU& cpu) override {
        first.faulted(node, cpu);
        if (second != nullptr) {
            second->faulted(node, cpu);
        }
    }

private:
    ScanObserver& first;
    ScanObserver* second;
};

} // namespace

std::optional<CPUException> Session::debugScan(bool resuming, ScanObserver* observer) {
    const std::uint32_t at = resuming ? haltedScanAt : sync();
    const std::uint32_t commandAt = resuming ? now() : at;
    if (!resuming) {
        soFar.clear();
    }
    BothObservers both(soFar, observer);
    std::optional<CPUException> fault;
    bool halted = false;
    try {
        halted = resuming ? processor.resumeScan(stops, &both) : processor.beginScan(stops, &both);
    } catch (const CPUException& error) {
        running = false;
        fault = error;
    }
    stops.haltOnBreakpoints();
    if (!halted) {
        scanEnded(at, fault);
        return fault;
    }
    haltedScanAt = at;
    const int line = haltedNode()->Line;
    const bool step = stops.haltedForStep();
    announce([&](SessionListener& l, std::uint32_t) { l.halted(commandAt, line, step); });
    return std::nullopt;
}

// The time that passed while halted is the clock's again; none passed when nothing was halted.
void Session::abandonHalt() noexcept {
    processor.abandonScan();
    if (simulated) {
        sim.advance(idleWhileHalted);
    }
    idleWhileHalted = 0;
}

std::optional<int> Session::haltedLine() const noexcept {
    if (const OpList* node = haltedNode()) {
        return node->Line;
    }
    return std::nullopt;
}

std::optional<std::string> Session::setBreakpoint(int line, std::string_view condition) {
    return stops.set(line, condition);
}

std::optional<std::string> Session::toggleBreakpoint(int line) {
    if (stops.clear(line)) {
        return std::nullopt;
    }
    return stops.set(line);
}

void Session::clearBreakpoint(int line) {
    stops.clear(line);
}

void Session::clearBreakpoints() noexcept {
    stops.clearAll();
}

std::optional<CPUException> Session::stepInstruction(ScanObserver* observer) {
    if (!isHalted()) {
        return std::nullopt;
    }
    stops.haltOnNextInstruction();
    return debugScan(true, observer);
}

std::optional<CPUException> Session::finishScan(ScanObserver* observer) {
    if (!isHalted()) {
        return std::nullopt;
    }
    stops.haltNowhere();
    return debugScan(true, observer);
}

std::optional<CPUException> Session::resume(ScanObserver* observer) {
    if (!isHalted()) {
        return std::nullopt;
    }
    setRunning(true);
    stops.haltOnBreakpoints();
    return debugScan(true, observer);
}

std::optional<CPUException> Session::stopHalted(ScanObserver* observer) {
    if (!isHalted()) {
        return std::nullopt;
    }
    auto fault = finishScan(observer);
    setRunning(false);
    return fault;
}

std::optional<CPUException> Session::runToLine(int line, ScanObserver* observer) {
    if (auto refused = stops.refusal(line)) {
        throw InputError(*refused);
    }
    stops.haltOnLine(line);
    return debugScan(isHalted(), observer);
}

void Session::announceScan(std::uint32_t at, const std::optional<CPUException>& fault) {
    announce([&](SessionListener& l, std::uint32_t) { l.scanned(at, fault); });
    if (fault) {
        announce([&](SessionListener& l, std::uint32_t) { l.faulted(at, *fault); });
    }
}

std::optional<CPUException> Session::force(const std::string& name, std::uint32_t value) {
    try {
        sync();
        forced.force(name, processor.parserParameter(name), value);
    } catch (const CPUException& error) {
        return error;
    }
    attachForces();
    announce([&](SessionListener& l, std::uint32_t at) { l.forceChanged(at, name, value); });
    return std::nullopt;
}

std::optional<CPUException> Session::force(const OperandRef& operand, const Constant& value) {
    const std::uint32_t fitted = operand.expected(value);
    if (operand.kind() == Kind::Timer && fitted != 0) {
        throw InputError(operand.text() +
                         ": a timer can only be forced to 0, which holds it reset");
    }
    return force(operand.text(), fitted);
}

void Session::release(const std::string& name) {
    if (!forced.isForced(name)) {
        return;
    }
    sync();
    forced.release(name);
    attachForces();
    announce([&](SessionListener& l, std::uint32_t at) { l.forceChanged(at, name, std::nullopt); });
}

void Session::releaseAll() {
    if (forced.empty()) {
        return;
    }
    sync();
    forced.releaseAll();
    attachForces();
    announce([&](SessionListener& l, std::uint32_t at) {
        l.forceChanged(at, std::string(), std::nullopt);
    });
}

void Session::setSwitch(int bit, int value) {
    if (bit < 0 || bit >= MyIO::Size) {
        return;
    }
    sync();
    io.InState[static_cast<std::size_t>(bit)] = value != 0 ? 1 : 0;
    announce(
        [&](SessionListener& l, std::uint32_t at) { l.switchSet(at, bit, value != 0 ? 1 : 0); });
}

void Session::write(OperandRef& operand, const Constant& value) {
    // A timer written running starts counting at this moment.
    sync();
    operand.set(value, io);
    announce(
        [&](SessionListener& l, std::uint32_t at) { l.operandWritten(at, operand.text(), value); });
}

void Session::startTimer(OperandRef& timer, const Constant& value) {
    sync();
    timer.runTimer(value);
}

void Session::setFaktor(int faktor) {
    faktor = std::clamp(faktor, MinFaktor, MaxFaktor);
    if (faktor != Faktor) {
        sync();
        Faktor = faktor;
        scaled.setFaktor(faktor);
        announce([&](SessionListener& l, std::uint32_t at) { l.speedChanged(at, Faktor); });
    }
}

void Session::slower() {
    setFaktor(Faktor + 1);
}

void Session::faster() {
    setFaktor(Faktor - 1);
}

void Session::realTime() {
    setFaktor(MinFaktor);
}

std::string Session::leds() const {
    std::string line = "A0.7..A0.0 ";
    for (int bit = MyIO::Size - 1; bit >= 0; --bit) {
        line += io.OutState[static_cast<std::size_t>(bit)] != 0 ? '1' : '0';
    }
    return line;
}

} // namespace kvx
