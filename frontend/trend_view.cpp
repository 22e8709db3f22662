#include "frontend/trend_view.h"

#include <algorithm>
#include <array>
#include <span>

#include <QAction>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "scenario/report_file.h"
#include "session/session.h"
#include "session/watch.h"

namespace kvx {

namespace {

constexpr int LabelWidth = 130;
constexpr int LaneHeight = 44;
constexpr int AxisHeight = 22;
constexpr int RightMargin = 10;
constexpr std::array<std::uint32_t, 3> Mantissas{1, 2, 5};

const QColor Trace(200, 30, 30);
const QColor BitFill(255, 220, 220);
const QColor PresetReached(255, 240, 200);
const QColor Grid(225, 225, 225);

// The spans of the zoom: 1, 2 and 5 times a power of ten, from MinSpan to MaxSpan.
std::vector<std::uint32_t> zoomSteps() {
    std::vector<std::uint32_t> steps;
    for (std::uint32_t decade = 1; decade <= TrendView::MaxSpan; decade *= 10) {
        for (const std::uint32_t m : Mantissas) {
            if (m * decade >= TrendView::MinSpan && m * decade <= TrendView::MaxSpan) {
                steps.push_back(m * decade);
            }
        }
    }
    steps.push_back(TrendView::MaxSpan);
    return steps;
}

QString secondsText(std::uint32_t ms) {
    if (ms % 1000 == 0) {
        return QStringLiteral("%1 s").arg(ms / 1000);
    }
    return QStringLiteral("%1 s").arg(static_cast<double>(ms) / 1000.0, 0, 'f',
                                      ms % 100 == 0 ? 1 : 3);
}

// The number a lane plots: a timer's or counter's without its bit.
std::uint32_t plotted(const TrendHistory::Channel& channel, std::uint32_t value) noexcept {
    return channel.hasQ() ? value & (TrendHistory::QBit - 1) : value;
}

QString valueText(const TrendHistory::Channel& channel, std::uint32_t value) {
    if (!channel.hasQ()) {
        return QString::number(value);
    }
    return QStringLiteral("%1 Q=%2")
        .arg(plotted(channel, value))
        .arg((value & TrendHistory::QBit) != 0 ? 1 : 0);
}

} // namespace

// The lanes and the time axis. It paints only the changes inside the span shown.
class TrendPlot final : public QWidget {
public:
    explicit TrendPlot(TrendView& v) : QWidget(&v), view(v) {
        setFocusPolicy(Qt::ClickFocus);
        setContextMenuPolicy(Qt::ActionsContextMenu);
        setCursor(Qt::OpenHandCursor);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    void fitLanes() {
        const int lanes = std::max<int>(1, static_cast<int>(view.history().channels().size()));
        setMinimumHeight(lanes * LaneHeight + AxisHeight);
    }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            dragX = event->position().x();
            dragEnd = view.viewEnd();
            setCursor(Qt::ClosedHandCursor);
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!dragX) {
            return;
        }
        const double moved = (event->position().x() - *dragX) * view.span() / plotWidth();
        const double end = static_cast<double>(dragEnd) - moved;
        view.scrollTo(static_cast<std::uint32_t>(std::max(0.0, end)));
    }
    void mouseReleaseEvent(QMouseEvent*) override {
        dragX.reset();
        setCursor(Qt::OpenHandCursor);
    }
    void wheelEvent(QWheelEvent* event) override {
        if ((event->modifiers() & Qt::ControlModifier) == 0 || event->angleDelta().y() == 0) {
            event->ignore();
            return;
        }
        if (event->angleDelta().y() > 0) {
            view.zoomIn();
        } else {
            view.zoomOut();
        }
        event->accept();
    }
    void keyPressEvent(QKeyEvent* event) override {
        const std::uint32_t step = std::max<std::uint32_t>(1, view.span() / 10);
        const std::uint32_t end = view.viewEnd();
        switch (event->key()) {
        case Qt::Key_Plus:
            view.zoomIn();
            break;
        case Qt::Key_Minus:
            view.zoomOut();
            break;
        case Qt::Key_Left:
            view.scrollTo(end > step ? end - step : 0);
            break;
        case Qt::Key_Right:
            view.scrollTo(end + step);
            break;
        case Qt::Key_Space:
            view.setPaused(!view.isPaused());
            break;
        case Qt::Key_End:
            view.setPaused(false);
            break;
        default:
            QWidget::keyPressEvent(event);
        }
    }

private:
    double plotWidth() const { return std::max(1, width() - LabelWidth - RightMargin); }
    void paintAxis(QPainter& p, std::uint32_t start, std::uint32_t end, int top);
    void paintLane(QPainter& p, const TrendHistory::Channel& channel, QRect lane,
                   std::uint32_t start, std::uint32_t end);

