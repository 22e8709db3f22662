// The trend view (Verlauf): the watch table's operands plotted over simulated time, one lane
// each with its name and value, bits as steps and numbers as a line. It samples after every
// scan while it is open and keeps a bounded history (TrendHistory), shows the last 10 s by
// default, and pauses, zooms and scrolls over what is kept. Paused, the view holds still while
// the sampling goes on, so nothing is missed when it runs again. "Als VCD speichern" writes
// the history through the runner's waveform writer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QWidget>

#include "frontend/trend_history.h"
#include "session/session_listener.h"

class QAction;
class QLabel;
class QScrollBar;

namespace kvx {

class Session;
class TrendPlot;
class WatchList;

class TrendView final : public QWidget, private SessionListener {
    Q_OBJECT

public:
    static constexpr std::uint32_t DefaultSpan = 10'000;
    static constexpr std::uint32_t MinSpan = 100;
    static constexpr std::uint32_t MaxSpan = TrendHistory::KeptMilliseconds;

    using SaveDialog = std::function<std::optional<QString>(QWidget* owner)>;
    using ErrorReport = std::function<void(const QString& text)>;

    // The session and the list must outlive the view.
    TrendView(Session& session, const WatchList& watch, QWidget* parent = nullptr);
    ~TrendView() override;

    // Whether scans are sampled: while the view is open.
    void setSampling(bool on) noexcept { sampling = on; }
    // Follows the watch table's rows as they are now and repaints; the window calls it ten
    // times a second while the view is open.
    void refresh();

    void setPaused(bool on);
    bool isPaused() const noexcept { return paused; }
    // The time axis: a span of 1, 2 or 5 times a power of ten milliseconds.
    void zoomIn();
    void zoomOut();
    std::uint32_t span() const noexcept { return shownSpan; }
    // The right edge of the view: the last sample, or where the view was paused or scrolled.
    std::uint32_t viewEnd() const noexcept;
    // Moves the view's right edge (pausing it), within the history kept.
    void scrollTo(std::uint32_t end);

    // Writes the history as a VCD file, whole or not at all, never onto `program`; returns the
    // error, else "".
    QString saveTo(const QString& path, const QString& program) const;
    // "Als VCD speichern": asks where, then saves; an error goes to the report.
    void setSaveHandlers(SaveDialog dialog, ErrorReport report, std::function<QString()> program);
    void saveAsked();

    const TrendHistory& history() const noexcept { return kept; }

private:
    void scanned(std::uint32_t now, const std::optional<CPUException>& fault) override;
    void zoomTo(std::uint32_t newSpan);
    void syncScrollBar();

    Session& session;
    const WatchList& watch;
    TrendHistory kept;
    std::vector<std::string> followedTexts;
    bool sampling = false;
    bool paused = false;
    std::uint32_t pausedEnd = 0;
    std::uint32_t shownSpan = DefaultSpan;
    bool syncing = false;
    TrendPlot* plot;
    QScrollBar* scroll;
    QLabel* spanLabel;
    QAction* pauseAction;
    SaveDialog saveDialog;
    ErrorReport errorReport;
    std::function<QString()> programFile;
};

} // namespace kvx
