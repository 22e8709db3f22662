// What `kvx run --stats` reports: the work the scans did and the CPU time it took.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace kvx {

class CPU;

struct RunStats {
    std::uint64_t instructions = 0;
    std::uint64_t scans = 0;
    // None when the system keeps no process CPU time.
    std::optional<double> cpuNs;
};

// Notes the CPU's totals and the process CPU time when made; finish() tells what happened
// since. Differences rather than the CPU's totals, so the figures cover just the scans
// between the two, whatever the CPU did before.
class StatsProbe final {
public:
    explicit StatsProbe(const CPU& cpu) noexcept;
    RunStats finish(const CPU& cpu) const noexcept;

private:
    std::uint64_t instructions;
    std::uint64_t scans;
    std::clock_t start;
};

// One "NAME: VALUE" line each: "instructions executed: 1200", "scans run: 100",
// "CPU time per instruction: 3.2 ns"; the last says "none" and why when it cannot be told.
std::string statsText(const RunStats& stats);

} // namespace kvx