    TrendView& view;
    std::optional<double> dragX;
    std::uint32_t dragEnd = 0;
};

void TrendPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const std::uint32_t end = view.viewEnd();
    const std::uint32_t start = end > view.span() ? end - view.span() : 0;
    const auto& channels = view.history().channels();
    const int axisTop = height() - AxisHeight;
    paintAxis(p, start, end, axisTop);
    if (channels.empty()) {
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.drawText(rect().adjusted(8, 0, -8, -AxisHeight), Qt::AlignCenter | Qt::TextWordWrap,
                   QStringLiteral("Keine Operanden: Operanden in Variablen (F4) eintragen"));
        return;
    }
    const int laneHeight = std::max(LaneHeight, axisTop / static_cast<int>(channels.size()));
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const QRect lane(0, static_cast<int>(i) * laneHeight, width(), laneHeight);
        // Only the lanes in the scroll area's viewport are drawn.
        if (lane.intersects(p.clipBoundingRect().toAlignedRect()) || !p.hasClipping()) {
            paintLane(p, channels[i], lane, start, end);
        }
    }
}

void TrendPlot::paintAxis(QPainter& p, std::uint32_t start, std::uint32_t end, int top) {
    // A tick every 1, 2 or 5 times a power of ten, at least 90 pixels apart.
    const double perMs = plotWidth() / std::max<std::uint32_t>(1, end - start);
    std::uint32_t step = 1;
    for (std::uint32_t decade = 1; step * perMs < 90 && decade <= 100'000'000; decade *= 10) {
        for (const std::uint32_t m : Mantissas) {
            step = m * decade;
            if (step * perMs >= 90) {
                break;
            }
        }
    }
    p.setPen(palette().color(QPalette::Text));
    p.drawLine(LabelWidth, top, width() - RightMargin, top);
    // Counted in 64 bits: near the clock's end a step past it must not start again at 0.
    for (std::uint64_t t = (std::uint64_t{start} + step - 1) / step * step; t <= end; t += step) {
        const int x = LabelWidth + static_cast<int>(static_cast<double>(t - start) * perMs);
        p.setPen(Grid);
        p.drawLine(x, 0, x, top);
        p.setPen(palette().color(QPalette::Text));
        p.drawLine(x, top, x, top + 4);
        p.drawText(QRect(x - 45, top + 4, 90, AxisHeight - 4), Qt::AlignHCenter | Qt::AlignTop,
                   secondsText(static_cast<std::uint32_t>(t)));
    }
}

