#include "frontend/status_model.h"

#include <algorithm>
#include <vector>

#include <QFont>
#include <QPainter>
#include <QPixmap>

#include "core/cpu.h"
#include "core/forcing.h"
#include "core/program.h"
#include "frontend/forced_colour.h"

namespace kvx {

namespace {

const QColor On(220, 30, 30);
const QColor Off(90, 90, 90);
const QColor Grayed(150, 150, 150);
const QColor FaultBackground(255, 215, 215);
const QColor HaltedBackground(200, 225, 255);
const QColor StopRed(210, 20, 20);

QIcon roundMarker(const QColor& fill) {
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(fill);
    p.setPen(Qt::black);
    p.drawEllipse(1, 1, 10, 10);
    return QIcon(pixmap);
}

// A breakpoint's dot; a conditional one carries a "?".
QIcon stopMarker(bool conditional) {
    QPixmap pixmap(14, 14);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(StopRed);
    p.setPen(QColor(120, 0, 0));
    p.drawEllipse(1, 1, 12, 12);
    if (conditional) {
        QFont font = p.font();
        font.setPixelSize(11);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
    }
    return QIcon(pixmap);
}

bool ran(const StepStatus& step) noexcept {
    return step.state == StepState::Executed || step.state == StepState::Faulted;
}

} // namespace

StatusModel::StatusModel(QObject* parent)
    : QAbstractTableModel(parent), markers{roundMarker(Off), roundMarker(On)},
      stopMarks{stopMarker(false), stopMarker(true)} {}

void StatusModel::setProgram(const CPU& cpu) {
    beginResetModel();
    // The old listing goes first: two of a large program's at once would double the peak.
    listing = Listing();
    listing = Listing(cpu);
    capture.restrictTo({});
    capturedLast = shownLast = -1;
    faultRow = -1;
    faultStep.reset();
    haltedScan = nullptr;
    haltRow = -1;
    endResetModel();
}

ScanObserver* StatusModel::captureRows(int first, int last) {
    capturedFirst = std::max(first, 0);
    capturedLast = std::min(last, rowCount() - 1);
    std::vector<const OpList*> nodes;
    for (int row = capturedFirst; row <= capturedLast; ++row) {
        nodes.push_back(listing.node(static_cast<std::size_t>(row)));
    }
    capture.restrictTo(nodes);
    shownLast = -1;
    return &capture;
}

void StatusModel::showCapture() {
    shownFirst = capturedFirst;
    shownLast = capturedLast;
    faultStep.reset();
    haltedScan = nullptr;
    haltRow = -1;
    repaintAll();
}

int StatusModel::showHalted(const StatusCapture& soFar, std::optional<int> line) {
    haltedScan = &soFar;
    haltRow = line ? rowOfLine(*line) : -1;
    faultStep.reset();
    repaintAll();
    return haltRow;
}

void StatusModel::setBreakpoints(const std::vector<Breakpoint>& all) {
    stops.clear();
    for (const Breakpoint& stop : all) {
        stops.emplace(stop.line, QString::fromStdString(stop.condition));
    }
    if (rowCount() > 0) {
        emit dataChanged(index(0, GutterColumn), index(rowCount() - 1, GutterColumn));
    }
}

int StatusModel::markFault(std::optional<int> line, const CPU& cpu) {
    const int previous = faultRow;
    faultRow = line ? rowOfLine(*line) : -1;
    faultStep.reset();
    if (faultRow >= 0) {
        faultStep = StepStatus::of(*listing.node(static_cast<std::size_t>(faultRow)), cpu,
                                   StepState::Faulted);
    }
    for (int row : {previous, faultRow}) {
        if (row >= 0) {
            emit dataChanged(index(row, 0), index(row, Columns - 1));
        }
    }
    return faultRow;
}

void StatusModel::repaintAll() {
    if (rowCount() > 0) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, Columns - 1));
    }
}

int StatusModel::rowOfLine(int line) const noexcept {
    for (std::size_t row = 0; row < listing.size(); ++row) {
        const OpList* node = listing.node(row);
        if (node != nullptr && node->Op && node->Line == line) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

std::optional<int> StatusModel::lineOfRow(int row) const noexcept {
    if (row < 0 || row >= rowCount()) {
        return std::nullopt;
    }
    const OpList* node = listing.node(static_cast<std::size_t>(row));
    if (node == nullptr || !node->Op || node->Line <= 0) {
        return std::nullopt;
    }
    return node->Line;
}

int StatusModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(listing.size());
}

int StatusModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant StatusModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const Titles[Columns] = {"",      "Zeile",     "Anweisung", "VKE",
                                                "Stack", "Operand 1", "Operand 2"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= Columns) {
        return {};
    }
    return QString::fromUtf8(Titles[section]);
}

std::optional<StepStatus> StatusModel::stepAt(int row) const {
    const OpList* node = listing.node(static_cast<std::size_t>(row));
    if (node == nullptr || !node->Op) {
        return std::nullopt;
    }
    if (row == faultRow && faultStep) {
        return faultStep;
    }
    if (haltedScan != nullptr) {
        return haltedScan->of(*node);
    }
    if (row < shownFirst || row > shownLast) {
        return std::nullopt;
    }
    return capture.of(*node);
}

