// The scan rows of kvx-bench without Google Benchmark, for the engine built for Node (`make
// bench-web`, which runs it there): the realistic mix, the bit-logic template and the empty
// scan, each the quickest of five rounds of at least 0.2 s. `kvx-bench-node --program LINES`
// prints the load benchmarks' program of about LINES lines instead, for measuring `kvx check`.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "bench/bench_support.h"
#include "bench/native.h"
#include "bench/programs.h"
#include "core/common.h"
#include "session/session.h"

namespace kvx {
namespace {

using Clock = std::chrono::steady_clock;

struct Round {
    double seconds = 0;
    double scans = 0;
    double instructions = 0;
};

// Scans until 0.2 s have passed, advancing the simulated clock 1 ms per scan as kvx-bench does.
Round round(Session& session) {
    const std::uint64_t executed = session.cpu().executedCount();
    const Clock::time_point start = Clock::now();
    Round r;
    do {
        for (int k = 0; k < 64; ++k) {
            session.cpu().runStep();
            session.advance(1);
        }
        r.scans += 64;
        r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (r.seconds < 0.2);
    r.instructions = static_cast<double>(session.cpu().executedCount() - executed);
    return r;
}

// The quickest of five rounds, as seconds per scan and per instruction.
Round quickest(Session& session) {
    Round best;
    for (int k = 0; k < 5; ++k) {
        const Round r = round(session);
        if (best.scans == 0 || r.seconds / r.scans < best.seconds / best.scans) {
            best = r;
        }
    }
    return best;
}

void row(const char* title, double figure, const char* unit, const char* target) {
    std::printf("%-16s %12.4g  %-10s %s\n", title, figure, unit, target);
}

} // namespace
} // namespace kvx

int main(int argc, char** argv) {
    using namespace kvx;
    if (argc == 3 && std::string_view(argv[1]) == "--program") {
        std::fputs(loadProgram(std::strtoul(argv[2], nullptr, 10)).source().c_str(), stdout);
        return EXIT_SUCCESS;
    }
    try {
        std::printf("%-16s %12s  %-10s %s\n", "benchmark", "quickest", "unit", "target");
        {
            Session session;
            loadForBenchmark(session,
                             realisticMix(RealisticMixInstructions, RealisticMixSeed).source());
            const Round r = quickest(session);
            row("realistic mix", r.seconds / r.instructions * 1e9, "ns/instr", "<= 3");
        }
        {
            Session session;
            loadForBenchmark(session, bitLogicProgram(BitLogicInstructions, BitLogicSeed).source());
            const Round r = quickest(session);
            row("bit logic", r.instructions / r.seconds * 1e-6, "M instr/s", ">= 1000");
        }
        {
            Session session;
            session.cpu().reset();
            const Round r = quickest(session);
            row("empty scan", r.seconds / r.scans * 1e9, "ns", "<= 50");
        }
    } catch (const CPUException& e) {
        std::fprintf(stderr, "kvx-bench-node: %s\n", e.getText());
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
