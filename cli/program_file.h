// A program named on the command line: a file, or standard input for "-".
#pragma once

#include <optional>
#include <string>

#include "core/common.h"

namespace kvx {

class Session;

class ProgramFile final {
public:
    // "-" reads all of standard input at once, so the program can be loaded again later.
    explicit ProgramFile(std::string path);

    // The path, or "<stdin>": the name diagnostics use.
    const std::string& name() const noexcept { return displayName; }

    // Loads the program into `session` as its load does; returns the load error, if any.
    std::optional<CPUException> loadInto(Session& session) const;

private:
    std::string path;
    std::string displayName;
    std::optional<std::string> stdinText;
};

// A load error in the form editors jump to: "NAME:LINE: error: TEXT", or "NAME: error: TEXT"
// when the error belongs to no line. Includes the line feed.
std::string loadDiagnostic(const std::string& name, const CPUException& error);

} // namespace kvx