QVariant StatusModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= Columns) {
        return {};
    }
    const int row = index.row();
    const int column = index.column();
    if (role == Qt::BackgroundRole) {
        if (isForced(row, column)) {
            return forcedBackground();
        }
        return row == faultRow  ? QVariant(FaultBackground)
               : row == haltRow ? QVariant(HaltedBackground)
                                : QVariant();
    }
    if (role == Qt::DisplayRole && column == LineColumn) {
        const OpList* node = listing.node(static_cast<std::size_t>(row));
        return node != nullptr && node->Line > 0 ? QString::number(node->Line) : QString();
    }
    if (column == GutterColumn) {
        return gutterData(row, role);
    }
    if (role == Qt::DisplayRole && column == InstructionColumn) {
        return QString::fromStdString(listing.text(static_cast<std::size_t>(row)));
    }
    return cellData(row, column, role);
}

// What depends on the captured step: texts of the result and the operands, the marker, the
// grey and italic of an instruction that did not run, and the tooltips that say why.
QVariant StatusModel::cellData(int row, int column, int role) const {
    const std::optional<StepStatus> step = stepAt(row);
    if (!step) {
        return {};
    }
    const bool didRun = ran(*step);
    if (row == haltRow) {
        // The next instruction has not run either, but it is the one to look at.
        if (role == Qt::FontRole) {
            QFont font;
            font.setBold(true);
            return font;
        }
        if (role == Qt::ToolTipRole) {
            return notRunTip(row);
        }
        return {};
    }
    switch (role) {
    case Qt::ForegroundRole:
        return didRun ? QVariant() : QVariant(Grayed);
    case Qt::FontRole:
        if (step->state == StepState::NotRun) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    default:
        break;
    }
    if (column == ResultColumn) {
        switch (role) {
        case Qt::DisplayRole:
            return didRun ? QString::number(step->top) : QStringLiteral("-");
        case Qt::DecorationRole:
            return didRun ? QVariant(markers[step->top != 0 ? 1 : 0]) : QVariant();
        case Qt::ToolTipRole:
            return step->state == StepState::Skipped ? QStringLiteral("Schritt inaktiv")
                   : didRun                          ? QVariant()
                                                     : notRunTip(row);
        default:
            return {};
        }
    }
    if (column == StackColumn && didRun) {
        switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(step->stack.text());
        case Qt::ToolTipRole:
            return QStringLiteral("Logikstapel nach der Anweisung, der oberste Eintrag (VKE) "
                                  "links; bei mehr als 8 Einträgen die Tiefe in Klammern");
        default:
            return {};
        }
    }
    if ((column == FirstOperand || column == SecondOperand) && didRun) {
        return operandData(*step, row, column, role);
    }
    return {};
}

QVariant StatusModel::notRunTip(int row) const {
    if (row == haltRow) {
        return QStringLiteral("Angehalten: diese Anweisung kommt als nächste");
    }
    return haltRow >= 0 ? QStringLiteral("in diesem Zyklus noch nicht erreicht")
                        : QStringLiteral("nicht bearbeitet");
}

QVariant StatusModel::gutterData(int row, int role) const {
    const std::optional<int> line = lineOfRow(row);
    const auto stop = line ? stops.find(*line) : stops.end();
    if (stop == stops.end()) {
        return role == Qt::ToolTipRole && line
                   ? QVariant(QStringLiteral("Klick oder F8: Haltepunkt setzen"))
                   : QVariant();
    }
    switch (role) {
    case Qt::DecorationRole:
        return stopMarks[stop->second.isEmpty() ? 0 : 1];
    case Qt::ToolTipRole:
        return stop->second.isEmpty()
                   ? QStringLiteral("Haltepunkt")
                   : QStringLiteral("Haltepunkt, hält nur wenn %1").arg(stop->second);
    default:
        return {};
    }
}

QVariant StatusModel::operandData(const StepStatus& step, int row, int column, int role) const {
    const OperandStatus& operand = step.operands[column == FirstOperand ? 0 : 1];
    if (role == Qt::DisplayRole) {
        return QString::fromStdString(operand.text());
    }
    if (role != Qt::ToolTipRole) {
        return {};
    }
    QStringList tips;
    if (isForced(row, column)) {
        tips << QStringLiteral("Forciert");
    }
    if (operand.presetZero()) {
        tips << QStringLiteral("Sollwert 0: der Wert hat den Sollwert erreicht, daher ist "
                               "das Bit 1. So steht jeder Timer und Zähler, dem keine "
                               "Anweisung einen Sollwert gibt.");
    }
    return tips.isEmpty() ? QVariant() : QVariant(tips.join(QLatin1Char('\n')));
}

bool StatusModel::isForced(int row, int column) const noexcept {
    if (forces == nullptr || forces->empty() ||
        (column != FirstOperand && column != SecondOperand)) {
        return false;
    }
    const OpList* node = listing.node(static_cast<std::size_t>(row));
    if (node == nullptr || !node->Op) {
        return false;
    }
    const Parameter* operand = column == FirstOperand ? node->Op->getP1() : node->Op->getP2();
    return operand != nullptr && forces->touches(*operand);
}

} // namespace kvx
