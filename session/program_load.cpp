#include "session/program_load.h"

#include <new>

#include "loader/parser.h"

namespace kvx {

namespace {

// Ends a read once a stop is requested: nobody waits for that load any more.
class StoppableRead final : public Reader {
public:
    StoppableRead(Reader& r, std::stop_token s) noexcept : inner(r), stop(std::move(s)) {}
    int read() override {
        if (stop.stop_requested()) {
            throw CPUException("the load was cancelled");
        }
        return inner.read();
    }

private:
    Reader& inner;
    std::stop_token stop;
};

} // namespace

ProgramLoad::ProgramLoad(const CPU::OperandTargets& t) : targets(t) {}

void ProgramLoad::open(const std::string& path) {
    source = path;
    try {
        file = std::make_unique<ProgramFileRead>(path);
    } catch (const CPUException& error) {
        failure = error;
    } catch (const std::bad_alloc&) {
        failure.emplace(LoadOutOfMemory);
    }
}

std::uintmax_t ProgramLoad::fileSize() const noexcept {
    return file ? file->openedSize() : 0;
}

void ProgramLoad::readFile(std::stop_token stop) {
    if (!file) {
        return;
    }
    StoppableRead stoppable(*file, std::move(stop));
    read(stoppable);
    file.reset();
}

void ProgramLoad::read(Reader& source) {
    try {
        program = Parser{}.parse(targets, source);
    } catch (const CPUException& error) {
        failure = error;
    } catch (const std::bad_alloc&) {
        failure.emplace(LoadOutOfMemory);
    }
}

} // namespace kvx
