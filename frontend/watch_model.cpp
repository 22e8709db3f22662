#include "frontend/watch_model.h"

#include <algorithm>
#include <set>
#include <string_view>

#include <QBrush>
#include <QColor>
#include <QDataStream>
#include <QIODevice>
#include <QMimeData>

#include "frontend/forced_colour.h"

namespace kvx {

namespace {

// The formats in the order the format menu offers them.
constexpr WatchFormat Formats[] = {WatchFormat::Decimal, WatchFormat::Binary, WatchFormat::Hex};

const QColor MessageColour(170, 0, 0);
const QString RowsMime = QStringLiteral("application/x-kvx-watch-rows");

QString formatName(WatchFormat format) {
    const std::string_view name = watchFormatName(format);
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

WatchModel::WatchModel(WatchList& watched, QObject* parent)
    : QAbstractTableModel(parent), list(watched) {}

QStringList WatchModel::formatNames() {
    QStringList names;
    for (const WatchFormat format : Formats) {
        names << formatName(format);
    }
    return names;
}

bool WatchModel::isListRow(int row) const noexcept {
    return row >= 0 && static_cast<std::size_t>(row) < list.size();
}

int WatchModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list.size()) + 1;
}

int WatchModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant WatchModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const QStringList Titles{QStringLiteral("Operand"),  QStringLiteral("Format"),
                                    QStringLiteral("Wert"),     QStringLiteral("Steuerwert"),
                                    QStringLiteral("Forciert"), QStringLiteral("Meldung")};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < ColumnCount) {
        return Titles[section];
    }
    return {};
}

QVariant WatchModel::data(const QModelIndex& index, int role) const {
    const int row = index.row();
    const int column = index.column();
    if (!isListRow(row)) {
        // The empty row offers its format as the new row will have it.
        return column == FormatColumn && role == Qt::DisplayRole ? formatName(WatchFormat::Decimal)
               : column == ForcedColumn && role == Qt::CheckStateRole ? QVariant(Qt::Unchecked)
                                                                      : QVariant();
    }
    const auto r = static_cast<std::size_t>(row);
    const bool forced = list.isForced(r);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        switch (column) {
        case OperandColumn:
            return text(list.operandText(r));
        case FormatColumn:
            return formatName(list.format(r));
        case ValueColumn:
            return text(list.valueText(r));
        case ControlColumn:
            return text(list.control(r));
        case Message:
            return text(list.message(r));
        default:
            return {};
        }
    case Qt::CheckStateRole:
        return column == ForcedColumn ? QVariant(forced ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::BackgroundRole:
        return forced && column != FormatColumn && column != Message
                   ? QVariant(QBrush(forcedBackground()))
                   : QVariant();
    case Qt::ForegroundRole:
        return column == Message ? QVariant(QBrush(MessageColour)) : QVariant();
    default:
        return {};
    }
}

Qt::ItemFlags WatchModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        // Rows dropped between others or past the last land in the table itself.
        return Qt::ItemIsDropEnabled;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const bool listRow = isListRow(index.row());
    if (listRow) {
        flags |= Qt::ItemIsDragEnabled;
    }
    switch (index.column()) {
    case OperandColumn:
        return flags | Qt::ItemIsEditable;
    case FormatColumn:
    case ControlColumn:
        return listRow ? flags | Qt::ItemIsEditable : flags;
    case ForcedColumn:
        return listRow ? flags | Qt::ItemIsUserCheckable : flags;
    default:
        return flags;
    }
}

bool WatchModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const int row = index.row();
    if (!index.isValid() || row > static_cast<int>(list.size())) {
        return false;
    }
    const auto r = static_cast<std::size_t>(row);
    if (index.column() == OperandColumn && role == Qt::EditRole) {
        setOperand(row, value.toString().trimmed());
        return true;
    }
    if (!isListRow(row)) {
        return false;
    }
    if (index.column() == FormatColumn && role == Qt::EditRole) {
        const qsizetype choice = formatNames().indexOf(value.toString());
        if (choice < 0) {
            return false;
        }
        list.setFormat(r, Formats[static_cast<std::size_t>(choice)]);
        emit dataChanged(index, this->index(row, ValueColumn));
        return true;
    }
    if (index.column() == ControlColumn && role == Qt::EditRole) {
        list.setControl(r, value.toString().trimmed().toStdString());
        emit dataChanged(index, index);
        // A new control value of a forced row is forced at once.
        if (list.isForced(r)) {
            setForced(row, true);
        }
        return true;
    }
    if (index.column() == ForcedColumn && role == Qt::CheckStateRole) {
        setForced(row, value.toInt() == Qt::Checked);
        return true;
    }
    return false;
}

