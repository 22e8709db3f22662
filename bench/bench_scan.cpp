// Scan-cycle benchmarks: interpreted bit logic, the mixed program, the empty scan and the
// native baseline.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <iostream>

#include "bench/bench_support.h"
#include "bench/native.h"
#include "bench/programs.h"
#include "core/common.h"
#include "session/session.h"

namespace kvx {

namespace {

// Instructions per second from the CPU's own count, so skipped instructions do not count.
void runScans(benchmark::State& state, Session& session, bool advanceClock) {
    const std::size_t before = heapAllocations();
    const std::uint64_t executed = session.cpu().executedCount();
    for (auto _ : state) {
        session.cpu().runStep();
        if (advanceClock) {
            session.advance(1);
        }
    }
    const auto allocations = static_cast<double>(heapAllocations() - before);
    state.counters["figure"] = benchmark::Counter(
        static_cast<double>(session.cpu().executedCount() - executed), benchmark::Counter::kIsRate);
    state.counters["allocs"] = allocations;
}

void BM_BitLogic(benchmark::State& state) {
    Session session;
    loadForBenchmark(session, bitLogicProgram(BitLogicInstructions, BitLogicSeed).source());
    runScans(state, session, false);
}

// One scan is a million instructions here: the decoded form no longer fits the caches, so
// this shows what the cost per instruction does with the program's size.
void BM_BitLogicMillion(benchmark::State& state) {
    static Session* session = [] {
        auto* s = new Session;
        loadForBenchmark(
            *s,
            bitLogicProgram(BitLogicInstructions, BitLogicSeed).repeated(MillionRepeats).source());
        return s;
    }();
    runScans(state, *session, false);
}

void BM_Mixed(benchmark::State& state) {
    Session session;
    loadForBenchmark(session, mixedProgram(MixedInstructions, MixedSeed).source());
    runScans(state, session, true);
}

// Time per instruction, as the CPU counts them, of the realistic mix.
void BM_RealisticMix(benchmark::State& state) {
    Session session;
    loadForBenchmark(session, realisticMix(RealisticMixInstructions, RealisticMixSeed).source());
    const std::uint64_t executed = session.cpu().executedCount();
    for (auto _ : state) {
        session.cpu().runStep();
        session.advance(1);
    }
    state.counters["figure"] =
        benchmark::Counter(static_cast<double>(session.cpu().executedCount() - executed),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_NativeMix(benchmark::State& state) {
    const std::size_t instructions =
        realisticMix(RealisticMixInstructions, RealisticMixSeed).instructions;
    NativeMix mix;
    fillPattern(mix.m);
    for (auto _ : state) {
        runMixNative(mix);
        mix.clock.advance(1);
    }
    state.counters["figure"] =
        benchmark::Counter(static_cast<double>(state.iterations() * instructions),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_EmptyScan(benchmark::State& state) {
    Session session;
    session.panel().InState = {1, 0, 1, 1, 0, 0, 1, 0};
    CPU& cpu = session.cpu();
    cpu.reset();
    const std::size_t before = heapAllocations();
    for (auto _ : state) {
        cpu.runStep();
        session.advance(1);
    }
    const auto allocations = static_cast<double>(heapAllocations() - before);
    state.counters["figure"] =
        benchmark::Counter(static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocs"] = allocations;
}

void BM_Native(benchmark::State& state) {
    NativeAreas areas{};
    fillPattern(areas);
    for (auto _ : state) {
        benchmark::DoNotOptimize(&areas);
        runBitLogicNative(areas);
        benchmark::ClobberMemory();
    }
    state.counters["figure"] =
        benchmark::Counter(static_cast<double>(state.iterations() * BitLogicInstructions),
                           benchmark::Counter::kIsRate);
}

void BM_NativeOpaque(benchmark::State& state) {
    NativeAreas areas{};
    fillPattern(areas);
    for (auto _ : state) {
        runBitLogicNativeOpaque(areas);
    }
    state.counters["figure"] =
        benchmark::Counter(static_cast<double>(state.iterations() * BitLogicInstructions),
                           benchmark::Counter::kIsRate);
}

void BM_NativeMillion(benchmark::State& state) {
    NativeAreas areas{};
    fillPattern(areas);
    for (auto _ : state) {
        for (std::size_t k = 0; k < MillionRepeats; ++k) {
            runBitLogicNativeOpaque(areas);
        }
    }
    state.counters["figure"] = benchmark::Counter(
        static_cast<double>(state.iterations() * MillionInstructions), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_BitLogic);
BENCHMARK(BM_BitLogicMillion)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mixed);
BENCHMARK(BM_RealisticMix);
BENCHMARK(BM_NativeMix);
BENCHMARK(BM_EmptyScan);
BENCHMARK(BM_Native);
BENCHMARK(BM_NativeOpaque);
BENCHMARK(BM_NativeMillion)->Unit(benchmark::kMillisecond);

namespace {

// Both sides of the ratio must do the same work: run each for a few scans from the same memory
// and compare every byte they may touch.
bool sameAreas(Session& session, NativeAreas& areas) {
    for (int k = 0; k < 4; ++k) {
        for (int i = 0; i < CPU::AreaSize; ++i) {
            if (session.cpu().area(PatternAreas[k]).readByte(i) != nativeArea(areas, k)[i]) {
                std::cerr << "native and interpreted code differ in area " << k << ", byte " << i
                          << "\n";
                return false;
            }
        }
    }
    return true;
}

bool nativeMatchesInterpreter(void (*native)(NativeAreas&) noexcept) {
    Session session;
    loadForBenchmark(session, bitLogicProgram(BitLogicInstructions, BitLogicSeed).source());
    NativeAreas areas{};
    fillPattern(areas);
    for (int scan = 0; scan < 5; ++scan) {
        session.cpu().runStep();
        native(areas);
    }
    return sameAreas(session, areas);
}

// The mix runs long enough for its timers to reach their presets and its counters to count.
bool nativeMixMatchesInterpreter() {
    Session session;
    loadForBenchmark(session, realisticMix(RealisticMixInstructions, RealisticMixSeed).source());
    NativeMix mix;
    fillPattern(mix.m);
    for (int scan = 0; scan < 40; ++scan) {
        session.cpu().runStep();
        runMixNative(mix);
        if (!sameAreas(session, mix.m)) {
            std::cerr << "(the realistic mix, scan " << scan << ")\n";
            return false;
        }
        session.advance(37);
        mix.clock.advance(37);
    }
    return true;
}

// The mixed program must run without a fault and must skip its inactive segment, or its
// figure would measure something else.
bool mixedProgramRuns() {
    Session session;
    loadForBenchmark(session, mixedProgram(MixedInstructions, MixedSeed).source());
    for (int scan = 0; scan < 50; ++scan) {
        session.cpu().runStep();
        session.advance(1);
    }
    const std::uint64_t perScan = session.cpu().executedCount() / 50;
    if (perScan == 0 || perScan >= MixedInstructions) {
        std::cerr << "mixed program runs " << perScan << " instructions per scan\n";
        return false;
    }
    return true;
}

} // namespace

bool benchmarkProgramsAreSound() {
    try {
        return nativeMatchesInterpreter(runBitLogicNative) &&
               nativeMatchesInterpreter(runBitLogicNativeOpaque) && nativeMixMatchesInterpreter() &&
               mixedProgramRuns();
    } catch (const CPUException& e) {
        std::cerr << "benchmark program fails: " << e.getText() << "\n";
        return false;
    }
}

} // namespace kvx
