#include "frontend/panel.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "core/forcing.h"
#include "session/myio.h"

namespace kvx {

namespace {

const QColor Background(160, 160, 164);
const QColor LabelBackground(170, 170, 170);

constexpr int ColumnLeft = 10;
constexpr int ColumnPitch = 70;
constexpr int ImageSize = 62;
constexpr int SourceSize = 31;
constexpr int LeftLabelX = 20;
constexpr int RightLabelX = 520;

constexpr int BandTop = 160;
constexpr int BandBottom = 222;
constexpr int BandLeft = 10;
constexpr int BandRight = 569;

// One row of the panel. The source image of a column depends on its state: the LEDs show
// the lit image for 1, the switches the lever-down image for 1.
struct Row {
    const char* leftLabel;
    const char* rightLabel;
    int labelY;
    int imageY;
    int sourceY;
    std::array<int, 2> sourceX; // by state 0, 1
};

constexpr Row LedRow{"Led7", "Led0", 10, 50, 0, {32, 0}};
constexpr Row SwitchRow{"Swt7", "Swt0", 120, 160, 33, {0, 32}};

void drawLabel(QPainter& p, int x, int y, const QString& text) {
    const QFontMetrics metrics = p.fontMetrics();
    const QRect box(QPoint(x, y), QSize(metrics.horizontalAdvance(text), metrics.height()));
    p.fillRect(box, LabelBackground);
    p.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

// Column 0 at the left shows bit 7, column 7 at the right bit 0.
void drawRow(QPainter& p, const QPixmap& part, const Row& row,
             const std::array<int, MyIO::Size>& states) {
    drawLabel(p, LeftLabelX, row.labelY, QString::fromLatin1(row.leftLabel));
    drawLabel(p, RightLabelX, row.labelY, QString::fromLatin1(row.rightLabel));
    for (int column = 0; column < MyIO::Size; ++column) {
        const int state = states[static_cast<std::size_t>(MyIO::Size - 1 - column)] != 0 ? 1 : 0;
        const QRect target(ColumnLeft + ColumnPitch * column, row.imageY, ImageSize, ImageSize);
        const QRect source(row.sourceX[static_cast<std::size_t>(state)], row.sourceY, SourceSize,
                           SourceSize);
        p.drawPixmap(target, part, source);
    }
}

const QColor ForcedOutline(255, 200, 0);

// A forced LED or switch is framed, so the user sees that the program or the switch does not
// decide it.
void drawForceMarks(QPainter& p, const Row& row, const ForceTable& forces, bool output) {
    QPen pen(ForcedOutline);
    pen.setWidth(3);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    for (int column = 0; column < MyIO::Size; ++column) {
        if (forces.coversPanelBit(output, MyIO::Size - 1 - column)) {
            p.drawRect(ColumnLeft + ColumnPitch * column - 2, row.imageY - 2, ImageSize + 3,
                       ImageSize + 3);
        }
    }
}

// The hint: a light card with a dark frame, its first line bold.
const QColor HintBackground(250, 250, 246);
const QColor HintFrame(90, 90, 96);
constexpr int HintPadding = 14;

void drawHint(QPainter& p, const QRect& area, const QString& text) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    QFont bold = p.font();
    bold.setBold(true);
    const QFont plain = p.font();
    const QFontMetrics plainMetrics(plain);
    const QFontMetrics boldMetrics(bold);
    int width = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        width = std::max(width, (i == 0 ? boldMetrics : plainMetrics).horizontalAdvance(lines[i]));
    }
    const int lineHeight = std::max(plainMetrics.height(), boldMetrics.height());
    const QSize size(width + 2 * HintPadding,
                     lineHeight * static_cast<int>(lines.size()) + 2 * HintPadding);
    QRect card(QPoint(), size);
    card.moveCenter(area.center());
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(HintFrame);
    p.setBrush(HintBackground);
    p.drawRoundedRect(QRectF(card).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    int y = card.top() + HintPadding;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        p.setFont(i == 0 ? bold : plain);
        p.drawText(QRect(card.left(), y, card.width(), lineHeight), Qt::AlignCenter, lines[i]);
        y += lineHeight;
    }
    p.restore();
}

QString stateName(int state) {
    return state != 0 ? QStringLiteral("an") : QStringLiteral("aus");
}

} // namespace

