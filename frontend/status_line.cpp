#include "frontend/status_line.h"

#include <QLabel>
#include <QStatusBar>

#include "session/session.h"

namespace kvx {

StatusLine::StatusLine(Session& s, QStatusBar& bar)
    : session(s), stateLabel(new QLabel(&bar)), rateLabel(new QLabel(&bar)),
      timeLabel(new QLabel(&bar)), fileLabel(new QLabel(&bar)), recordingLabel(new QLabel(&bar)) {
    // Beside the panel, never inside it: the panel keeps its size, the window grows by the
    // bar.
    bar.setSizeGripEnabled(false);
    for (QLabel* label : {stateLabel, rateLabel, timeLabel, fileLabel}) {
        bar.addWidget(label);
    }
    bar.addPermanentWidget(recordingLabel);
    bar.addPermanentWidget(fileLabel);
    recordingLabel->setStyleSheet(QStringLiteral("color: #c00000"));
    recordingLabel->hide();
    session.addListener(*this);
}

StatusLine::~StatusLine() {
    session.removeListener(*this);
}

void StatusLine::loaded(std::uint32_t, const std::string&) {
    lastFault.reset();
}

void StatusLine::faulted(std::uint32_t, const CPUException& fault) {
    lastFault = fault;
}

void StatusLine::refresh(const QString& file, const QString& read, const QString& recorded) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - markMs >= 1000) {
        const std::uint64_t scans = session.cpu().scanCount();
        scanRate = markMs == 0 ? 0.0
                               : static_cast<double>(scans - scansAtMark) * 1000.0 /
                                     static_cast<double>(now - markMs);
        scansAtMark = scans;
        markMs = now;
    }
    const QStringList shown = texts(file, read, recorded);
    stateLabel->setText(shown[0]);
    rateLabel->setText(shown[1]);
    timeLabel->setText(shown[2]);
    fileLabel->setText(shown[3]);
    recordingLabel->setText(shown[4]);
    recordingLabel->setVisible(!recorded.isEmpty());
}

QStringList StatusLine::texts(const QString& file, const QString& read,
                              const QString& recorded) const {
    QString state = session.isRunning() ? QStringLiteral("Läuft")
                    : lastFault         ? QStringLiteral("Gestoppt durch Fehler: ") +
                                      QString::fromStdString(lastFault->describe())
                                : QStringLiteral("Gestoppt");
    if (!session.forces().empty()) {
        state += QStringLiteral(" | Forciert");
    }
    const std::uint32_t ms = session.now();
    const QString time = QStringLiteral("Zeit %1.%2 s, Faktor 1:%3")
                             .arg(ms / 1000)
                             .arg(ms % 1000, 3, 10, QLatin1Char('0'))
                             .arg(session.faktor());
    const QString shownFile = !read.isEmpty()  ? read + QStringLiteral(" wird geladen")
                              : file.isEmpty() ? QStringLiteral("Kein Programm")
                                               : file;
    const QString recording =
        recorded.isEmpty() ? QString() : QStringLiteral("● Aufzeichnung: ") + recorded;
    return {state, QStringLiteral("%1 Scans/s").arg(static_cast<int>(scanRate + 0.5)), time,
            shownFile, recording};
}

} // namespace kvx
