// The window's status bar: run state (and the fault that stopped it), scan rate, simulated
// time with the speed factor, the program file, and the recording under way.
#pragma once

#include <cstdint>
#include <optional>

#include <QDateTime>
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

    // The texts shown: run state, scan rate, time, `file` (or the one being `read`), and the
    // scenario being `recorded` into (empty when none is).
    QStringList texts(const QString& file, const QString& read, const QString& recorded) const;
    // Counts the scan rate over the last whole second and shows the texts.
    void refresh(const QString& file, const QString& read, const QString& recorded);

    void loaded(std::uint32_t now, const std::string& source) override;
    void faulted(std::uint32_t now, const CPUException& fault) override;

private:
    Session& session;
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
};

} // namespace kvx
