#include "frontend/watch_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "frontend/forced_colour.h"

namespace kvx {

namespace {

struct FormatChoice {
    const char* text;
    WatchFormat format;
};

constexpr FormatChoice Formats[] = {
    {"Dezimal", WatchFormat::Decimal},
    {"Binär", WatchFormat::Binary},
    {"Hex", WatchFormat::Hex},
};

const QColor MessageColour(170, 0, 0);

QTableWidgetItem* fixedCell() {
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

WatchView::WatchView(Session& session, QWidget* parent)
    : QWidget(parent, Qt::Window), watch(session), rows(new QTableWidget(0, 6, this)),
      writeButton(new QPushButton(QStringLiteral("Einmal &schreiben"), this)),
      unforceButton(new QPushButton(QStringLiteral("Alles &entforcen"), this)) {
    setWindowTitle(QStringLiteral("Variablen - KVX-Simulator"));
    setObjectName(QStringLiteral("watchTable"));
    rows->setObjectName(QStringLiteral("watchRows"));
    rows->setHorizontalHeaderLabels({QStringLiteral("Operand"), QStringLiteral("Format"),
                                     QStringLiteral("Wert"), QStringLiteral("Steuerwert"),
                                     QStringLiteral("Forciert"), QStringLiteral("Meldung")});
    rows->verticalHeader()->hide();
    rows->horizontalHeader()->setSectionResizeMode(Message, QHeaderView::Stretch);
    rows->setColumnWidth(ValueColumn, 180);
    writeButton->setObjectName(QStringLiteral("writeButton"));
    unforceButton->setObjectName(QStringLiteral("unforceButton"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(writeButton);
    buttons->addWidget(unforceButton);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rows);
    layout->addLayout(buttons);
    resize(720, 320);

    connect(rows, &QTableWidget::itemChanged, this, &WatchView::cellChanged);
    connect(writeButton, &QPushButton::clicked, this, [this] { writeRow(rows->currentRow()); });
    connect(unforceButton, &QPushButton::clicked, this, &WatchView::unforceAll);
    addEmptyRow();
}

// The last row is always empty: typing an operand there adds a row.
void WatchView::addEmptyRow() {
    const int row = rows->rowCount();
    if (static_cast<std::size_t>(row) > watch.size()) {
        return;
    }
    const bool was = updating;
    updating = true;
    rows->insertRow(row);
    rows->setItem(row, OperandColumn, new QTableWidgetItem);
    auto* format = new QComboBox(rows);
    for (const FormatChoice& choice : Formats) {
        format->addItem(QString::fromUtf8(choice.text));
    }
    connect(format, &QComboBox::currentIndexChanged, this, [this, format](int index) {
        for (int r = 0; r < rows->rowCount(); ++r) {
            if (rows->cellWidget(r, FormatColumn) == format &&
                static_cast<std::size_t>(r) < watch.size()) {
                watch.setFormat(static_cast<std::size_t>(r),
                                Formats[static_cast<std::size_t>(index)].format);
                showRow(r);
            }
        }
    });
    rows->setCellWidget(row, FormatColumn, format);
    rows->setItem(row, ValueColumn, fixedCell());
    rows->setItem(row, ControlColumn, new QTableWidgetItem);
    auto* forced = new QTableWidgetItem;
    forced->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    forced->setCheckState(Qt::Unchecked);
    rows->setItem(row, ForcedColumn, forced);
    rows->setItem(row, Message, fixedCell());
    updating = was;
}

void WatchView::cellChanged(QTableWidgetItem* item) {
    if (updating) {
        return;
    }
    const int row = item->row();
    const auto index = static_cast<std::size_t>(row);
    if (item->column() == OperandColumn) {
        const std::string text = item->text().trimmed().toStdString();
        if (index >= watch.size() && text.empty()) {
            return;
        }
        const bool wasForced = index < watch.size() && watch.isForced(index);
        if (index >= watch.size()) {
            // Not now: the table may be in the middle of closing an editor, and a new row
            // with its own widgets must not appear under its feet.
            QMetaObject::invokeMethod(this, &WatchView::addEmptyRow, Qt::QueuedConnection);
        }
        watch.setOperand(index, text);
        if (wasForced) {
            showForceChange();
        } else {
            showRow(row);
        }
    } else if (item->column() == ForcedColumn && index < watch.size()) {
        setForced(row, item->checkState() == Qt::Checked);
    } else if (item->column() == ControlColumn && index < watch.size() && watch.isForced(index)) {
        // A new control value of a forced row is forced at once.
        setForced(row, true);
    }
}

void WatchView::setForced(int row, bool on) {
    const auto index = static_cast<std::size_t>(row);
    if (on) {
        watch.force(index, rows->item(row, ControlColumn)->text().trimmed().toStdString());
    } else {
        watch.unforce(index);
    }
    showForceChange();
}

void WatchView::writeRow(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= watch.size()) {
        return;
    }
    watch.write(static_cast<std::size_t>(row),
                rows->item(row, ControlColumn)->text().trimmed().toStdString());
    showRow(row);
}

void WatchView::unforceAll() {
    watch.unforceAll();
    showForceChange();
}

// Rows on the same operand share its force, so a change shows in every row; the panel and the
// status bar hear of it from the session.
void WatchView::showForceChange() {
    refresh();
}

void WatchView::showRow(int row) {
    const auto index = static_cast<std::size_t>(row);
    if (index >= watch.size()) {
        return;
    }
    const bool was = updating;
    updating = true;
    const bool forced = watch.isForced(index);
    rows->item(row, ValueColumn)->setText(QString::fromStdString(watch.valueText(index)));
    rows->item(row, ForcedColumn)->setCheckState(forced ? Qt::Checked : Qt::Unchecked);
    QTableWidgetItem* message = rows->item(row, Message);
    message->setText(QString::fromStdString(watch.message(index)));
    message->setForeground(MessageColour);
    for (int column : {OperandColumn, ValueColumn, ControlColumn, ForcedColumn}) {
        rows->item(row, column)->setBackground(forced ? QBrush(forcedBackground()) : QBrush());
    }
    updating = was;
}

void WatchView::refresh() {
    for (int row = 0; row < rows->rowCount(); ++row) {
        showRow(row);
    }
}

} // namespace kvx