void WatchModel::setOperand(int row, const QString& typed) {
    const auto r = static_cast<std::size_t>(row);
    if (!isListRow(row)) {
        if (typed.isEmpty()) {
            return;
        }
        // The new row takes the place of the empty one, and a new empty row follows it.
        beginInsertRows({}, row + 1, row + 1);
        list.setOperand(r, typed.toStdString());
        endInsertRows();
    } else {
        list.setOperand(r, typed.toStdString());
    }
    // A forced operand's release shows in every row on it.
    refreshAll();
}

void WatchModel::setForced(int row, bool on) {
    const auto r = static_cast<std::size_t>(row);
    if (on) {
        list.force(r, list.control(r));
    } else {
        list.unforce(r);
    }
    // Rows on the same operand share its force.
    refreshAll();
}

bool WatchModel::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || count <= 0 || !isListRow(row + count - 1)) {
        return false;
    }
    beginRemoveRows({}, row, row + count - 1);
    for (int i = row + count - 1; i >= row; --i) {
        list.remove(static_cast<std::size_t>(i));
    }
    endRemoveRows();
    refreshAll();
    return true;
}

bool WatchModel::moveRows(const QModelIndex& source, int row, int count, const QModelIndex& target,
                          int destination) {
    // `destination` is a place between rows, as in beginMoveRows; the empty row stays last.
    if (source.isValid() || target.isValid() || count != 1 || !isListRow(row) || destination < 0 ||
        destination > static_cast<int>(list.size()) || destination == row ||
        destination == row + 1) {
        return false;
    }
    beginMoveRows({}, row, row, {}, destination);
    list.move(static_cast<std::size_t>(row),
              static_cast<std::size_t>(destination > row ? destination - 1 : destination));
    endMoveRows();
    return true;
}

QStringList WatchModel::mimeTypes() const {
    return {RowsMime};
}

QMimeData* WatchModel::mimeData(const QModelIndexList& indexes) const {
    std::set<int> rows;
    for (const QModelIndex& index : indexes) {
        if (isListRow(index.row())) {
            rows.insert(index.row());
        }
    }
    QByteArray encoded;
    QDataStream stream(&encoded, QIODevice::WriteOnly);
    for (const int row : rows) {
        stream << row;
    }
    auto* data = new QMimeData;
    data->setData(RowsMime, encoded);
    return data;
}

// The rows move here, so the drop reports no move: a view would otherwise remove the rows it
// dragged, which by then are others.
bool WatchModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                              const QModelIndex& parent) {
    if (action != Qt::MoveAction || data == nullptr || !data->hasFormat(RowsMime)) {
        return false;
    }
    int destination = row >= 0 ? row : parent.isValid() ? parent.row() : rowCount() - 1;
    destination = std::clamp(destination, 0, static_cast<int>(list.size()));
    QDataStream stream(data->data(RowsMime));
    int dragged = -1;
    stream >> dragged;
    if (stream.status() == QDataStream::Ok && isListRow(dragged)) {
        moveRows({}, dragged, 1, {}, destination);
    }
    return false;
}

// A view puts the data of every changed cell into its open editor: only the columns that
// change by themselves are announced, so that what the user is typing stays.
void WatchModel::refresh() {
    const int last = rowCount() - 1;
    emit dataChanged(index(0, ValueColumn), index(last, ValueColumn));
    emit dataChanged(index(0, ForcedColumn), index(last, Message));
}

void WatchModel::refreshAll() {
    emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void WatchModel::replaceRows(const std::function<void()>& change) {
    beginResetModel();
    change();
    endResetModel();
}

} // namespace kvx
