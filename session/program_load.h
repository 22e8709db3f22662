// A program file read and built for one session but not yet installed: a load in parts, so that
// a front end can read a large file on another thread while the session goes on running. On
// the session's thread, Session::prepareLoad makes the job and open() opens the file; readFile
// may then run on any thread, once, and touches nothing of the session (only the addresses the
// program's operands will point to, see CPU::OperandTargets); Session::install puts the
// outcome in place, again on the session's thread. Session::loadFile is all of them in a row.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/common.h"
#include "core/cpu.h"
#include "loader/reader.h"

namespace kvx {

// What a load that ran out of memory reports.
inline constexpr const char* LoadOutOfMemory = "out of memory while loading the program";

class ProgramLoad final {
public:
    // Opens the program file `path` as a ProgramFileRead: at once and without waiting, a file
    // that is missing, no regular file or larger than MaxProgramBytes is the load's error.
    void open(const std::string& path);
    // The opened file's size; 0 when none is open.
    std::uintmax_t fileSize() const noexcept;
    // Reads the opened file and builds its program; a failure, running out of memory
    // included, becomes the load's error. Once `stop` (if given) is set the read ends early with an
    // error. Does nothing after a failed open.
    void readFile(const std::atomic<bool>* stop = nullptr);
    // Reads and builds the program from `source` instead.
    void read(Reader& source);
    // After Session::install: the program the load replaced, for the caller to free where it
    // suits it; freed with the job otherwise.
    CPU::RetiredProgram takeReplaced() noexcept { return std::move(replaced); }

private:
    friend class Session;
    explicit ProgramLoad(const CPU::OperandTargets& t);

    CPU::OperandTargets targets;
    // The file opened, for the session's loaded() event; empty for a text.
    std::string source;
    std::unique_ptr<ProgramFileRead> file;
    std::unique_ptr<Block> program;
    std::optional<CPUException> failure;
    CPU::RetiredProgram replaced;
};

} // namespace kvx
