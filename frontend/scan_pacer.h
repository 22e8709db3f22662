// Runs the session's scans on the machine's millisecond tick: a 1 ms timer, and scans made up
// at once when one took longer than the tick (session/pace.h decides which are owed).
//
// The session does not read the machine's tick itself but `paced`, which the pacer moves: each
// scan reads the millisecond that paid for it, and between scans the clock stands at the last
// millisecond paid for or passed while stopped. So a scan made up late still runs at its own
// millisecond, the scans of a running session lie exactly one tick apart however the timer
// wakes, and a recording of them replays as one `scan N`.
#pragma once

#include <cstdint>
#include <functional>

#include <QObject>

#include "session/pace.h"

class QTimer;

namespace kvx {

class Clock;
class Session;
class SimClock;

class ScanPacer final : public QObject {
    Q_OBJECT

public:
    // `tick` runs one scan while `session` runs; `session` must read `paced`. All of them and
    // `ticks` must outlive the pacer. The timer, named "scanTimer", starts at once.
    ScanPacer(const Session& session, const Clock& ticks, SimClock& paced,
              std::function<void()> tick, QObject* parent);

    // Ends the timer; pace() still works.
    void stop();
    // One tick of the timer: a scan for a millisecond that passed, if one is owed.
    void pace();

private:
    static constexpr std::uint32_t MaxOwed = 2;

    const Session& session;
    const Clock& ticks;
    SimClock& paced;
    std::function<void()> tick;
    QTimer* timer;
    ScanPace owed;
    bool catchUpQueued = false;
};

} // namespace kvx
