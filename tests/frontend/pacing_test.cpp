// The window's scan pacing on a fake tick clock: one scan for every millisecond that passed,
// never more, made up at once after a scan that took longer than the tick, and input still
// handled between scans.
#include <memory>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include "core/clock.h"
#include "frontend/mainwindow.h"
#include "tests/frontend/runners.h"

namespace kvx {

namespace {

const QString Lamps = QStringLiteral(KVX_EXAMPLES_DIR "/lamps.awl");

// A tick clock whose time passes only while the program scans: every read advances it, as
// the clock of a scan far longer than a millisecond would.
class SlowScanClock final : public Clock {
public:
    std::uint32_t getmsTime() const noexcept override { return moving ? ++now : now; }
    bool moving = false;

private:
    mutable std::uint32_t now = 0;
};

// Lets the event loop run for `ms` of real time, the 1 ms scan timer included.
void runEventsFor(int ms) {
    QElapsedTimer real;
    real.start();
    while (real.elapsed() < ms) {
        QTest::qWait(1);
    }
}

} // namespace

class PacingTest final : public QObject {
    Q_OBJECT

private slots:
    void noScanWhileTheTickStandsStill() {
        SimClock ticks;
        MainWindow window(ticks);
        window.load(Lamps);
        const std::uint64_t before = window.cpu().scanCount();
        runEventsFor(40);
        QCOMPARE(window.cpu().scanCount(), before);
    }

    void oneScanPerElapsedMillisecond() {
        SimClock ticks;
        MainWindow window(ticks);
        window.load(Lamps);
        const std::uint64_t before = window.cpu().scanCount();
        for (int ms = 0; ms < 20; ++ms) {
            ticks.advance(1);
            runEventsFor(3);
        }
        QCOMPARE(window.cpu().scanCount() - before, 20u);
        // After a long stall only two owed scans are made up, not a burst.
        ticks.advance(500);
        runEventsFor(20);
        QCOMPARE(window.cpu().scanCount() - before, 22u);
    }

    void stoppedWindowOwesNothing() {
        SimClock ticks;
        MainWindow window(ticks);
        window.load(Lamps);
        window.command(MainWindow::Stop);
        ticks.advance(50);
        runEventsFor(10);
        const std::uint64_t before = window.cpu().scanCount();
        window.command(MainWindow::Continue);
        runEventsFor(10);
        QCOMPARE(window.cpu().scanCount(), before);
    }

    // Scans that outlast the tick follow each other at once instead of one per timer tick,
    // and a timer event queued meanwhile is still handled promptly.
    void slowScansFollowAtOnceAndInputIsHandled() {
        SlowScanClock ticks;
        MainWindow window(ticks);
        window.load(Lamps);
        ticks.moving = true;
        QElapsedTimer real;
        real.start();
        qint64 handledAfter = -1;
        QTimer::singleShot(10, &window, [&] { handledAfter = real.elapsed(); });
        const std::uint64_t before = window.cpu().scanCount();
        runEventsFor(40);
        ticks.moving = false;
        // A timer-driven window would manage about 40; back to back it is far more.
        QVERIFY2(window.cpu().scanCount() - before > 200,
                 qPrintable(QString::number(window.cpu().scanCount() - before)));
        QVERIFY(handledAfter >= 10);
        QVERIFY(handledAfter < 50);
    }
};

int runPacingTests(int argc, char** argv) {
    PacingTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kvx
#include "pacing_test.moc"
