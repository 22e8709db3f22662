#include "scenario/program_file.h"

#include <unistd.h>

#include <cerrno>
#include <new>

#include "loader/reader.h"
#include "session/session.h"
#include "session/text.h"

namespace kvx {

namespace {

const char* const TooLarge = "the program is larger than 64 MiB";

// Passes `inner` on until MaxProgramBytes have gone through, then fails the load.
class BoundedRead final : public Reader {
public:
    explicit BoundedRead(Reader& r) noexcept : inner(r) {}
    int read() override {
        const int c = inner.read();
        if (c != -1 && ++count > MaxProgramBytes) {
            throw CPUException(TooLarge);
        }
        return c;
    }

private:
    Reader& inner;
    std::size_t count = 0;
};

// Standard input up to one byte beyond the bound, which is enough to know it is too large.
std::string readStandardInput(std::optional<CPUException>& error) {
    std::string text;
    char buffer[65536];
    while (text.size() <= MaxProgramBytes) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0) {
            return text;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error.emplace("the program could not be read from standard input");
            return {};
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    error.emplace(TooLarge);
    return {};
}

} // namespace

ProgramFile::ProgramFile(std::string p) : filePath(std::move(p)) {
    if (filePath == "-") {
        displayName = "<stdin>";
        text = readStandardInput(readError);
    } else {
        displayName = filePath;
    }
}

ProgramFile ProgramFile::fromText(std::string name, std::string text) {
    ProgramFile program;
    program.displayName = std::move(name);
    program.text = std::move(text);
    return program;
}

std::optional<CPUException> ProgramFile::loadInto(Session& session) const {
    if (readError) {
        return readError;
    }
    try {
        if (text) {
            StringRead source(*text);
            BoundedRead bounded(source);
            return session.load(bounded);
        }
        FRead file(filePath);
        BoundedRead bounded(file);
        return session.load(bounded);
    } catch (const CPUException& error) {
        // The file did not open.
        return error;
    } catch (const std::bad_alloc&) {
        return CPUException("out of memory while loading the program");
    }
}

std::string loadDiagnostic(const std::string& name, const CPUException& error) {
    if (const auto line = error.getLine()) {
        return escaped(name) + ":" + std::to_string(*line) +
               ": error: " + escaped(error.getText()) + "\n";
    }
    return escaped(name) + ": error: " + escaped(error.getText()) + "\n";
}

} // namespace kvx
