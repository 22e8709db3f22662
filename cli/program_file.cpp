#include "cli/program_file.h"

#include <iostream>
#include <iterator>

#include "session/session.h"

namespace kvx {

ProgramFile::ProgramFile(std::string p) : path(std::move(p)) {
    if (path == "-") {
        displayName = "<stdin>";
        stdinText.emplace(std::istreambuf_iterator<char>(std::cin),
                          std::istreambuf_iterator<char>());
    } else {
        displayName = path;
    }
}

std::optional<CPUException> ProgramFile::loadInto(Session& session) const {
    return stdinText ? session.loadText(*stdinText) : session.loadFile(path);
}

std::string loadDiagnostic(const std::string& name, const CPUException& error) {
    if (const auto line = error.getLine()) {
        return name + ":" + std::to_string(*line) + ": error: " + error.getText() + "\n";
    }
    return name + ": error: " + error.getText() + "\n";
}

} // namespace kvx
