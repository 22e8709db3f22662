// Loading benchmarks: parse and check speed, and the memory a loaded program takes.

#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include "bench/programs.h"
#include "core/common.h"
#include "loader/parser.h"
#include "loader/reader.h"

namespace kvx {

namespace {

struct Text {
    std::string source;
    std::size_t lines = 0;
    std::size_t instructions = 0;
};

// A mixed program of about `lines` lines; the exact counts come with it.
Text generated(std::size_t lines) {
    const GeneratedProgram program = loadProgram(lines);
    Text text{program.source(), 0, program.instructions};
    for (char ch : text.source) {
        text.lines += ch == '\n' ? 1 : 0;
    }
    return text;
}

const Text& loadText() {
    static const Text text = generated(100'000);
    return text;
}

const Text& bigText() {
    static const Text text = generated(1'000'000);
    return text;
}

void BM_Load(benchmark::State& state) {
    const Text& text = loadText();
    Session session;
    for (auto _ : state) {
        StringRead reader(text.source);
        if (session.load(reader)) {
            state.SkipWithError("the generated program does not load");
        }
    }
    state.counters["figure"] = benchmark::Counter(
        static_cast<double>(state.iterations() * text.lines), benchmark::Counter::kIsRate);
    state.counters["lines"] = static_cast<double>(text.lines);
}

// Peak heap while loading, beyond what the CPU and the text already hold, per instruction.
void BM_LoadMemory(benchmark::State& state) {
    const Text& text = bigText();
    double perInstruction = 0;
    for (auto _ : state) {
        Session session;
        StringRead reader(text.source);
        const std::size_t before = heapInUse();
        resetHeapPeak();
        if (session.load(reader)) {
            state.SkipWithError("the generated program does not load");
        }
        perInstruction =
            static_cast<double>(heapPeak() - before) / static_cast<double>(text.instructions);
    }
    state.counters["figure"] = perInstruction;
    state.counters["lines"] = static_cast<double>(text.lines);
}

} // namespace

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace kvx
