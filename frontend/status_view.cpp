#include "frontend/status_view.h"

#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/cpu.h"
#include "core/program.h"
#include "core/status.h"

namespace kvx {

namespace {

const QColor On(220, 30, 30);
const QColor Off(90, 90, 90);
const QColor Grayed(150, 150, 150);
const QColor FaultBackground(255, 215, 215);

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

// A round marker in the LEDs' colour for 1, dark for 0.
QIcon marker(bool on) {
    static const QIcon icons[2] = {roundMarker(Off), roundMarker(On)};
    return icons[on ? 1 : 0];
}

QString operandText(const OperandStatus& operand) {
    if (!operand.present) {
        return {};
    }
    if (operand.unreadable) {
        return QStringLiteral("?");
    }
    QString text;
    if (operand.value) {
        text = QString::number(*operand.value);
    }
    if (operand.bit) {
        text = text.isEmpty() ? QString::number(*operand.bit)
                              : text + QStringLiteral(" Q=") + QString::number(*operand.bit);
    }
    return text;
}

QTableWidgetItem* cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

ProgramStatusView::ProgramStatusView(QWidget* parent)
    : QWidget(parent, Qt::Window), rows(new QTableWidget(0, 5, this)),
      faultLabel(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Programmstatus - KVX-Simulator"));
    setObjectName(QStringLiteral("programStatus"));
    rows->setObjectName(QStringLiteral("statusTable"));
    rows->setHorizontalHeaderLabels({QStringLiteral("Zeile"), QStringLiteral("Anweisung"),
                                     QStringLiteral("VKE"), QStringLiteral("Operand 1"),
                                     QStringLiteral("Operand 2")});
    rows->verticalHeader()->hide();
    rows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rows->setSelectionBehavior(QAbstractItemView::SelectRows);
    rows->horizontalHeader()->setSectionResizeMode(InstructionColumn, QHeaderView::Stretch);
    rows->setFont(QFont(QStringLiteral("monospace")));
    // One listing line per row, as the listing prints it.
    rows->setWordWrap(false);
    rows->verticalHeader()->setDefaultSectionSize(rows->fontMetrics().height() + 6);
    rows->setColumnWidth(ResultColumn, 60);
    rows->setColumnWidth(FirstOperand, 110);
    rows->setColumnWidth(SecondOperand, 110);
    faultLabel->setObjectName(QStringLiteral("faultLabel"));
    faultLabel->setStyleSheet(QStringLiteral("color: rgb(170, 0, 0)"));
    faultLabel->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rows);
    layout->addWidget(faultLabel);
    resize(680, 560);
}

void ProgramStatusView::setProgram(const CPU& cpu) {
    const std::vector<ListingRow> listing = listingRows(cpu);
    rows->setRowCount(0);
    rows->setRowCount(static_cast<int>(listing.size()));
    nodes.assign(listing.size(), nullptr);
    for (std::size_t i = 0; i < listing.size(); ++i) {
        const int row = static_cast<int>(i);
        const ListingRow& entry = listing[i];
        nodes[i] = entry.node;
        const bool hasLine = entry.node != nullptr && entry.node->Line > 0;
        rows->setItem(row, LineColumn,
                      cell(hasLine ? QString::number(entry.node->Line) : QString()));
        rows->setItem(row, InstructionColumn, cell(QString::fromStdString(entry.text)));
        for (int column : {ResultColumn, FirstOperand, SecondOperand}) {
            rows->setItem(row, column, cell(QString()));
        }
    }
    rows->resizeColumnToContents(LineColumn);
    markFault(std::nullopt, QString());
}

void ProgramStatusView::showScan(const StatusCapture& capture) {
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i] == nullptr || !nodes[i]->Op) {
            continue;
        }
        const int row = static_cast<int>(i);
        const StepStatus step = capture.of(*nodes[i]);
        QTableWidgetItem* result = rows->item(row, ResultColumn);
        const bool ran = step.state == StepState::Executed || step.state == StepState::Faulted;
        result->setText(ran ? QString::number(step.top) : QStringLiteral("-"));
        result->setIcon(ran ? marker(step.top != 0) : QIcon());
        result->setToolTip(step.state == StepState::Skipped ? QStringLiteral("Schritt inaktiv")
                           : ran                            ? QString()
                                                            : QStringLiteral("nicht bearbeitet"));
        rows->item(row, FirstOperand)->setText(ran ? operandText(step.operands[0]) : QString());
        rows->item(row, SecondOperand)->setText(ran ? operandText(step.operands[1]) : QString());
        const QColor text = ran ? palette().color(QPalette::Text) : Grayed;
        for (int column = 0; column < rows->columnCount(); ++column) {
            QTableWidgetItem* item = rows->item(row, column);
            item->setForeground(text);
            QFont font = item->font();
            font.setItalic(step.state == StepState::NotRun);
            item->setFont(font);
        }
    }
}

void ProgramStatusView::markFault(std::optional<int> line, const QString& text) {
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const bool faulted = line && nodes[i] != nullptr && nodes[i]->Line == *line;
        for (int column = 0; column < rows->columnCount(); ++column) {
            if (QTableWidgetItem* item = rows->item(static_cast<int>(i), column)) {
                item->setBackground(faulted ? QBrush(FaultBackground) : QBrush());
            }
        }
        if (faulted) {
            rows->scrollToItem(rows->item(static_cast<int>(i), 0));
        }
    }
    faultLabel->setText(text);
    faultLabel->setVisible(line.has_value());
}

} // namespace kvx
