#include "session/program_load.h"

#include <new>

#include "loader/parser.h"

namespace kvx {

namespace {

// Ends a read once a stop is requested: nobody waits for that load any more.
class StoppableRead final : public Reader {
public:
    StoppableRead(Reader& r, const std::atomic<bool>* s) noexcept : inner(r), stop(s) {}
    int read() override {
        check();
        return inner.read();
    }
    // A buffer at a time, as the scanner asks: without this every byte went through four
    // calls.
    std::size_t read(char* buffer, std::size_t max) override {
        check();
        return inner.read(buffer, max);
    }

private:
    void check() const {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            throw CPUException("the load was cancelled");
        }
    }

    Reader& inner;
    const std::atomic<bool>* stop;
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

void ProgramLoad::readFile(const std::atomic<bool>* stop) {
    if (!file) {
        return;
    }
    StoppableRead stoppable(*file, stop);
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
