// kvx-bench: runs every benchmark in interleaved repetitions and prints one table of medians
// against the targets. Google Benchmark's own options still apply.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#ifdef KVX_BENCH_WINDOW
#include <QApplication>

#include "frontend/program_loader.h"
#endif

namespace kvx {

// Fails when a generated program does not load or run, or the native baseline does other
// work than the interpreter.
bool benchmarkProgramsAreSound();

namespace {

struct Row {
    const char* benchmark; // and "/counter" when not the figure
    const char* title;
    const char* unit;
    double scale; // figure * scale is shown
    const char* target;
    bool higherIsBetter;
    double limit; // in shown units
};

constexpr Row Rows[] = {
    {"BM_BitLogic", "bit logic", "M instr/s", 1e-6, ">= 700", true, 700},
    {"BM_BitLogicMillion", "bit logic 1M", "M instr/s", 1e-6, "", true, 0},
    {"BM_Mixed", "mixed", "M instr/s", 1e-6, ">= 300", true, 300},
    {"BM_RealisticMix", "realistic mix", "ns/instr", 1e9, "<= 3", false, 3},
    {"BM_NativeMix", "native mix", "ns/instr", 1e9, "", false, 0},
    {"BM_EmptyScan", "empty scan", "ns", 1e9, "<= 50", false, 50},
    {"BM_Native", "native baseline", "M instr/s", 1e-6, "", true, 0},
    {"BM_NativeOpaque", "native, opaque", "M instr/s", 1e-6, "", true, 0},
    {"BM_NativeMillion", "native 1M", "M instr/s", 1e-6, "", true, 0},
    {"BM_Load", "load", "M lines/s", 1e-6, ">= 4", true, 4},
    {"BM_LoadMemory", "load memory", "B/instr", 1, "<= 80", false, 80},
    {"BM_Window", "window", "scans/s", 1, ">= 950", true, 950},
    {"BM_WindowBig/rate", "window 200k", "scans/s", 1, "", true, 0},
    {"BM_WindowBig", "window 200k", "% of scan", 1, ">= 90", true, 90},
    // At most 5 % below the window without the view.
    {"BM_WindowStatus", "window, status view", "scans/s", 1, ">= 855", true, 855},
    {"BM_WindowBigStatus/rate", "200k, status view", "scans/s", 1, "", true, 0},
    {"BM_WindowBigStatus", "200k, status view", "% of scan", 1, ">= 90", true, 90},
    {"BM_WindowBigStatus/key", "200k, key to LED", "ms", 1, "<= 50", false, 50},
    {"BM_WindowBigStatus/memory", "200k, memory", "x session", 1, "<= 2", false, 2},
    {"BM_WindowBigStatus/kept", "200k, then small", "MB kept", 1, "<= 1", false, 1},
    {"BM_WindowBigStatus/load", "200k, load", "x check", 1, "<= 1.5", false, 1.5},
    {"BM_WindowTrend/rate", "window, trend 8 rows", "scans/s", 1, "", true, 0},
    {"BM_WindowTrend", "window, trend 8 rows", "% of scan", 1, ">= 90", true, 90},
};

struct Summary {
    double median = 0;
    double low = 0;
    double high = 0;
};

Summary summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

// Collects every repetition's figure and prints the table once all have run.
class TableReporter final : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context&) override { return true; }

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) {
                continue;
            }
            const std::string name = run.run_name.function_name;
            for (const auto& [counter, value] : run.counters) {
                if (counter == "figure") {
                    figures[name].push_back(value.value);
                } else if (counter != "allocs") {
                    figures[name + "/" + counter].push_back(value.value);
                }
            }
            if (const auto it = run.counters.find("allocs"); it != run.counters.end()) {
                allocs[name] = std::max(allocs[name], it->second.value);
            }
        }
    }

    void Finalize() override {
        std::printf("%-16s %12s  %-28s %-10s %-8s %s\n", "benchmark", "median", "spread (min..max)",
                    "unit", "target", "met");
        std::map<std::string, Summary> done;
        for (const Row& row : Rows) {
            const auto it = figures.find(row.benchmark);
            if (it == figures.end()) {
                continue;
            }
            Summary s = summarise(it->second);
            s.median *= row.scale;
            s.low *= row.scale;
            s.high *= row.scale;
            done[row.benchmark] = s;
            printRow(row, s, it->second.size());
        }
        printRatio(done);
        printAllocations();
    }

private:
    static void printRow(const Row& row, const Summary& s, std::size_t n) {
        char spread[64];
        std::snprintf(spread, sizeof spread, "%.4g..%.4g (%zu)", s.low, s.high, n);
        const char* met = "";
        if (row.target[0] != '\0') {
            const bool ok = row.higherIsBetter ? s.median >= row.limit : s.median <= row.limit;
            met = ok ? "yes" : "NO";
        }
        std::printf("%-16s %12.4g  %-28s %-10s %-8s %s\n", row.title, s.median, spread, row.unit,
                    row.target, met);
    }

    // Time per instruction of `slow` over that of `fast`, both given as rates.
    static void printRatio(const std::map<std::string, Summary>& done, const char* slow,
                           const char* fast, const char* what, const char* target) {
        const auto s = done.find(slow);
        const auto f = done.find(fast);
        if (s == done.end() || f == done.end() || s->second.median <= 0) {
            return;
        }
        std::printf("%s: %.2f (%.3g ns vs %.3g ns)%s\n", what, f->second.median / s->second.median,
                    1e3 / s->second.median, 1e3 / f->second.median, target);
    }

    static void printRatio(const std::map<std::string, Summary>& done) {
        printRatio(done, "BM_BitLogicMillion", "BM_BitLogic",
                   "bit logic 1M/1k time per instruction", "  target <= 1.3, aim 1.1");
        printRatio(done, "BM_BitLogic", "BM_Native",
                   "interpreter/native time per bit-logic instruction, 1k, folded", "");
        printRatio(done, "BM_BitLogic", "BM_NativeOpaque",
                   "interpreter/native time per bit-logic instruction, 1k, opaque", "");
        printRatio(done, "BM_BitLogicMillion", "BM_NativeMillion",
                   "interpreter/native time per bit-logic instruction, 1M, opaque", "");
        const auto mix = done.find("BM_RealisticMix");
        const auto native = done.find("BM_NativeMix");
        if (mix != done.end() && native != done.end() && native->second.median > 0) {
            std::printf("interpreter/native time per instruction, realistic mix: %.2f (%.3g ns vs "
                        "%.3g ns)\n",
                        mix->second.median / native->second.median, mix->second.median,
                        native->second.median);
        }
    }

    void printAllocations() const {
        for (const auto& [name, count] : allocs) {
            std::printf("heap allocations during %s: %.0f\n", name.c_str(), count);
        }
    }

    std::map<std::string, std::vector<double>> figures;
    std::map<std::string, double> allocs;
};

} // namespace
} // namespace kvx

int main(int argc, char** argv) {
    using namespace kvx;
#ifdef KVX_BENCH_WINDOW
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    // The offscreen platform's notices (window hints, runtime directory) would break up the
    // table; only real failures are shown.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
        }
    });
    // The window as kvx-sim runs it.
    ProgramLoader::useOneHeap();
    QApplication app(argc, argv);
#endif
    if (!benchmarkProgramsAreSound()) {
        return EXIT_FAILURE;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return EXIT_FAILURE;
    }
    TableReporter table;
    benchmark::RunSpecifiedBenchmarks(&table);
    benchmark::Shutdown();
    return EXIT_SUCCESS;
}
