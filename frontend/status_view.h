// The program-status window: the listing of the loaded program, and for each instruction what
// it did in a recent scan (result of logic operation, operand values), rows of an inactive
// segment grayed, forced operands marked, the row of a run-time fault marked. A view over
// StatusModel: it paints the rows on screen and captures scans for them and a page around.
#pragma once

#include <optional>

#include <QWidget>

class QTableView;
class QLabel;

namespace kvx {

class CPU;
class ForceTable;
class ScanObserver;
class StatusModel;

class ProgramStatusView final : public QWidget {
    Q_OBJECT

public:
    explicit ProgramStatusView(QWidget* parent = nullptr);

    // Shows the listing of the program installed in `cpu` (none: an empty table) with no scan
    // captured yet. The view keeps pointers into the program until the next call.
    void setProgram(const CPU& cpu);
    // Not owned; null marks nothing.
    void setForceMarks(const ForceTable* forces) noexcept;
    // The observer for the next scan: it captures the rows on screen and a page either side.
    ScanObserver* observer();
    // The scan that observer() was handed has ended: the rows show it.
    void showScan();
    // Marks the row of the instruction on `line` as the one that raised `text`, with what it
    // did in the faulting scan as `cpu` holds it, and scrolls to it; nullopt clears the mark.
    void markFault(std::optional<int> line, const QString& text, const CPU& cpu);
    // A force was made or released.
    void forcesChanged();

    QTableView& table() noexcept { return *rows; }
    StatusModel& model() noexcept { return *status; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void renewRowHeader();
    void scrollToFault();

    StatusModel* status;
    QTableView* rows;
    QLabel* faultLabel;
    int faultRow = -1;
};

} // namespace kvx
