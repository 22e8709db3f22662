// The window's scan rate: scans per second its 1 ms timer reaches, on the offscreen platform;
// with a large program and its status view open, also the key's way to its LED, the memory
// and the load; and with the trend open.

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string_view>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>

#include "bench/native.h"
#include "bench/programs.h"
#include "frontend/mainwindow.h"
#include "frontend/panel.h"
#include "frontend/watch_view.h"
#include "session/clocks.h"
#include "session/session.h"

namespace kvx {

namespace {

constexpr int WindowMilliseconds = 3000;
constexpr std::size_t WindowBigInstructions = 200'000;
constexpr int LoadTries = 5;

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

// Scans per second of a real window with the bit-logic program loaded, with the views that
// `open` shows; 0 when the program cannot be written.
double windowRate(benchmark::State& state, const std::function<void(MainWindow&)>& open) {
    QTemporaryFile file;
    if (!file.open()) {
        state.SkipWithError("cannot write the program file");
        return 0;
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
    if (open) {
        open(window);
    }
    double rate = 0;
    for (auto _ : state) {
        rate = scansPerSecond(window);
    }
    return rate;
}

void BM_Window(benchmark::State& state) {
    state.counters["figure"] = windowRate(state, {});
}

// The time of one scan of `source` in a session alone; 0 when it does not load.
double scanSecondsOf(const std::string& source) {
    Session session;
    if (session.loadText(source)) {
        return 0;
    }
    QElapsedTimer clock;
    clock.start();
    int scans = 0;
    while (clock.elapsed() < 500) {
        session.cpu().runStep();
        ++scans;
    }
    return static_cast<double>(clock.nsecsElapsed()) * 1e-9 / scans;
}

bool writeProgram(QTemporaryFile& file, const std::string& source) {
    if (!file.open()) {
        return false;
    }
    file.write(source.c_str());
    file.close();
    return true;
}

// A program whose scan takes about the 1 ms tick: the window should scan nearly back to back.
// The figure is the window's rate as a share of what the scan time alone allows, at most one
// scan a millisecond: once the scan became quicker than the tick, the share of time spent
// scanning no longer measured the window.
void BM_WindowBig(benchmark::State& state) {
    const std::string source = bitLogicProgram(WindowBigInstructions, BitLogicSeed).source();
    const double scanSeconds = scanSecondsOf(source);
    QTemporaryFile file;
    if (scanSeconds == 0 || !writeProgram(file, source)) {
        state.SkipWithError("the generated program does not load or cannot be written");
        return;
    }
    SteadyTickClock ticks;
    MainWindow window(ticks);
    window.show();
    window.load(file.fileName());
    double rate = 0;
    for (auto _ : state) {
        rate = scansPerSecond(window);
    }
    state.counters["figure"] = 100.0 * rate / std::min(1000.0, 1.0 / scanSeconds);
    state.counters["rate"] = rate;
}

// The program-status view open, so that ten scans a second are captured for it.
void BM_WindowStatus(benchmark::State& state) {
    state.counters["figure"] =
        windowRate(state, [](MainWindow& window) { window.command(MainWindow::Programmstatus); });
}

// The bit-logic program with the trend open on eight watch rows (inputs, outputs and memory it
// works on), sampled after every scan. The figure is the window's scan rate as a share of what
// the scan time allows, at most one scan a millisecond.
void BM_WindowTrend(benchmark::State& state) {
    const double rate = windowRate(state, [](MainWindow& window) {
        WatchList& watch = window.watchView().list();
        for (const char* operand : {"E0.0", "E0.1", "A0.0", "A0.1", "A0.2", "A0.3", "AB0", "MW0"}) {
            (void)watch.setOperand(watch.size(), operand);
        }
        window.command(MainWindow::Verlauf);
    });
    const double scanSeconds =
        scanSecondsOf(bitLogicProgram(BitLogicInstructions, BitLogicSeed).source());
    state.counters["figure"] = 100.0 * rate / std::min(1000.0, 1.0 / scanSeconds);
    state.counters["rate"] = rate;
}

// The size="N" of the first element of `xml` that starts with `element`; 0 when none does.
double sizeOf(std::string_view xml, std::string_view element) {
    const std::size_t at = xml.find(element);
    const std::size_t size = at == std::string_view::npos ? at : xml.find("size=\"", at);
    return size == std::string_view::npos ? 0 : std::strtod(xml.data() + size + 6, nullptr);
}

// Everything malloc has handed out and not taken back, in all arenas (the window reads a
// large program on a thread of its own, whose allocations lie in another arena), Qt's own
// allocations included.
double heapMegabytes() {
    char* text = nullptr;
    std::size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    if (out == nullptr) {
        return 0;
    }
    malloc_info(0, out);
    std::fclose(out);
    std::string_view xml(text, size);
    // The totals over all arenas follow the last arena's element.
    xml.remove_prefix(std::min(xml.size(), xml.rfind("</heap>") + 1));
    const double bytes = sizeOf(xml, "<system type=\"current\"") -
                         sizeOf(xml, "<total type=\"fast\"") - sizeOf(xml, "<total type=\"rest\"") +
                         sizeOf(xml, "<total type=\"mmap\"");
    std::free(text);
    return bytes / (1024.0 * 1024.0);
}

// What `kvx check` takes on `path`, from its start to its exit, the quickest of LoadTries: the
// load a user compares the window's with. 0 when it fails.
double checkMilliseconds(const QString& path) {
    double best = 1e9;
    for (int i = 0; i < LoadTries; ++i) {
        QProcess check;
        QElapsedTimer clock;
        clock.start();
        check.start(QStringLiteral(KVX_CLI), {QStringLiteral("check"), path});
        if (!check.waitForFinished(60'000) || check.exitStatus() != QProcess::NormalExit ||
            check.exitCode() != 0) {
            return 0;
        }
        best = std::min(best, static_cast<double>(clock.nsecsElapsed()) * 1e-6);
    }
    return best;
}

// Loads `path` into `window` and waits until it is installed; the milliseconds it took.
double loadMilliseconds(MainWindow& window, const QString& path) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    bool done = false;
    const auto connection = QObject::connect(&window, &MainWindow::loadFinished, [&] {
        done = true;
        loop.quit();
    });
    window.load(path);
    if (!done) {
        loop.exec();
    }
    QObject::disconnect(connection);
    return static_cast<double>(clock.nsecsElapsed()) * 1e-6;
}

// The milliseconds from flipping switch E0.0 to its LED A0.0 changing, the most of five.
double keyToLedMilliseconds(MainWindow& window) {
    double most = 0;
    for (int press = 0; press < 5; ++press) {
        const int led = window.panelIO().OutState[0];
        QElapsedTimer clock;
        clock.start();
        window.panel().toggle(0);
        while (window.panelIO().OutState[0] == led && clock.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        most = std::max(most, static_cast<double>(clock.nsecsElapsed()) * 1e-6);
    }
    return most;
}

// The 200,000-instruction program with its status view open, and a last network in which
// switch E0.0 lights A0.0. The figure is the window's scan rate as a share of what the scan
// time allows, at most one scan a millisecond. Beside it: the key's way to its LED; the heap
// the window takes for the program over what a session alone takes for it, and what stays of
// it once a small program replaced it; the window's load over `kvx check` of the file.
void BM_WindowBigStatus(benchmark::State& state) {
    std::string source = bitLogicProgram(WindowBigInstructions, BitLogicSeed).source();
    source.insert(source.rfind("END_ORGANIZATION_BLOCK"), "NETWORK 999999\nLD E0.0\n= A0.0\n");
    const double scanSeconds = scanSecondsOf(source);
    QTemporaryFile file;
    QTemporaryFile small;
    if (scanSeconds == 0 || !writeProgram(file, source) ||
        !writeProgram(small, "ORGANIZATION_BLOCK M:O\nBEGIN\nNETWORK 1\nLD E0.0\n= A0.0\n"
                             "END_ORGANIZATION_BLOCK\n")) {
        state.SkipWithError("the generated program does not load or cannot be written");
        return;
    }
    // Loads are timed LoadTries times each and the quickest kept, so that a busy machine
    // weighs on both sides alike.
    const double checkMs = checkMilliseconds(file.fileName());
    double sessionMegabytes = 0;
    {
        const double before = heapMegabytes();
        Session session;
        (void)session.loadFile(file.fileName().toStdString());
        sessionMegabytes = heapMegabytes() - before;
    }
    if (checkMs == 0) {
        state.SkipWithError("kvx check fails on the generated program");
        return;
    }
    SteadyTickClock ticks;
    MainWindow window(ticks);
    const QTemporaryDir settings;
    window.setSettings(Settings(settings.filePath(QStringLiteral("kvx-sim.ini"))));
    window.show();
    window.command(MainWindow::Programmstatus);
    (void)loadMilliseconds(window, small.fileName());
    // Painted once, so that the windows' backing stores and the glyphs count before.
    QEventLoop settle;
    QTimer::singleShot(300, &settle, &QEventLoop::quit);
    settle.exec();
    const double before = heapMegabytes();
    double windowMs = loadMilliseconds(window, file.fileName());
    const double windowMegabytes = heapMegabytes() - before;
    // Each load starts from the small program, as the session's starts from none: what is
    // timed is reading this file, not the freeing of the last large one.
    for (int i = 1; i < LoadTries; ++i) {
        (void)loadMilliseconds(window, small.fileName());
        window.waitUntilFreed();
        windowMs = std::min(windowMs, loadMilliseconds(window, file.fileName()));
    }
    double rate = 0;
    for (auto _ : state) {
        rate = scansPerSecond(window);
    }
    state.counters["key"] = keyToLedMilliseconds(window);
    (void)loadMilliseconds(window, small.fileName());
    window.waitUntilFreed();
    state.counters["figure"] = 100.0 * rate / std::min(1000.0, 1.0 / scanSeconds);
    state.counters["rate"] = rate;
    state.counters["memory"] = windowMegabytes / sessionMegabytes;
    state.counters["kept"] = heapMegabytes() - before;
    state.counters["load"] = windowMs / checkMs;
}

} // namespace

BENCHMARK(BM_Window)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowBig)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowStatus)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowBigStatus)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowTrend)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace kvx
