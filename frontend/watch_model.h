// The watch table's rows as a Qt model over a WatchList: the view asks only for the rows it
// shows, and every edit goes to the list. The last row is always empty: an operand typed there
// adds a row.
#pragma once

#include <functional>

#include <QAbstractTableModel>

#include "session/watch.h"

namespace kvx {

class WatchModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { OperandColumn, FormatColumn, ValueColumn, ControlColumn, ForcedColumn, Message };
    static constexpr int ColumnCount = Message + 1;

    // The list must outlive the model.
    explicit WatchModel(WatchList& list, QObject* parent = nullptr);

    // The format names in the order of the Format column's choices.
    static QStringList formatNames();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;
    bool moveRows(const QModelIndex& source, int row, int count, const QModelIndex& target,
                  int destination) override;

    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // The live values and forces changed: the view redraws what it shows. Cells the user
    // edits are left alone, as an open editor would lose what is typed.
    void refresh();
    // Every cell changed, the forced rows' colours too.
    void refreshAll();
    // Replaces every row at once (a loaded table).
    void replaceRows(const std::function<void()>& change);

private:
    bool isListRow(int row) const noexcept;
    void setOperand(int row, const QString& text);
    void setForced(int row, bool on);

    WatchList& list;
};

} // namespace kvx
