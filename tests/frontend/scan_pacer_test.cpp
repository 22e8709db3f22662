// Scan pacing on fake tick clocks, one timer tick at a time: one scan for every millisecond
// that passed, never more, made up at once after a scan that took longer than the tick, and
// events still handled between those scans.
#include <QCoreApplication>
#include <QTest>
#include <QTimer>

#include <vector>

#include "core/clock.h"
#include "frontend/scan_pacer.h"
#include "session/session.h"
#include "tests/frontend/runners.h"

namespace kvx {

namespace {

const char* const Lamps = KVX_EXAMPLES_DIR "/lamps.awl";

// A tick clock whose time passes only while the program scans: every read advances it, as
// the clock of a scan far longer than a millisecond would.
class SlowScanClock final : public Clock {
public:
    std::uint32_t getmsTime() const noexcept override { return moving ? ++now : now; }
    bool moving = false;

private:
    mutable std::uint32_t now = 0;
};

// A session running the lamps on `ticks`, paced by hand: the pacer's own timer is stopped.
struct Paced final : SessionListener {
    explicit Paced(const Clock& ticks)
        : session(paced), pacer(
                              session, ticks, paced, [this] { session.tick(); }, nullptr) {
        pacer.stop();
        QVERIFY(!session.loadFile(Lamps));
        session.addListener(*this);
    }
    ~Paced() override { session.removeListener(*this); }
    std::uint64_t scans() const noexcept { return session.cpu().scanCount(); }
    void scanned(std::uint32_t now, const std::optional<CPUException>&) override {
        times.push_back(now);
    }

    SimClock paced;
    Session session;
    ScanPacer pacer;
    std::vector<std::uint32_t> times;
};

} // namespace

class ScanPacerTest final : public QObject {
    Q_OBJECT

private slots:
    void oneScanPerElapsedMillisecondAndAtMostTwoOwed() {
        SimClock ticks;
        Paced paced(ticks);
        paced.pacer.pace();
        QCOMPARE(paced.scans(), 0u);
        for (int ms = 0; ms < 20; ++ms) {
            ticks.advance(1);
            paced.pacer.pace();
            paced.pacer.pace();
        }
        QCOMPARE(paced.scans(), 20u);
        // A timer that wakes late owes two scans; each runs at the millisecond it is owed for.
        ticks.advance(2);
        paced.pacer.pace();
        QCoreApplication::processEvents();
        QCOMPARE(paced.scans(), 22u);
        for (std::size_t i = 1; i < paced.times.size(); ++i) {
            QCOMPARE(paced.times[i], paced.times[i - 1] + 1);
        }
        // After a long stall only two owed scans are made up, not a burst.
        ticks.advance(500);
        paced.pacer.pace();
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
        }
        QCOMPARE(paced.scans(), 24u);
        QCOMPARE(paced.times.back(), 522u);
    }

    void stoppedSessionOwesNothing() {
        SimClock ticks;
        Paced paced(ticks);
        paced.session.stop();
        ticks.advance(50);
        paced.pacer.pace();
        paced.session.run();
        paced.pacer.pace();
        QCoreApplication::processEvents();
        QCOMPARE(paced.scans(), 0u);
    }

    // A halted scan is a stopped CPU to the pacer: the time it stands earns no scans, so
    // Continue goes on at the normal rate, and the clock runs on meanwhile.
    void haltedScanOwesNothing() {
        SimClock ticks;
        Paced paced(ticks);
        QVERIFY(!paced.session.setBreakpoint(13));
        ticks.advance(1);
        paced.pacer.pace();
        QVERIFY(paced.session.isHalted());
        ticks.advance(50);
        paced.pacer.pace();
        QCOMPARE(paced.session.now(), 51u);
        QVERIFY(!paced.session.resume());
        paced.session.clearBreakpoints();
        paced.pacer.pace();
        QCoreApplication::processEvents();
        QCOMPARE(paced.scans(), 1u);
        ticks.advance(1);
        paced.pacer.pace();
        QCoreApplication::processEvents();
        QCOMPARE(paced.scans(), 2u);
    }

    // Scans that outlast the tick follow each other without the timer, and an event posted
    // meanwhile is handled between two of them.
    void slowScansFollowAtOnceWithEventsBetween() {
        SlowScanClock ticks;
        Paced paced(ticks);
        ticks.moving = true;
        paced.pacer.pace();
        QCOMPARE(paced.scans(), 1u);
        std::uint64_t handledAt = 0;
        QTimer::singleShot(0, &paced.pacer, [&] { handledAt = paced.scans(); });
        for (int i = 0; i < 1000 && paced.scans() < 200; ++i) {
            QCoreApplication::processEvents();
        }
        ticks.moving = false;
        QCOMPARE_GE(paced.scans(), 200u);
        QVERIFY2(handledAt >= 1 && handledAt <= 3, qPrintable(QString::number(handledAt)));
    }
};

int runScanPacerTests(int argc, char** argv) {
    ScanPacerTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kvx
#include "scan_pacer_test.moc"
