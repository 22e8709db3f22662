// The watch table window: operands typed as in a program, their live values in a format of
// choice, and a control value to write once or to force. The rows live in a WatchList; this
// window only shows them and forwards what the user types.
#pragma once

#include <QWidget>

#include "session/watch.h"

class QTableWidget;
class QTableWidgetItem;
class QPushButton;

namespace kvx {

class Session;

class WatchView final : public QWidget {
    Q_OBJECT

public:
    enum Column { OperandColumn, FormatColumn, ValueColumn, ControlColumn, ForcedColumn, Message };

    // The session must outlive the view.
    explicit WatchView(Session& session, QWidget* parent = nullptr);

    // Shows the current values; the window calls it while the view is visible.
    void refresh();
    // Writes the control value of `row` once.
    void writeRow(int row);
    void unforceAll();

    QTableWidget& table() noexcept { return *rows; }
    WatchList& list() noexcept { return watch; }

private:
    void addEmptyRow();
    void cellChanged(QTableWidgetItem* item);
    void showRow(int row);
    void setForced(int row, bool on);
    void showForceChange();

    WatchList watch;
    QTableWidget* rows;
    QPushButton* writeButton;
    QPushButton* unforceButton;
    bool updating = false;
};

} // namespace kvx
