#include "frontend/status_line.h"

#include <algorithm>

#include <QFontMetrics>
#include <QLabel>
#include <QStatusBar>

#include "session/session.h"
#include "session/text.h"

namespace kvx {

namespace {

const QString FaultPrefix = QStringLiteral("Gestoppt durch Fehler: ");
const QString ScanTimeTip = QStringLiteral("Zykluszeit: der letzte Scan, in Klammern der "
                                           "kürzeste und der längste seit Start oder Reset");
// What the bar adds to a label's text: its frame, the spacing, the margins at both ends.
constexpr int LabelOverhead = 12;
constexpr int BarOverhead = 8;

// Shows `text`; where it is not `whole`, the tooltip shows that, else `tip`.
void show(QLabel& label, const QString& text, const QString& whole, const QString& tip = {}) {
    label.setText(text);
    label.setToolTip(text == whole ? tip : whole);
}

} // namespace

StatusLine::StatusLine(Session& s, QStatusBar& b)
    : session(s), bar(b), stateLabel(new QLabel(&bar)), rateLabel(new QLabel(&bar)),
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
    times = {};
}

void StatusLine::scanned(std::uint32_t, const std::optional<CPUException>&) {
    if (!scanClock.isValid()) {
        return;
    }
    const qint64 ns = scanClock.nsecsElapsed();
    scanClock.invalidate();
    times.last = ns;
    times.min = times.any ? std::min(times.min, ns) : ns;
    times.max = times.any ? std::max(times.max, ns) : ns;
    times.any = true;
}

void StatusLine::faulted(std::uint32_t, const CPUException& fault) {
    lastFault = fault;
}

// A halted scan takes as long as the learner looks at it: its time would only spoil the
// longest.
void StatusLine::halted(std::uint32_t, int, bool) {
    scanClock.invalidate();
}

void StatusLine::runChanged(std::uint32_t, RunChange change) {
    if (change == RunChange::Reset) {
        times = {};
    }
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
    fit(texts(file, read, recorded));
    recordingLabel->setVisible(!recorded.isEmpty());
}

// The first to give way is a fault's message (the error box and the tooltip keep it whole),
// then the file's name, then the scan rate and time; the place of a fault never does.
void StatusLine::fit(const QStringList& shown) {
    const QFontMetrics metrics(stateLabel->font());
    const auto width = [&](const QString& text) { return metrics.horizontalAdvance(text); };
    int excess = BarOverhead - bar.width();
    for (const QString& text : shown) {
        excess += text.isEmpty() ? 0 : width(text) + LabelOverhead;
    }
    QString state = shown[0];
    if (excess > 0 && lastFault && state.startsWith(FaultPrefix)) {
        const QString message = QString::fromUtf8(lastFault->getText());
        const QString rest = state.mid(FaultPrefix.size() + message.size());
        QString shortened =
            metrics.elidedText(message, Qt::ElideRight, std::max(width(message) - excess, 0));
        if (shortened.isEmpty()) {
            shortened = QStringLiteral("…");
        }
        excess -= width(message) - width(shortened);
        state = FaultPrefix + shortened + rest;
    }
    const auto shorten = [&](const QString& text, Qt::TextElideMode mode) {
        if (excess <= 0 || text.isEmpty()) {
            return text;
        }
        const QString fitted = metrics.elidedText(text, mode, std::max(width(text) - excess, 0));
        excess -= width(text) - width(fitted);
        return fitted;
    };
    const QString fileText = shorten(shown[3], Qt::ElideMiddle);
    const QString rateText = shorten(shown[1], Qt::ElideRight);
    show(*stateLabel, state, shown[0]);
    show(*rateLabel, rateText, shown[1], times.any ? ScanTimeTip : QString());
    show(*timeLabel, shorten(shown[2], Qt::ElideRight), shown[2]);
    show(*fileLabel, fileText, shown[3]);
    show(*recordingLabel, shown[4], shown[4]);
}

QString StatusLine::scanTimeText() const {
    if (!times.any) {
        return {};
    }
    // Each in the unit that shows its digits: a scan of a few microseconds next to a longest
    // one of milliseconds would otherwise read 0.0.
    const auto duration = [](qint64 ns) {
        const double us = static_cast<double>(ns) * 1e-3;
        return us < 10     ? QStringLiteral("%1 µs").arg(us, 0, 'f', 1)
               : us < 1000 ? QStringLiteral("%1 µs").arg(us, 0, 'f', 0)
                           : QStringLiteral("%1 ms").arg(us * 1e-3, 0, 'f', 1);
    };
    return QStringLiteral("Zyklus %1 (%2–%3)")
        .arg(duration(times.last), duration(times.min), duration(times.max));
}

QStringList StatusLine::texts(const QString& file, const QString& read,
                              const QString& recorded) const {
    const std::optional<int> haltedAt = session.haltedLine();
    QString state = haltedAt              ? QString::fromStdString(haltedText(*haltedAt))
                    : session.isRunning() ? QStringLiteral("Läuft")
                    : lastFault ? FaultPrefix + QString::fromStdString(lastFault->describe())
                                : QStringLiteral("Gestoppt");
    if (!session.forces().empty()) {
        state += QStringLiteral(" | Forciert");
    }
    QStringList rate;
    // A stopped or halted program has no rate; the last second's would only fade out.
    if (session.isRunning() && !haltedAt) {
        rate << QStringLiteral("%1 Scans/s").arg(static_cast<int>(scanRate + 0.5));
    }
    if (times.any) {
        rate << scanTimeText();
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
    return {state, rate.join(QStringLiteral(", ")), time, shownFile, recording};
}

} // namespace kvx
