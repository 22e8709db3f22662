// The program-status window: the listing of the loaded program, and for each instruction what
// it did in a recent scan (result of logic operation, operand values), rows of an inactive
// segment grayed, forced operands marked, the row of a run-time fault marked, breakpoints in a
// gutter, and a halted scan as far as it went. A view over StatusModel: it paints the rows on
// screen and captures scans for them and a page around.
#pragma once

#include <optional>
#include <vector>

#include <QAbstractItemView>
#include <QWidget>

class QLabel;
class QTableView;

namespace kvx {

class CPU;
class ForceTable;
class ScanObserver;
class StatusCapture;
class StatusModel;
struct Breakpoint;

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
    void setBreakpoints(const std::vector<Breakpoint>& all);
    // Shows the halted scan `soFar` and scrolls to the row of `line`, the next to run; a line
    // of nullopt: the scan has ended, and stays shown until the next capture.
    void showHalted(const StatusCapture& soFar, std::optional<int> line);
    // The program line of the current row; none when it holds no instruction.
    std::optional<int> currentLine() const;
    // Whether a row is current (it may hold no instruction).
    bool hasCurrentRow() const;

    QTableView& table() noexcept { return *rows; }
    StatusModel& model() noexcept { return *status; }

signals:
    // The gutter of `row` was clicked: its line (none for a row without an instruction).
    void gutterClicked(std::optional<int> line);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void renewRowHeader();
    void scrollToFault();
    void scrollToRow(int row, QAbstractItemView::ScrollHint hint);

    StatusModel* status;
    QTableView* rows;
    QLabel* faultLabel;
    QLabel* haltLabel;
    int faultRow = -1;
};

} // namespace kvx
