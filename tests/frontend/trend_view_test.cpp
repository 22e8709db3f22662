// The trend view (Verlauf): what it records of the watch table's operands and when, its VCD
// file against the runner's writer, and the bound on what it keeps.
#include <memory>
#include <sstream>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "core/clock.h"
#include "core/cpu.h"
#include "frontend/mainwindow.h"
#include "frontend/trend_view.h"
#include "frontend/watch_view.h"
#include "scenario/waveform.h"
#include "session/operand_access.h"
#include "session/session.h"
#include "tests/frontend/runners.h"
#include "tests/frontend/window_helpers.h"

namespace kvx {

namespace {

// E0.0, A0.0 and T37 with its bit, written after each scan.
struct EveryScan final : SessionListener {
    EveryScan(Session& s, std::ostream& out)
        : session(s), vcd(out, {{"E0.0", 1}, {"A0.0", 1}, {"T37", 16}, {"T37.Q", 1}}),
          timer(s.cpu(), "T37"), input(s.cpu(), "E0.0"), led(s.cpu(), "A0.0") {
        session.addListener(*this);
    }
    ~EveryScan() override { session.removeListener(*this); }
    void scanned(std::uint32_t now, const std::optional<CPUException>&) override {
        const std::optional<std::uint32_t> values[] = {input.value(), led.value(), timer.value(),
                                                       static_cast<std::uint32_t>(timer.bit())};
        vcd.sample(now, values);
    }

    Session& session;
    VcdWriter vcd;
    OperandRef timer;
    OperandRef input;
    OperandRef led;
};

} // namespace

class TrendViewTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        errors.clear();
        window = std::make_unique<MainWindow>(ticks);
        window->findChild<QTimer*>(QStringLiteral("scanTimer"))->stop();
        window->findChild<QTimer*>(QStringLiteral("viewTimer"))->stop();
        window->setErrorReport([this](QWidget*, const QString& text) { errors << text; });
        window->setSettings(Settings(files.filePath(QStringLiteral("settings.ini"))));
        const QString path = files.filePath(QStringLiteral("prog.awl"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\nLD E0.0\n= A0.0\n"
                   "LD E0.0\nTON T37 3\nEND_ORGANIZATION_BLOCK\n");
        file.close();
        window->load(path);
        QVERIFY(errors.isEmpty());
    }
    void cleanup() { window.reset(); }

    // A switch and its LED change in the scan after the flip, at that scan's simulated time;
    // the timer's value and bit follow. The file says the same as the runner's writer given
    // those changes, and a file that cannot be written is reported.
    void recordsChangesAtTheirScanTimesAndSavesThemAsTheWriterWould() {
        WatchList& watch = window->watchView().list();
        for (const char* operand : {"E0.0", "A0.0", "T37", "E0.0"}) {
            QVERIFY(watch.setOperand(watch.size(), operand).empty());
        }
        window->command(MainWindow::Verlauf);
        // The runner's way, for comparison: every signal sampled after every scan.
        std::ostringstream expected;
        EveryScan runner(window->session(), expected);
        scanUntil(100);
        window->session().setSwitch(0, 1);
        scanUntil(600);
        window->session().setSwitch(0, 0);
        scanUntil(700);
        const TrendHistory& history = window->trendView().history();
        // The repeated row has no lane of its own.
        QCOMPARE(history.channels().size(), std::size_t{3});
        const auto& e0 = history.channels()[0].changes;
        QCOMPARE(e0.size(), std::size_t{3});
        QCOMPARE(e0[1].time, 101u);
        QCOMPARE(e0[1].value, 1u);
        QCOMPARE(e0[2].time, 601u);
        QCOMPARE(history.channels()[1].changes.size(), std::size_t{3});
        QCOMPARE(history.channels()[1].changes[1].time, 101u);
        // T37 counts 100 ms intervals, 4 or 5 by the time it is switched off, Q from 3 on.
        const std::uint32_t counted = history.channels()[2].valueAt(600).value_or(0);
        QVERIFY2(counted == (4 | TrendHistory::QBit) || counted == (5 | TrendHistory::QBit),
                 qPrintable(QString::number(counted, 16)));
        QCOMPARE(history.channels()[2].valueAt(700), std::optional(0u));

        runner.vcd.end(700);
        const QString saved = files.filePath(QStringLiteral("trend.vcd"));
        QCOMPARE(window->trendView().saveTo(saved, {}), QString());
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().toStdString(), expected.str());

        window->setWaveformDialog([this](QWidget*) {
            return std::optional(files.filePath(QStringLiteral("missing/trend.vcd")));
        });
        window->trendView().saveAsked();
        QCOMPARE(errors.size(), 1);
    }

    // However long it runs, an operand keeps at most MaxChanges changes and nothing older than
    // KeptMilliseconds but the value the kept span starts with.
    void historyStaysWithinItsBound() {
        CPU& cpu = window->session().cpu();
        TrendHistory history(cpu);
        history.follow({"M0.0"});
        MemField& memory = cpu.area(Parameter::MType);
        std::uint32_t time = 0;
        for (; time < TrendHistory::MaxChanges + 50; ++time) {
            memory.writeBit(0, 0, static_cast<int>(time % 2));
            history.sample(time);
        }
        const auto& changes = history.channels()[0].changes;
        QCOMPARE(changes.size(), TrendHistory::MaxChanges);
        QCOMPARE(changes.front().time, 50u);
        // Quiet for longer than is kept: one change at the far end and the value before it.
        time += TrendHistory::KeptMilliseconds + 5000;
        memory.writeBit(0, 0, 1 - memory.readBit(0, 0));
        history.sample(time);
        QCOMPARE(changes.size(), std::size_t{2});
        QCOMPARE(*history.firstTime(), time - TrendHistory::KeptMilliseconds);
        QVERIFY(changes.front().time < *history.firstTime());
    }

private:
    // One scan a millisecond up to `ms`, as the window's timer makes them.
    void scanUntil(std::uint32_t ms) {
        auto* pacer = window->findChild<ScanPacer*>();
        while (ticks.getmsTime() < ms) {
            ticks.set(ticks.getmsTime() + 1);
            pacer->pace();
        }
    }

    SimClock ticks;
    std::unique_ptr<MainWindow> window;
    QStringList errors;
    QTemporaryDir files;
};

int runTrendViewTests(int argc, char** argv) {
    TrendViewTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kvx
#include "trend_view_test.moc"
