// The watch table: operands typed as in a program, each shown live in a chosen format, and
// written once or forced from there. Qt-free, so it is tested without a window; the window
// only shows the rows and forwards what the user types.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvx {

class OperandRef;
class Session;

enum class WatchFormat { Binary, Decimal, Hex };

class WatchList final {
public:
    // The session must outlive the list. The list's forces are released when it dies.
    explicit WatchList(Session& session);
    ~WatchList();
    WatchList(const WatchList&) = delete;
    WatchList& operator=(const WatchList&) = delete;

    std::size_t size() const noexcept;

    // Sets the operand of row `row`; `row == size()` appends a row. An empty text clears the
    // row's operand. Returns the message for a text that is no usable operand, else "". A row
    // keeps its text either way, so the user can correct it.
    std::string setOperand(std::size_t row, std::string_view text);
    const std::string& operandText(std::size_t row) const;
    void remove(std::size_t row);

    void setFormat(std::size_t row, WatchFormat format);
    WatchFormat format(std::size_t row) const;

    // The live value in the row's format ("" for a row without operand); a bit is 0 or 1,
    // a timer or counter its value and whether its preset is reached ("12 (Q=1)"). An
    // operand outside its area shows the area's error.
    std::string valueText(std::size_t row) const;
    // The row's problem: the message of its operand text, else of the last write or force.
    const std::string& message(std::size_t row) const;

    // Writes the value (a constant as in a program: 1, 300, 16#FF, 2#1010, -1) once, as the
    // runner's `set` does: E0.0..E0.7 set the input switch. Returns the error, else "".
    std::string write(std::size_t row, std::string_view value);
    // Forces the row's operand to the value until unforced. Returns the error, else "".
    std::string force(std::size_t row, std::string_view value);
    // Releases the row's operand, also for the other rows on it.
    void unforce(std::size_t row);
    // Releases every force of the session, also those no row made.
    void unforceAll();
    // Whether the row's operand is forced, as the session's force table says: rows keep no
    // record of their own, so two rows on one operand and forces made elsewhere read alike.
    bool isForced(std::size_t row) const;
    bool anyForced() const noexcept;

    // The operand texts in order, to keep them for the next time.
    std::vector<std::string> operandTexts() const;

private:
    struct Row;
    Row& at(std::size_t row);
    bool forced(const Row& row) const noexcept;
    std::string checked(Row& row, std::string message);

    Session& session;
    std::vector<Row> rows;
};

} // namespace kvx
