// The window's scan rate: scans per second its 1 ms timer reaches, on the offscreen platform.

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>

#include "bench/native.h"
#include "bench/programs.h"
#include "frontend/mainwindow.h"
#include "session/clocks.h"
#include "session/session.h"

namespace kvx {

namespace {

constexpr int WindowMilliseconds = 3000;
constexpr std::size_t WindowBigInstructions = 200'000;

// Scans per second over about WindowMilliseconds. The time is taken from the clock, not from
// the timer that ends the loop: on a busy machine that timer fires late, and the extra scans
// would otherwise count as more than one per millisecond.
double scansPerSecond(MainWindow& window) {
    const std::uint64_t before = window.cpu().scanCount();
    QElapsedTimer real;
    real.start();
    QEventLoop loop;
    QTimer::singleShot(WindowMilliseconds, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = static_cast<double>(real.nsecsElapsed()) * 1e-9;
    return static_cast<double>(window.cpu().scanCount() - before) / seconds;
}

// Scans per second of a real window with the bit-logic program loaded; with `statusOpen` the
// program-status view is shown, so that ten scans a second are captured for it.
void measureWindow(benchmark::State& state, bool statusOpen) {
    QTemporaryFile file;
    if (!file.open()) {
        state.SkipWithError("cannot write the program file");
        return;
    }
    file.write(bitLogicProgram(BitLogicInstructions, BitLogicSeed).source().c_str());
    file.close();

    SteadyTickClock ticks;
    MainWindow window(ticks);
    // The measured load must not land in the user's recent files.
    const QTemporaryDir settings;
    window.setSettings(Settings(settings.filePath(QStringLiteral("kvx-sim.ini"))));
    window.show();
    window.load(file.fileName());
    if (statusOpen) {
        window.command(MainWindow::Programmstatus);
    }
    double rate = 0;
    for (auto _ : state) {
        rate = scansPerSecond(window);
    }
    state.counters["figure"] = rate;
}

void BM_Window(benchmark::State& state) {
    measureWindow(state, false);
}

// A program whose scan outlasts the 1 ms tick: the window should scan nearly back to back.
// The figure is the window's rate as a share of what the scan time alone allows.
void BM_WindowBig(benchmark::State& state) {
    const std::string source = bitLogicProgram(WindowBigInstructions, BitLogicSeed).source();
    double scanSeconds = 0;
    {
        Session session;
        if (session.loadText(source)) {
            state.SkipWithError("the generated program does not load");
            return;
        }
        QElapsedTimer clock;
        clock.start();
        int scans = 0;
        while (clock.elapsed() < 500) {
            session.cpu().runStep();
            ++scans;
        }
        scanSeconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9 / scans;
    }
    QTemporaryFile file;
    if (!file.open()) {
        state.SkipWithError("cannot write the program file");
        return;
    }
    file.write(source.c_str());
    file.close();
    SteadyTickClock ticks;
    MainWindow window(ticks);
    window.show();
    window.load(file.fileName());
    double rate = 0;
    for (auto _ : state) {
        rate = scansPerSecond(window);
    }
    state.counters["figure"] = 100.0 * rate * scanSeconds;
    state.counters["rate"] = rate;
}

void BM_WindowStatus(benchmark::State& state) {
    measureWindow(state, true);
}

} // namespace

BENCHMARK(BM_Window)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowBig)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowStatus)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace kvx