PanelWidget::PanelWidget(MyIO& panelIO, QWidget* parent)
    : QWidget(parent), io(panelIO), part(QStringLiteral(":/kvxpart.png")) {
    resize(Width, Height);
    setMinimumSize(Width / 2, Height / 2);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

std::optional<int> PanelWidget::switchAt(QPoint pos) noexcept {
    if (pos.y() < BandTop || pos.y() > BandBottom || pos.x() < BandLeft || pos.x() > BandRight) {
        return std::nullopt;
    }
    return MyIO::Size - 1 - (pos.x() - ColumnLeft) / ColumnPitch;
}

std::optional<int> PanelWidget::ledAt(QPoint pos) noexcept {
    const int top = LedRow.imageY;
    if (pos.y() < top || pos.y() >= top + ImageSize || pos.x() < BandLeft || pos.x() > BandRight) {
        return std::nullopt;
    }
    return MyIO::Size - 1 - (pos.x() - ColumnLeft) / ColumnPitch;
}

QTransform PanelWidget::placement() const {
    const double scale =
        std::min(static_cast<double>(width()) / Width, static_cast<double>(height()) / Height);
    // Whole pixels, so the panel at its own size lands on the pixel grid.
    const double dx = std::floor((width() - Width * scale) / 2);
    const double dy = std::floor((height() - Height * scale) / 2);
    return QTransform(scale, 0, 0, scale, dx, dy);
}

QPoint PanelWidget::panelPoint(QPointF pos) const {
    // Sub-pixel positions belong to the pixel they fall in.
    const QPointF at = placement().inverted().map(pos);
    return {static_cast<int>(std::floor(at.x())), static_cast<int>(std::floor(at.y()))};
}

QString PanelWidget::toolTipAt(QPoint widgetPos) const {
    const QPoint pos = panelPoint(widgetPos);
    if (const auto led = ledAt(pos)) {
        return QStringLiteral("LED A0.%1: %2")
            .arg(*led)
            .arg(stateName(io.OutState[static_cast<std::size_t>(*led)]));
    }
    if (const auto no = switchAt(pos)) {
        return QStringLiteral("Schalter E0.%1: %2")
            .arg(*no)
            .arg(stateName(io.InState[static_cast<std::size_t>(*no)]));
    }
    return {};
}

void PanelWidget::setHint(const QString& text) {
    if (text != hintText) {
        hintText = text;
        update();
    }
}

bool PanelWidget::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        const QPoint pos = panelPoint(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            // The tip goes when the pointer leaves the column it names.
            const int column = (pos.x() - ColumnLeft) / ColumnPitch;
            const QRect item = ledAt(pos) ? QRect(ColumnLeft + ColumnPitch * column, LedRow.imageY,
                                                  ColumnPitch, ImageSize)
                                          : QRect(ColumnLeft + ColumnPitch * column, BandTop,
                                                  ColumnPitch, BandBottom - BandTop + 1);
            QToolTip::showText(help->globalPos(), text, this, placement().mapRect(item));
        }
        return true;
    }
    return QWidget::event(event);
}

void PanelWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Background);
    const QTransform scaled = placement();
    if (scaled.m11() != 1.0) {
        p.setRenderHints(QPainter::SmoothPixmapTransform | QPainter::Antialiasing |
                         QPainter::TextAntialiasing);
    }
    p.setTransform(scaled);
    p.setPen(Qt::black);
    drawRow(p, part, LedRow, io.OutState);
    drawRow(p, part, SwitchRow, io.InState);
    if (forced != nullptr && !forced->empty()) {
        drawForceMarks(p, LedRow, *forced, true);
        drawForceMarks(p, SwitchRow, *forced, false);
    }
    if (!hintText.isEmpty()) {
        p.resetTransform();
        drawHint(p, rect(), hintText);
    }
}

std::optional<int> PanelWidget::switchForKey(const QKeyEvent& key) noexcept {
    const QString text = key.text();
    if (text.size() == 1 && text[0] >= u'0' && text[0] <= u'7') {
        return text[0].unicode() - u'0';
    }
    return std::nullopt;
}

void PanelWidget::keyPressEvent(QKeyEvent* event) {
    if (const auto no = switchForKey(*event)) {
        toggle(*no);
        return;
    }
    event->ignore();
}

void PanelWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (const auto no = switchAt(panelPoint(event->position()))) {
        toggle(*no);
    }
}

void PanelWidget::toggle(int no) {
    io.ChangeInput(no);
    update();
    if (no >= 0 && no < MyIO::Size) {
        emit switchFlipped(no, io.InState[static_cast<std::size_t>(no)]);
    }
}

} // namespace kvx
