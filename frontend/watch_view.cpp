#include "frontend/watch_view.h"

#include <span>
#include <string>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include "scenario/report_file.h"

namespace kvx {

namespace {

// The Format column's editor: the three formats to choose from, taken as soon as one is.
class FormatDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* choice = new QComboBox(parent);
        choice->addItems(WatchModel::formatNames());
        connect(choice, &QComboBox::activated, this, [this, choice] {
            auto* self = const_cast<FormatDelegate*>(this);
            emit self->commitData(choice);
            emit self->closeEditor(choice);
        });
        return choice;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        static_cast<QComboBox*>(editor)->setCurrentText(index.data().toString());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        model->setData(index, static_cast<QComboBox*>(editor)->currentText());
    }
};

} // namespace

WatchView::WatchView(Session& session, QWidget* parent)
    : QWidget(parent), watch(session), shown(watch, this), rows(new QTableView(this)),
      writeButton(new QPushButton(QStringLiteral("Einmal &schreiben"), this)),
      writeAllButton(new QPushButton(QStringLiteral("&Alle schreiben"), this)),
      unforceButton(new QPushButton(QStringLiteral("Alles &entforcen"), this)) {
    setWindowTitle(QStringLiteral("Variablen"));
    setObjectName(QStringLiteral("watchTable"));
    rows->setObjectName(QStringLiteral("watchRows"));
    rows->setModel(&shown);
    rows->setItemDelegateForColumn(FormatColumn, new FormatDelegate(rows));
    rows->verticalHeader()->hide();
    rows->horizontalHeader()->setSectionResizeMode(Message, QHeaderView::Stretch);
    rows->setColumnWidth(ValueColumn, 180);
    rows->setSelectionBehavior(QAbstractItemView::SelectRows);
    rows->setSelectionMode(QAbstractItemView::SingleSelection);
    rows->setDragEnabled(true);
    rows->setDragDropMode(QAbstractItemView::InternalMove);
    rows->setDefaultDropAction(Qt::MoveAction);
    rows->setDropIndicatorShown(true);
    rows->setDragDropOverwriteMode(false);

    auto* remove = new QAction(QStringLiteral("Zeile &entfernen"), rows);
    remove->setObjectName(QStringLiteral("removeRow"));
    remove->setShortcut(QKeySequence::Delete);
    // Only the table's own Delete: in a cell's editor the key deletes text.
    remove->setShortcutContext(Qt::WidgetShortcut);
    connect(remove, &QAction::triggered, this, &WatchView::removeSelectedRows);
    rows->addAction(remove);
    rows->setContextMenuPolicy(Qt::ActionsContextMenu);

    writeButton->setObjectName(QStringLiteral("writeButton"));
    writeAllButton->setObjectName(QStringLiteral("writeAllButton"));
    unforceButton->setObjectName(QStringLiteral("unforceButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(writeButton);
    buttons->addWidget(writeAllButton);
    buttons->addWidget(unforceButton);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rows);
    layout->addLayout(buttons);

    connect(writeButton, &QPushButton::clicked, this,
            [this] { writeRow(rows->currentIndex().row()); });
    connect(writeAllButton, &QPushButton::clicked, this, &WatchView::writeAll);
    connect(unforceButton, &QPushButton::clicked, this, &WatchView::unforceAll);
}

void WatchView::refresh() {
    shown.refresh();
}

void WatchView::writeRow(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= watch.size()) {
        return;
    }
    const auto index = static_cast<std::size_t>(row);
    watch.write(index, watch.control(index));
    refresh();
}

void WatchView::writeAll() {
    watch.writeAll();
    refresh();
}

void WatchView::unforceAll() {
    watch.unforceAll();
    shown.refreshAll();
}

void WatchView::removeSelectedRows() {
    const QModelIndexList selected = rows->selectionModel()->selectedRows();
    // From the bottom, so the rows above keep their numbers.
    for (qsizetype i = selected.size() - 1; i >= 0; --i) {
        shown.removeRows(selected[i].row(), 1);
    }
}

QString WatchView::rowsText() const {
    return QString::fromStdString(watch.text());
}

QString WatchView::setRowsText(const QString& text) {
    std::string error;
    shown.replaceRows([&] { error = watch.setText(text.toStdString()); });
    return QString::fromStdString(error);
}

QString WatchView::saveTo(const QString& path, const QString& program) const {
    const std::string target = QFile::encodeName(path).toStdString();
    if (const std::string input = QFile::encodeName(program).toStdString();
        !input.empty() && inputAt(target, std::span(&input, 1))) {
        return QStringLiteral("The watch table cannot replace the program %1; choose another file")
            .arg(path);
    }
    if (!replaceFile(target, watch.text())) {
        return QStringLiteral("File %1 could not be written").arg(path);
    }
    return {};
}

QString WatchView::loadFrom(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("File %1 could not be read").arg(path);
    }
    const QByteArray content = file.read(MaxFileBytes + 1);
    if (content.size() > MaxFileBytes) {
        return QStringLiteral("File %1 is too large for a watch table").arg(path);
    }
    const QString error = setRowsText(QString::fromUtf8(content));
    return error.isEmpty() ? QString() : QStringLiteral("%1: %2").arg(path, error);
}

} // namespace kvx
