#include "session/session.h"

#include <new>
#include <stdexcept>

#include "loader/reader.h"
#include "session/program_load.h"

namespace kvx {

Session::Session() : ticks(sim), simulated(true), scaled(ticks, Faktor), processor(scaled) {
    processor.setIO(&io);
}

Session::Session(const Clock& t)
    : ticks(t), simulated(false), scaled(ticks, Faktor), processor(scaled) {
    processor.setIO(&io);
}

ProgramLoad Session::prepareLoad() {
    return ProgramLoad(processor.operandTargets());
}

std::optional<CPUException> Session::install(ProgramLoad&& job) {
    if (job.failure) {
        return job.failure;
    }
    // A job of another session holds operands that point into another CPU, which may be gone;
    // one that never read holds nothing.
    if (!job.targets.belongTo(processor) || !job.program) {
        throw std::invalid_argument("the program was not built for this session");
    }
    try {
        processor.setProgram(std::move(job.program));
    } catch (const std::bad_alloc&) {
        return CPUException(LoadOutOfMemory);
    }
    processor.reset();
    running = true;
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

std::optional<CPUException> Session::tick(ScanObserver* observer) {
    if (!running) {
        return std::nullopt;
    }
    return scanWith(observer);
}

std::optional<CPUException> Session::scan(Writer* trace) {
    return scanWith(trace);
}

std::optional<CPUException> Session::scan(ScanObserver* observer) {
    return scanWith(observer);
}

template <typename Watcher>
std::optional<CPUException> Session::scanWith(Watcher watcher) {
    std::optional<CPUException> fault;
    try {
        processor.runStep(watcher);
    } catch (const CPUException& error) {
        running = false;
        fault = error;
    }
    if (simulated) {
        sim.advance(stepMs);
    }
    return fault;
}

std::optional<CPUException> Session::force(const std::string& name, std::uint32_t value) {
    try {
        forced.force(name, processor.parserParameter(name), value);
    } catch (const CPUException& error) {
        return error;
    }
    attachForces();
    return std::nullopt;
}

void Session::release(const std::string& name) {
    forced.release(name);
    attachForces();
}

void Session::releaseAll() noexcept {
    forced.releaseAll();
    attachForces();
}

void Session::slower() noexcept {
    if (Faktor < MaxFaktor) {
        ++Faktor;
    }
}

void Session::faster() noexcept {
    if (Faktor > MinFaktor) {
        --Faktor;
    }
}

std::string Session::leds() const {
    std::string line = "A0.7..A0.0 ";
    for (int bit = MyIO::Size - 1; bit >= 0; --bit) {
        line += io.OutState[static_cast<std::size_t>(bit)] != 0 ? '1' : '0';
    }
    return line;
}

} // namespace kvx
