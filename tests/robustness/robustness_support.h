// Shared by the robustness tests: what they compare of a session (the one the window and the
// runner use, loading through the same path), and a scratch directory for files made at test
// time.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/common.h"
#include "session/session.h"

namespace kvx {

class ScratchDir final {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const noexcept { return dir; }
    // Writes `content` byte for byte to a new file in the directory; returns its path.
    std::string write(const std::string& name, std::string_view content) const;

private:
    std::filesystem::path dir;
};

// The error text, or nullopt: what the tests compare and print.
std::optional<std::string> textOf(const std::optional<CPUException>& error);
std::string listing(const Session& session);

// A session on simulated time that stands still between scans, so that each test moves the
// clock itself.
inline void standStill(Session& session) noexcept {
    session.setStep(0);
}

// A small valid program that differs from every other program used in these tests.
extern const char* const BaselineProgram;

std::string readFile(const std::string& path);

} // namespace kvx
