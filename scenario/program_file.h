// A program named on the command line: a file, or standard input for "-".
#pragma once

#include <optional>
#include <string>

#include "core/common.h"

namespace kvx {

class Session;

class ProgramFile final {
public:
    // "-" reads standard input at once, up to MaxProgramBytes (loader/reader.h), so the
    // program can be loaded again later.
    explicit ProgramFile(std::string path);
    // A program held in memory, named `name` in messages.
    static ProgramFile fromText(std::string name, std::string text);

    // The path, or "<stdin>": the name diagnostics use.
    const std::string& name() const noexcept { return displayName; }
    // The path as given; "-" for standard input.
    const std::string& path() const noexcept { return filePath; }

    // Loads the program into `session` as its load does; returns the load error, if any. A
    // program beyond MaxProgramBytes, and one the memory does not hold, is a load error too.
    std::optional<CPUException> loadInto(Session& session) const;

private:
    ProgramFile() = default;

    std::string filePath;
    std::string displayName;
    std::optional<std::string> text;
    // Standard input that could not be read, or held more than MaxProgramBytes.
    std::optional<CPUException> readError;
};

// A load error in the form editors jump to: "NAME:LINE: error: TEXT", or "NAME: error: TEXT"
// when the error belongs to no line. Control characters in either are escaped. Includes the
// line feed.
std::string loadDiagnostic(const std::string& name, const CPUException& error);

} // namespace kvx
