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

// A format's name in the watch file and the window: Dezimal, Binär or Hex.
std::string_view watchFormatName(WatchFormat format) noexcept;
// The format of that name, in any case; none for another word.
std::optional<WatchFormat> watchFormatNamed(std::string_view name) noexcept;

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
    // Releases the row's force, as a row that is gone must not hold the operand.
    void remove(std::size_t row);
    // Moves row `from` to the place `to` (0..size()-1) among the others.
    void move(std::size_t from, std::size_t to);

    void setFormat(std::size_t row, WatchFormat format);
    WatchFormat format(std::size_t row) const;

    // The live value in the row's format ("" for a row without operand); a bit is 0 or 1,
    // a timer or counter its value and whether its preset is reached ("12 (Q=1)"). An
    // operand outside its area shows the area's error.
    std::string valueText(std::size_t row) const;
    // The row's problem: the message of its operand text, else of the last write or force.
    const std::string& message(std::size_t row) const;

    // The value the row writes or forces, as the user typed it; kept until changed.
    void setControl(std::size_t row, std::string_view value);
    const std::string& control(std::size_t row) const;

    // Writes the value (a constant as in a program: 1, 300, 16#FF, 2#1010, -1) once, as the
    // runner's `set` does: E0.0..E0.7 set the input switch. Returns the error, else "".
    std::string write(std::size_t row, std::string_view value);
    // Writes the control value of every row that has one and an operand, in order; each row
    // keeps its own error. Returns how many failed.
    std::size_t writeAll();
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

    // The table as a text, one row a line: "OPERAND FORMAT [VALUE [forciert]]", FORMAT one of
    // Dezimal, Binär, Hex; rows without operand are left out. A forced row is forced again
    // when the text is read.
    std::string text() const;
    // Replaces the rows with those of `text` (blank lines and lines that start with '#'
    // are left out). A malformed line refuses the whole text, leaving the rows as they were, and is
    // named in the error returned ("line 3: ..."); an operand or value that does not fit shows
    // in its row's message, as when typed. Returns the error, else "".
    std::string setText(std::string_view text);
    static constexpr std::size_t MaxRows = 1000;

private:
    struct Row;
    Row& at(std::size_t row);
    bool forced(const Row& row) const noexcept;
    std::string checked(Row& row, std::string message);

    Session& session;
    std::vector<Row> rows;
};

} // namespace kvx
