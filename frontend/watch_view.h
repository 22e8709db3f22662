// The watch table (Variablen): operands typed as in a program, their live values in a format of
// choice, and a control value to write once, to write with all others or to force. The rows
// live in a WatchList shown through a WatchModel; this widget holds the table, its buttons and
// the table's files.
#pragma once

#include <QString>
#include <QWidget>

#include "frontend/watch_model.h"
#include "session/watch.h"

class QTableView;
class QPushButton;

namespace kvx {

class Session;

class WatchView final : public QWidget {
    Q_OBJECT

public:
    using enum WatchModel::Column;
    // A saved table is a few lines a row; anything larger is no table.
    static constexpr qint64 MaxFileBytes = 1 << 20;

    // The session must outlive the view.
    explicit WatchView(Session& session, QWidget* parent = nullptr);

    // Shows the current values; the window calls it while the view is visible.
    void refresh();
    // Writes the control value of `row` once.
    void writeRow(int row);
    // Writes the control value of every row that has one.
    void writeAll();
    void unforceAll();
    // Removes the selected rows (the Delete key, the context menu); their forces end.
    void removeSelectedRows();

    // The rows as WatchList::text() holds them, and replacing them by such a text; returns the
    // error, else "".
    QString rowsText() const;
    QString setRowsText(const QString& text);
    // Writes the table to `path` whole or not at all, never onto `program`; returns the error,
    // else "".
    QString saveTo(const QString& path, const QString& program) const;
    // Replaces the rows by those of the file; on an error they stay and the error is returned.
    QString loadFrom(const QString& path);

    QTableView& table() noexcept { return *rows; }
    WatchModel& model() noexcept { return shown; }
    WatchList& list() noexcept { return watch; }

private:
    WatchList watch;
    WatchModel shown;
    QTableView* rows;
    QPushButton* writeButton;
    QPushButton* writeAllButton;
    QPushButton* unforceButton;
};

} // namespace kvx
