#include "frontend/panel.h"

#include <array>
#include <cmath>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

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

} // namespace

PanelWidget::PanelWidget(MyIO& panelIO, QWidget* parent)
    : QWidget(parent), io(panelIO), part(QStringLiteral(":/kvxpart.png")) {
    setFixedSize(Width, Height);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

std::optional<int> PanelWidget::switchAt(QPoint pos) noexcept {
    if (pos.y() < BandTop || pos.y() > BandBottom || pos.x() < BandLeft || pos.x() > BandRight) {
        return std::nullopt;
    }
    return MyIO::Size - 1 - (pos.x() - ColumnLeft) / ColumnPitch;
}

void PanelWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Background);
    p.setPen(Qt::black);
    drawRow(p, part, LedRow, io.OutState);
    drawRow(p, part, SwitchRow, io.InState);
    if (forced != nullptr && !forced->empty()) {
        drawForceMarks(p, LedRow, *forced, true);
        drawForceMarks(p, SwitchRow, *forced, false);
    }
}

void PanelWidget::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text.size() == 1 && text[0] >= u'0' && text[0] <= u'7') {
        toggle(text[0].unicode() - u'0');
        return;
    }
    event->ignore();
}

void PanelWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    // Sub-pixel positions belong to the pixel they fall in.
    const QPointF at = event->position();
    const QPoint pixel(static_cast<int>(std::floor(at.x())), static_cast<int>(std::floor(at.y())));
    if (const auto no = switchAt(pixel)) {
        toggle(*no);
    }
}

void PanelWidget::toggle(int no) {
    io.ChangeInput(no);
    update();
}

} // namespace kvx
