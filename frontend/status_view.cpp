#include "frontend/status_view.h"

#include <algorithm>

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

#include "frontend/status_model.h"
#include "session/text.h"

namespace kvx {

namespace {
// Line numbers up to this many digits fit their column.
constexpr int LineDigits = 7;
// Rows captured when the view cannot tell how many it shows (not laid out yet).
constexpr int UnknownPage = 100;
} // namespace

ProgramStatusView::ProgramStatusView(QWidget* parent)
    : QWidget(parent, Qt::Window), status(new StatusModel(this)), rows(new QTableView(this)),
      faultLabel(new QLabel(this)), haltLabel(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Programmstatus - KVX-Simulator"));
    setObjectName(QStringLiteral("programStatus"));
    rows->setObjectName(QStringLiteral("statusTable"));
    rows->setModel(status);
    rows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rows->setSelectionBehavior(QAbstractItemView::SelectRows);
    rows->setFont(QFont(QStringLiteral("monospace")));
    // A narrow dock scrolls sideways instead of squeezing the instructions to a few letters.
    rows->horizontalHeader()->setStretchLastSection(true);
    rows->setColumnWidth(StatusModel::InstructionColumn,
                         rows->fontMetrics().horizontalAdvance(QString(22, QLatin1Char('0'))));
    // One listing line per row, as the listing prints it.
    rows->setWordWrap(false);
    renewRowHeader();
    const int lineWidth =
        rows->fontMetrics().horizontalAdvance(QString(LineDigits, QLatin1Char('0'))) + 16;
    rows->setColumnWidth(
        StatusModel::LineColumn,
        std::max(lineWidth, rows->horizontalHeader()->sectionSizeHint(StatusModel::LineColumn)));
    rows->setColumnWidth(StatusModel::GutterColumn, 22);
    rows->setColumnWidth(StatusModel::ResultColumn, 60);
    // Eight entries and a depth of up to three digits, "10110010 (151)".
    rows->setColumnWidth(StatusModel::StackColumn,
                         rows->fontMetrics().horizontalAdvance(QString(14, QLatin1Char('0'))) + 16);
    // Wide enough for a timer without a preset, "0 Q=1 (Sollwert 0)".
    rows->setColumnWidth(
        StatusModel::FirstOperand,
        std::max(110, rows->fontMetrics().horizontalAdvance(QString(18, QLatin1Char('0'))) + 16));
    rows->setColumnWidth(StatusModel::SecondOperand, 110);
    faultLabel->setObjectName(QStringLiteral("faultLabel"));
    faultLabel->setStyleSheet(QStringLiteral("color: rgb(170, 0, 0)"));
    faultLabel->hide();
    haltLabel->setObjectName(QStringLiteral("haltLabel"));
    haltLabel->setWordWrap(true);
    haltLabel->hide();
    connect(rows, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (index.column() == StatusModel::GutterColumn) {
            emit gutterClicked(status->lineOfRow(index.row()));
        }
    });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rows);
    layout->addWidget(haltLabel);
    layout->addWidget(faultLabel);
    resize(680, 560);
}

// Rows of one height need no measuring, however many there are. The header keeps a few bytes
// for every row it ever had, so each program gets a new one: a small program after a large one
// gives the memory back.
void ProgramStatusView::renewRowHeader() {
    auto* header = new QHeaderView(Qt::Vertical, rows);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setDefaultSectionSize(rows->fontMetrics().height() + 6);
    header->hide();
    rows->setVerticalHeader(header);
}

void ProgramStatusView::setProgram(const CPU& cpu) {
    status->setProgram(cpu);
    renewRowHeader();
    faultRow = -1;
    faultLabel->clear();
    faultLabel->hide();
    haltLabel->hide();
}

void ProgramStatusView::setForceMarks(const ForceTable* forces) noexcept {
    status->setForceMarks(forces);
}

void ProgramStatusView::setBreakpoints(const std::vector<Breakpoint>& all) {
    status->setBreakpoints(all);
}

void ProgramStatusView::showHalted(const StatusCapture& soFar, std::optional<int> line) {
    const int row = status->showHalted(soFar, line);
    haltLabel->setVisible(line.has_value());
    if (line) {
        haltLabel->setText(QString::fromStdString(haltedText(*line)) +
                           QStringLiteral(" (blau, die nächste Anweisung). Grau und kursiv: in "
                                          "diesem Zyklus noch nicht erreicht."));
        // Step by step the view moves only when the next row leaves it.
        scrollToRow(row, QAbstractItemView::EnsureVisible);
    }
}

std::optional<int> ProgramStatusView::currentLine() const {
    return hasCurrentRow() ? status->lineOfRow(rows->currentIndex().row()) : std::nullopt;
}

bool ProgramStatusView::hasCurrentRow() const {
    return rows->currentIndex().isValid();
}

ScanObserver* ProgramStatusView::observer() {
    const int first = rows->rowAt(0);
    const int last = rows->rowAt(rows->viewport()->height() - 1);
    const int top = std::max(first, 0);
    const int bottom = last < 0 ? std::min(status->rowCount() - 1, top + UnknownPage) : last;
    const int page = bottom - top + 1;
    return status->captureRows(top - page, bottom + page);
}

void ProgramStatusView::showScan() {
    status->showCapture();
    haltLabel->hide();
}

void ProgramStatusView::markFault(std::optional<int> line, const QString& text, const CPU& cpu) {
    faultRow = status->markFault(line, cpu);
    faultLabel->setText(text);
    faultLabel->setVisible(line.has_value());
    scrollToFault();
}

void ProgramStatusView::forcesChanged() {
    status->repaintAll();
}

// A view opened after the fault, or not laid out yet when it came, finds the row on showing.
void ProgramStatusView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    scrollToFault();
}

void ProgramStatusView::scrollToFault() {
    scrollToRow(faultRow, QAbstractItemView::PositionAtCenter);
}

void ProgramStatusView::scrollToRow(int row, QAbstractItemView::ScrollHint hint) {
    if (row >= 0) {
        // A program loaded just now is laid out only when the event loop comes round; the
        // scroll bars would not yet reach the row.
        rows->doItemsLayout();
        rows->scrollTo(status->index(row, StatusModel::LineColumn), hint);
    }
}

} // namespace kvx
