// The program-status window: the listing of the loaded program, and for each instruction what
// it did in a recent scan (result of logic operation, operand values), rows of an inactive
// segment grayed, the row of a run-time fault marked.
#pragma once

#include <optional>
#include <vector>

#include <QWidget>

class QTableWidget;
class QLabel;

namespace kvx {

class CPU;
class StatusCapture;
struct OpList;

class ProgramStatusView final : public QWidget {
    Q_OBJECT

public:
    enum Column { LineColumn, InstructionColumn, ResultColumn, FirstOperand, SecondOperand };

    explicit ProgramStatusView(QWidget* parent = nullptr);

    // Shows the listing of the program installed in `cpu` (none: an empty table) with no scan
    // captured yet. The view keeps pointers into the program until the next call.
    void setProgram(const CPU& cpu);
    // Shows what each instruction did in the captured scan.
    void showScan(const StatusCapture& capture);
    // Marks the row of the instruction on `line` as the one that raised `text`; nullopt
    // clears the mark.
    void markFault(std::optional<int> line, const QString& text);

    QTableWidget& table() noexcept { return *rows; }

private:
    QTableWidget* rows;
    QLabel* faultLabel;
    std::vector<const OpList*> nodes; // by row; null for rows without an instruction
};

} // namespace kvx
