#include "frontend/scan_pacer.h"

#include <utility>

#include <QTimer>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "core/clock.h"
#include "session/session.h"

namespace kvx {

namespace {
// Linux lets a sleeping thread wake up to 50 µs late so that wakeups can be batched; at one
// scan per millisecond that alone loses about one tick in twenty. The window's thread asks for
// wakeups on time instead.
void keepTimerWakeupsPrecise() noexcept {
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL);
#endif
}
} // namespace

ScanPacer::ScanPacer(const Session& s, const Clock& t, SimClock& p, std::function<void()> scan,
                     QObject* parent)
    : QObject(parent), session(s), ticks(t), paced(p), tick(std::move(scan)),
      timer(new QTimer(this)), owed(t.getmsTime(), MaxOwed) {
    paced.set(t.getmsTime());
    keepTimerWakeupsPrecise();
    timer->setObjectName(QStringLiteral("scanTimer"));
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(1);
    connect(timer, &QTimer::timeout, this, &ScanPacer::pace);
    timer->start();
}

void ScanPacer::stop() {
    timer->stop();
}

// A big program scans for longer than the 1 ms tick; waiting for the next tick after each scan
// would then lose most of a millisecond every time. While a scan is still owed the next one is
// queued behind the events already pending, so input and painting still come between scans.
// Only two owed scans are kept: after the window was held up (a menu, a dialog) it goes on at
// the normal rate instead of racing to catch up.
// A halted scan owes nothing, as a stopped CPU does: its clock runs on as while stopped, and
// Continue does not make up the scans of the time it stood.
void ScanPacer::pace() {
    const std::uint32_t now = ticks.getmsTime();
    const bool scanning = session.isRunning() && !session.isHalted();
    const std::optional<std::uint32_t> at = owed.next(now, scanning);
    if (!scanning) {
        paced.set(now);
        return;
    }
    if (!at) {
        return;
    }
    paced.set(*at);
    tick();
    if (!catchUpQueued && session.isRunning() && !session.isHalted() &&
        owed.owes(ticks.getmsTime())) {
        catchUpQueued = true;
        QTimer::singleShot(0, this, [this] {
            catchUpQueued = false;
            pace();
        });
    }
}

} // namespace kvx
