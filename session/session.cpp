#include "session/session.h"

#include "loader/parser.h"
#include "loader/reader.h"

namespace kvx {

Session::Session() : ticks(sim), simulated(true), scaled(ticks, Faktor), processor(scaled) {
    processor.setIO(&io);
}

Session::Session(const Clock& t)
    : ticks(t), simulated(false), scaled(ticks, Faktor), processor(scaled) {
    processor.setIO(&io);
}

std::optional<CPUException> Session::load(Reader& source) {
    try {
        Parser{}.LoadInCPU(processor, source);
    } catch (const CPUException& error) {
        return error;
    }
    processor.reset();
    running = true;
    return std::nullopt;
}

std::optional<CPUException> Session::loadFile(const std::string& path) {
    // Opening the file can fail too; that is a load error like any other.
    try {
        FRead reader(path);
        return load(reader);
    } catch (const CPUException& error) {
        return error;
    }
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
