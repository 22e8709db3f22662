#include "scenario/program_file.h"

#include <unistd.h>

#include <cerrno>
#include <new>

#include "loader/reader.h"
#include "session/program_load.h"
#include "session/session.h"
#include "session/text.h"

namespace kvx {

namespace {

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
    error.emplace(ProgramTooLarge);
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
    if (!text) {
        return session.loadFile(filePath);
    }
    try {
        StringRead source(*text);
        BoundedRead bounded(source);
        return session.load(bounded);
    } catch (const std::bad_alloc&) {
        // No room for the copy the reader takes.
        return CPUException(LoadOutOfMemory);
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
