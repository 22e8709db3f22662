// The window's status bar: run state (and the fault that stopped it), scan rate and scan
// time, simulated time with the speed factor, the program file, and the recording under way.
// What does not fit the bar's width is shortened, a fault's message before its place, and
// shown whole in the label's tooltip.
#pragma once

#include <cstdint>
#include <optional>

#include <QDateTime>
#include <QElapsedTimer>
#include <QStringList>

#include "session/session_listener.h"

class QLabel;
class QStatusBar;

namespace kvx {

class Session;

class StatusLine final : public SessionListener {
public:
    // Adds its labels to `bar`; `session` must outlive the line.
    StatusLine(Session& session, QStatusBar& bar);
    ~StatusLine() override;
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    // The texts shown, each whole: run state, scan rate (while running) with the scan time,
    // time, `file` (or the one being `read`), and the scenario being `recorded` into (empty
    // when none is).
    QStringList texts(const QString& file, const QString& read, const QString& recorded) const;
    // Counts the scan rate over the last whole second and shows the texts.
    void refresh(const QString& file, const QString& read, const QString& recorded);
    // The next scan's time is taken from now to its scanned() event, so that what listeners
    // do after it (an error box above all) does not count.
    void scanStarts() noexcept { scanClock.start(); }

    void loaded(std::uint32_t now, const std::string& source) override;
    void scanned(std::uint32_t now, const std::optional<CPUException>& fault) override;
    void faulted(std::uint32_t now, const CPUException& fault) override;
    void halted(std::uint32_t now, int line, bool step) override;
    void runChanged(std::uint32_t now, RunChange change) override;

private:
    // Scan times in nanoseconds since the program started or was reset.
    struct ScanTimes {
        qint64 last = 0;
        qint64 min = 0;
        qint64 max = 0;
        bool any = false;
    };
    QString scanTimeText() const;
    // Sets the labels' texts, shortened where the bar is too narrow for all of them.
    void fit(const QStringList& shown);

    Session& session;
    QStatusBar& bar;
    QLabel* stateLabel;
    QLabel* rateLabel;
    QLabel* timeLabel;
    QLabel* fileLabel;
    QLabel* recordingLabel;
    std::optional<CPUException> lastFault;
    // The scan rate: scans counted over the last whole second.
    std::uint64_t scansAtMark = 0;
    qint64 markMs = 0;
    double scanRate = 0;
    QElapsedTimer scanClock;
    ScanTimes times;
};

} // namespace kvx