void TrendPlot::paintLane(QPainter& p, const TrendHistory::Channel& channel, QRect lane,
                          std::uint32_t start, std::uint32_t end) {
    p.setPen(Grid);
    p.drawLine(lane.bottomLeft(), lane.bottomRight());
    const auto& changes = channel.changes;
    auto it = channel.after(start);
    const auto last = channel.after(end);
    // The values shown: the one held at the start, then each change up to the end.
    std::vector<TrendHistory::Change> shown;
    if (it != changes.begin()) {
        shown.push_back({start, std::prev(it)->value});
    }
    for (; it != last; ++it) {
        shown.push_back(*it);
    }
    const std::optional<std::uint32_t> current = channel.valueAt(end);
    // Name and value beside the lane.
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(palette().color(QPalette::Text));
    const QRect label = lane.adjusted(6, 4, -(lane.width() - LabelWidth + 6), -4);
    p.drawText(label, Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(channel.name()));
    p.setFont(font());
    p.drawText(label, Qt::AlignLeft | Qt::AlignBottom,
               current ? valueText(channel, *current) : QStringLiteral("-"));
    if (shown.empty()) {
        return;
    }
    const double perMs = plotWidth() / std::max<std::uint32_t>(1, end - start);
    const std::uint32_t until = std::min(end, view.history().lastTime().value_or(end));
    const auto x = [&](std::uint32_t t) {
        return LabelWidth + static_cast<double>(std::max(t, start) - start) * perMs;
    };
    std::uint32_t low = 0;
    std::uint32_t high = 1;
    if (!channel.isBit()) {
        const auto [least, most] =
            std::minmax_element(shown.begin(), shown.end(), [&](const auto& a, const auto& b) {
                return plotted(channel, a.value) < plotted(channel, b.value);
            });
        low = plotted(channel, least->value);
        high = plotted(channel, most->value);
    }
    const double top = lane.top() + 6;
    const double bottom = lane.bottom() - 6;
    const auto y = [&](std::uint32_t value) {
        const std::uint32_t v = plotted(channel, value);
        if (high == low) {
            return (top + bottom) / 2;
        }
        return bottom - (bottom - top) * static_cast<double>(v - low) / (high - low);
    };
    QPainterPath path;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const double from = x(shown[i].time);
        const double to = x(i + 1 < shown.size() ? shown[i + 1].time : until);
        const double level = y(shown[i].value);
        if (channel.isBit() && shown[i].value != 0) {
            p.fillRect(QRectF(from, top, to - from, bottom - top), BitFill);
        } else if (channel.hasQ() && (shown[i].value & TrendHistory::QBit) != 0) {
            p.fillRect(QRectF(from, lane.top() + 1, to - from, lane.height() - 2), PresetReached);
        }
        if (i == 0) {
            path.moveTo(from, level);
        } else {
            path.lineTo(from, level);
        }
        path.lineTo(to, level);
    }
    p.setPen(QPen(Trace, 1.5));
    p.setRenderHint(QPainter::Antialiasing);
    p.drawPath(path);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (!channel.isBit()) {
        QFont small = font();
        small.setPointSizeF(small.pointSizeF() * 0.8);
        p.setFont(small);
        p.setPen(palette().color(QPalette::PlaceholderText));
        const QRect scale(LabelWidth + 2, lane.top() + 1, 100, lane.height() - 2);
        p.drawText(scale, Qt::AlignLeft | Qt::AlignTop, QString::number(high));
        p.drawText(scale, Qt::AlignLeft | Qt::AlignBottom, QString::number(low));
        p.setFont(font());
    }
}

