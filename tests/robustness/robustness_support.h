// Shared by the robustness tests: a simulator set up as the window and the runner set it up
// (one CPU, the panel attached), loading through the same path they use, and a scratch
// directory for files made at test time.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "core/cpu.h"
#include "frontend/myio.h"

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

struct Simulator {
    Simulator() { cpu.setIO(&panel); }

    // Loads the file as the window and the runner do. Returns the error text, or nullopt
    // when the program was installed.
    std::optional<std::string> loadFile(const std::string& path);
    std::optional<std::string> loadText(std::string text);
    std::string listing() const;
    // One scan; returns the error text of a run-time fault, or nullopt.
    std::optional<std::string> scan();

    SimClock clock;
    MyIO panel;
    CPU cpu{clock};
};

// A small valid program that differs from every other program used in these tests.
extern const char* const BaselineProgram;

std::string readFile(const std::string& path);
