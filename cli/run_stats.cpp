#include "cli/run_stats.h"

#include <iomanip>
#include <sstream>

#include "core/cpu.h"

namespace kvx {

namespace {

constexpr std::clock_t NoClock = static_cast<std::clock_t>(-1);

// Process CPU time rather than wall time: other load on the machine, or a terminal slow to
// take the trace, must not make the program look slower than it is.
std::clock_t cpuTime() noexcept {
    return std::clock();
}

std::string perInstruction(const RunStats& stats) {
    if (stats.instructions == 0) {
        return "none, no instruction ran";
    }
    if (!stats.cpuNs) {
        return "none, no CPU clock";
    }
    // A tenth of a nanosecond is finer than one run repeats anyway.
    std::ostringstream text;
    text << std::fixed << std::setprecision(1)
         << *stats.cpuNs / static_cast<double>(stats.instructions) << " ns";
    return text.str();
}

} // namespace

StatsProbe::StatsProbe(const CPU& cpu) noexcept
    : instructions(cpu.executedCount()), scans(cpu.scanCount()), start(cpuTime()) {}

RunStats StatsProbe::finish(const CPU& cpu) const noexcept {
    const std::clock_t end = cpuTime();
    RunStats stats;
    stats.instructions = cpu.executedCount() - instructions;
    stats.scans = cpu.scanCount() - scans;
    if (start != NoClock && end != NoClock) {
        stats.cpuNs = static_cast<double>(end - start) * 1e9 / CLOCKS_PER_SEC;
    }
    return stats;
}

std::string statsText(const RunStats& stats) {
    return "instructions executed: " + std::to_string(stats.instructions) +
           "\nscans run: " + std::to_string(stats.scans) +
           "\nCPU time per instruction: " + perInstruction(stats) + "\n";
}

} // namespace kvx