TrendView::TrendView(Session& s, const WatchList& w, QWidget* parent)
    : QWidget(parent), session(s), watch(w), kept(s.cpu()), plot(new TrendPlot(*this)),
      scroll(new QScrollBar(Qt::Horizontal, this)), spanLabel(new QLabel(this)),
      pauseAction(new QAction(QStringLiteral("&Pause"), this)) {
    setObjectName(QStringLiteral("trendView"));
    auto* bar = new QToolBar(this);
    pauseAction->setCheckable(true);
    pauseAction->setToolTip(QStringLiteral("Anzeige anhalten (Leertaste); die Aufzeichnung läuft "
                                           "weiter"));
    connect(pauseAction, &QAction::toggled, this, [this](bool on) { setPaused(on); });
    bar->addAction(pauseAction);
    QAction* in = bar->addAction(QStringLiteral("Zoom +"), this, &TrendView::zoomIn);
    in->setToolTip(QStringLiteral("Kürzere Zeitspanne (+, Strg+Mausrad)"));
    QAction* out = bar->addAction(QStringLiteral("Zoom -"), this, &TrendView::zoomOut);
    out->setToolTip(QStringLiteral("Längere Zeitspanne (-, Strg+Mausrad)"));
    bar->addWidget(spanLabel);
    bar->addSeparator();
    QAction* save =
        bar->addAction(QStringLiteral("Als VCD speichern..."), this, &TrendView::saveAsked);
    plot->addAction(save);
    auto* area = new QScrollArea(this);
    area->setWidget(plot);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    connect(scroll, &QScrollBar::valueChanged, this, [this](int value) {
        if (!syncing) {
            scrollTo(kept.firstTime().value_or(0) + static_cast<std::uint32_t>(value));
        }
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(area, 1);
    layout->addWidget(scroll);
    session.addListener(*this);
    refresh();
}

TrendView::~TrendView() {
    session.removeListener(*this);
}

void TrendView::scanned(std::uint32_t now, const std::optional<CPUException>&) {
    if (sampling) {
        kept.sample(now);
    }
}

void TrendView::refresh() {
    if (std::vector<std::string> texts = watch.operandTexts(); texts != followedTexts) {
        kept.follow(texts);
        followedTexts = std::move(texts);
        plot->fitLanes();
    }
    spanLabel->setText(QStringLiteral(" %1 ").arg(secondsText(shownSpan)));
    syncScrollBar();
    plot->update();
}

std::uint32_t TrendView::viewEnd() const noexcept {
    return paused ? pausedEnd : kept.lastTime().value_or(0);
}

void TrendView::setPaused(bool on) {
    if (on && !paused) {
        pausedEnd = viewEnd();
    }
    paused = on;
    if (pauseAction->isChecked() != on) {
        pauseAction->setChecked(on);
    }
    refresh();
}

void TrendView::scrollTo(std::uint32_t end) {
    const std::uint32_t first = kept.firstTime().value_or(0);
    const std::uint32_t last = kept.lastTime().value_or(0);
    setPaused(true);
    pausedEnd = std::clamp(end, std::min(last, first + shownSpan), last);
    refresh();
}

void TrendView::zoomTo(std::uint32_t newSpan) {
    if (paused) {
        // Paused, the zoom keeps the middle of the view where it is.
        const std::uint32_t middle = pausedEnd - std::min(pausedEnd, shownSpan / 2);
        pausedEnd = std::min(middle + newSpan / 2, kept.lastTime().value_or(0));
    }
    shownSpan = newSpan;
    refresh();
}

void TrendView::zoomIn() {
    const auto steps = zoomSteps();
    const auto shorter = std::lower_bound(steps.begin(), steps.end(), shownSpan);
    zoomTo(shorter == steps.begin() ? steps.front() : *std::prev(shorter));
}

void TrendView::zoomOut() {
    const auto steps = zoomSteps();
    const auto longer = std::upper_bound(steps.begin(), steps.end(), shownSpan);
    zoomTo(longer == steps.end() ? steps.back() : *longer);
}

void TrendView::syncScrollBar() {
    const std::uint32_t first = kept.firstTime().value_or(0);
    const std::uint32_t kept_ = kept.lastTime().value_or(0) - first;
    syncing = true;
    // The bar's position is the view's right edge, counted from the oldest time kept.
    scroll->setRange(static_cast<int>(std::min(kept_, shownSpan)), static_cast<int>(kept_));
    scroll->setPageStep(static_cast<int>(shownSpan));
    scroll->setSingleStep(static_cast<int>(std::max<std::uint32_t>(1, shownSpan / 10)));
    scroll->setValue(static_cast<int>(viewEnd() - std::min(viewEnd(), first)));
    syncing = false;
}

QString TrendView::saveTo(const QString& path, const QString& program) const {
    const std::string target = QFile::encodeName(path).toStdString();
    if (const std::string input = QFile::encodeName(program).toStdString();
        !input.empty() && inputAt(target, std::span(&input, 1))) {
        return QStringLiteral("The waveform cannot replace the program %1; choose another file")
            .arg(path);
    }
    ReplacingFile file(target);
    if (file.isOpen()) {
        kept.writeVcd(file.stream());
    }
    if (!file.isOpen() || !file.commit()) {
        return QStringLiteral("File %1 could not be written").arg(path);
    }
    return {};
}

void TrendView::setSaveHandlers(SaveDialog dialog, ErrorReport report,
                                std::function<QString()> program) {
    saveDialog = std::move(dialog);
    errorReport = std::move(report);
    programFile = std::move(program);
}

void TrendView::saveAsked() {
    if (!saveDialog) {
        return;
    }
    if (const auto path = saveDialog(this)) {
        const QString error = saveTo(*path, programFile ? programFile() : QString());
        if (!error.isEmpty() && errorReport) {
            errorReport(error);
        }
    }
}

} // namespace kvx
