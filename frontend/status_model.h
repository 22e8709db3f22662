// The program status as a table model: the listing of the installed program, and beside each
// instruction what it did in the scan captured last. A view asks only for the rows it paints,
// and each cell's text is made when it is asked for; the capture records only the rows a view
// asked for. So neither the scan nor the window pays per program line for lines nobody sees,
// and a program of a million lines costs the model a few bytes a line.
#pragma once

#include <map>
#include <optional>
#include <vector>

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>

#include "core/status.h"
#include "session/breakpoints.h"

namespace kvx {

class CPU;
class ForceTable;
class ScanObserver;

class StatusModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    // A column of the step's own state goes in here with its title, and cellData() answers
    // it. The gutter shows the breakpoints.
    enum Column {
        GutterColumn,
        LineColumn,
        InstructionColumn,
        ResultColumn,
        StackColumn,
        FirstOperand,
        SecondOperand
    };
    static constexpr int Columns = SecondOperand + 1;

    explicit StatusModel(QObject* parent = nullptr);

    // The listing of the program installed in `cpu` (none: no rows), no scan captured yet and
    // no fault marked. The model keeps pointers into the program until the next call.
    void setProgram(const CPU& cpu);
    // Not owned; null marks nothing. Operands that a force writes are marked.
    void setForceMarks(const ForceTable* forced) noexcept { forces = forced; }
    // The capture for the next scan, recording rows `first` to `last`; the rows show nothing
    // captured until showCapture().
    ScanObserver* captureRows(int first, int last);
    // The capture's scan has ended: its rows show it.
    void showCapture();
    // Marks the row of the instruction on `line` as the one that raised and shows what it did
    // in the faulting scan, read from `cpu` as the fault left it; nullopt clears the mark.
    // Returns the row marked, or -1.
    int markFault(std::optional<int> line, const CPU& cpu);
    // What the rows show changed without a scan (a force made or released).
    void repaintAll();
    // The row of the instruction on `line`, or -1.
    int rowOfLine(int line) const noexcept;
    // The program line of the instruction in `row`; none for a row without one.
    std::optional<int> lineOfRow(int row) const noexcept;

    // The breakpoints the gutter marks: a red dot, with a "?" where a condition decides.
    void setBreakpoints(const std::vector<Breakpoint>& all);
    // Shows `soFar` (the halted scan as the session records it, which must outlive the
    // showing) in every row, the one before the instruction on `line` highlighted as the next;
    // a line of nullopt: that scan has ended and is shown whole. Until the next showCapture()
    // or setProgram(). Returns the highlighted row, or -1.
    int showHalted(const StatusCapture& soFar, std::optional<int> line);
    bool isHalted() const noexcept { return haltRow >= 0; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    // What the row's instruction did, as far as a capture or the fault knows.
    std::optional<StepStatus> stepAt(int row) const;
    QVariant cellData(int row, int column, int role) const;
    QVariant gutterData(int row, int role) const;
    QVariant notRunTip(int row) const;
    QVariant operandData(const StepStatus& step, int row, int column, int role) const;
    bool isForced(int row, int column) const noexcept;

    Listing listing;
    StatusCapture capture;
    int capturedFirst = 0;
    int capturedLast = -1;
    // The rows whose captured status is shown; none while a capture is under way.
    int shownFirst = 0;
    int shownLast = -1;
    int faultRow = -1;
    // The fault row's status in the faulting scan, until a later capture shows it again.
    std::optional<StepStatus> faultStep;
    // The scan shown instead of the capture, after a halt; the row it halted before, or -1.
    const StatusCapture* haltedScan = nullptr;
    int haltRow = -1;
    // Breakpoints by line: their conditions, empty when they always halt.
    std::map<int, QString> stops;
    const ForceTable* forces = nullptr;
    QIcon markers[2];
    QIcon stopMarks[2];
};

} // namespace kvx
