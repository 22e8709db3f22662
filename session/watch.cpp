#include "session/watch.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "core/common.h"
#include "session/operand_access.h"
#include "session/session.h"

namespace kvx {

struct WatchList::Row {
    std::string text;
    WatchFormat format = WatchFormat::Decimal;
    std::string control;
    std::unique_ptr<OperandRef> operand;
    std::string message;
};

WatchList::WatchList(Session& s) : session(s) {}

WatchList::~WatchList() {
    unforceAll();
}

WatchList::Row& WatchList::at(std::size_t row) {
    if (row >= rows.size()) {
        throw std::out_of_range("no such watch row");
    }
    return rows[row];
}

std::size_t WatchList::size() const noexcept {
    return rows.size();
}
const std::string& WatchList::operandText(std::size_t row) const {
    return rows.at(row).text;
}
void WatchList::setFormat(std::size_t row, WatchFormat format) {
    at(row).format = format;
}
WatchFormat WatchList::format(std::size_t row) const {
    return rows.at(row).format;
}
const std::string& WatchList::message(std::size_t row) const {
    return rows.at(row).message;
}
bool WatchList::isForced(std::size_t row) const {
    return forced(rows.at(row));
}
bool WatchList::forced(const Row& row) const noexcept {
    return session.forces().isForced(row.text);
}

std::string WatchList::checked(Row& row, std::string message) {
    row.message = std::move(message);
    return row.message;
}

std::string WatchList::setOperand(std::size_t index, std::string_view text) {
    if (index == rows.size()) {
        rows.emplace_back();
    }
    Row& row = at(index);
    unforce(index);
    row.text = std::string(text);
    row.operand.reset();
    if (text.empty()) {
        return checked(row, "");
    }
    try {
        auto operand = std::make_unique<OperandRef>(session.cpu(), text);
        (void)operand->value();
        row.operand = std::move(operand);
    } catch (const InputError& e) {
        return checked(row, e.what());
    } catch (const CPUException& e) {
        return checked(row, std::string(text) + ": " + e.getText());
    }
    return checked(row, "");
}

void WatchList::remove(std::size_t index) {
    unforce(index);
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(index));
}

void WatchList::move(std::size_t from, std::size_t to) {
    (void)at(from);
    (void)at(to);
    const auto first = rows.begin();
    const auto a = static_cast<std::ptrdiff_t>(from);
    const auto b = static_cast<std::ptrdiff_t>(to);
    if (a < b) {
        std::rotate(first + a, first + a + 1, first + b + 1);
    } else {
        std::rotate(first + b, first + a, first + a + 1);
    }
}

void WatchList::setControl(std::size_t row, std::string_view value) {
    at(row).control = std::string(value);
}

const std::string& WatchList::control(std::size_t row) const {
    return rows.at(row).control;
}

std::size_t WatchList::writeAll() {
    std::size_t failed = 0;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (rows[row].operand && !rows[row].control.empty() &&
            !write(row, rows[row].control).empty()) {
            ++failed;
        }
    }
    return failed;
}

namespace {
std::string binary(std::uint32_t value, int digits) {
    std::string text = "2#";
    for (int bit = digits - 1; bit >= 0; --bit) {
        text.push_back(((value >> bit) & 1u) != 0 ? '1' : '0');
    }
    return text;
}

std::string hex(std::uint32_t value, int digits) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text = "16#";
    for (int nibble = digits - 1; nibble >= 0; --nibble) {
        text.push_back(Digits[(value >> (4 * nibble)) & 0xFu]);
    }
    return text;
}

std::string formatted(std::uint32_t value, Kind kind, WatchFormat format) {
    if (kind == Kind::Bit) {
        return value != 0 ? "1" : "0";
    }
    switch (format) {
    case WatchFormat::Binary:
        return binary(value, bitsOf(kind));
    case WatchFormat::Hex:
        return hex(value, bitsOf(kind) / 4);
    case WatchFormat::Decimal:
        break;
    }
    return std::to_string(value);
}
} // namespace

std::string WatchList::valueText(std::size_t index) const {
    const Row& row = rows.at(index);
    if (!row.operand) {
        return "";
    }
    try {
        const Kind kind = row.operand->kind();
        std::string text = formatted(row.operand->value(), kind, row.format);
        if (kind == Kind::Timer || kind == Kind::Counter) {
            text += " (Q=" + std::to_string(row.operand->bit()) + ")";
        }
        return text;
    } catch (const CPUException& e) {
        return e.getText();
    }
}

std::string WatchList::write(std::size_t index, std::string_view value) {
    Row& row = at(index);
    if (!row.operand) {
        return checked(row, "no operand in this row");
    }
    try {
        session.write(*row.operand, parseConstant(session.cpu(), value));
    } catch (const InputError& e) {
        return checked(row, e.what());
    } catch (const CPUException& e) {
        return checked(row, e.getText());
    }
    return checked(row, "");
}

std::string WatchList::force(std::size_t index, std::string_view value) {
    Row& row = at(index);
    if (!row.operand) {
        return checked(row, "no operand in this row");
    }
    try {
        if (const auto error = session.force(*row.operand, parseConstant(session.cpu(), value))) {
            return checked(row, error->getText());
        }
    } catch (const InputError& e) {
        return checked(row, e.what());
    }
    return checked(row, "");
}

void WatchList::unforce(std::size_t index) {
    session.release(at(index).text);
}

void WatchList::unforceAll() {
    // "Release all" means all, also forces the list did not make.
    session.releaseAll();
}

bool WatchList::anyForced() const noexcept {
    return std::any_of(rows.begin(), rows.end(), [this](const Row& r) { return forced(r); });
}

std::vector<std::string> WatchList::operandTexts() const {
    std::vector<std::string> texts;
    for (const Row& row : rows) {
        texts.push_back(row.text);
    }
    return texts;
}

namespace {

struct FormatName {
    std::string_view name;
    WatchFormat format;
};

constexpr FormatName FormatNames[] = {
    {"Dezimal", WatchFormat::Decimal},
    {"Binär", WatchFormat::Binary},
    {"Hex", WatchFormat::Hex},
};
constexpr std::string_view ForcedWord = "forciert";

std::string_view nameOf(WatchFormat format) {
    return std::find_if(std::begin(FormatNames), std::end(FormatNames),
                        [format](const FormatName& f) { return f.format == format; })
        ->name;
}

bool sameWord(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> found;
    constexpr std::string_view Blanks = " \t\r\v\f";
    for (std::size_t at = line.find_first_not_of(Blanks); at != std::string_view::npos;
         at = line.find_first_not_of(Blanks, at)) {
        const std::size_t end = std::min(line.find_first_of(Blanks, at), line.size());
        found.push_back(line.substr(at, end - at));
        at = end;
    }
    return found;
}

} // namespace

std::string_view watchFormatName(WatchFormat format) noexcept {
    return nameOf(format);
}

std::optional<WatchFormat> watchFormatNamed(std::string_view name) noexcept {
    const auto* found = std::find_if(std::begin(FormatNames), std::end(FormatNames),
                                     [&](const FormatName& f) { return sameWord(f.name, name); });
    return found == std::end(FormatNames) ? std::nullopt : std::optional(found->format);
}

namespace {

struct SavedRow {
    std::string operand;
    WatchFormat format;
    std::string control;
    bool forced;
};

// One line of a saved table: nothing for a blank or comment line, else the row or the reason
// it is no row.
std::optional<SavedRow> savedRow(std::string_view line, std::string& error) {
    const std::vector<std::string_view> fields = words(line);
    // Constants hold '#' (16#FF): only a line that starts with it is a comment.
    if (fields.empty() || fields[0].starts_with('#')) {
        return std::nullopt;
    }
    if (fields.size() < 2 || fields.size() > 4) {
        error = "expected OPERAND FORMAT [VALUE [forciert]]";
        return std::nullopt;
    }
    const auto format = watchFormatNamed(fields[1]);
    if (!format) {
        error = "unknown format \"" + std::string(fields[1]) + "\" (Dezimal, Binär or Hex)";
        return std::nullopt;
    }
    if (fields.size() == 4 && !sameWord(fields[3], ForcedWord)) {
        error = "expected \"forciert\" after the value, not \"" + std::string(fields[3]) + '"';
        return std::nullopt;
    }
    return SavedRow{std::string(fields[0]), *format,
                    fields.size() > 2 ? std::string(fields[2]) : std::string(), fields.size() == 4};
}

} // namespace

std::string WatchList::text() const {
    std::string out;
    for (const Row& row : rows) {
        if (row.text.empty()) {
            continue;
        }
        // A blank inside a field would split it when read; operands and constants have none.
        std::string operand = row.text;
        std::erase_if(operand, [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
        std::string value = row.control;
        std::erase_if(value, [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
        out += operand + ' ' + std::string(nameOf(row.format));
        if (!value.empty()) {
            out += ' ' + value;
            if (forced(row)) {
                out += ' ' + std::string(ForcedWord);
            }
        }
        out += '\n';
    }
    return out;
}

std::string WatchList::setText(std::string_view text) {
    std::vector<SavedRow> saved;
    std::size_t number = 0;
    for (std::size_t at = 0; at <= text.size(); ++number) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string error;
        if (auto row = savedRow(text.substr(at, end - at), error)) {
            if (saved.size() == MaxRows) {
                return "line " + std::to_string(number + 1) + ": more than " +
                       std::to_string(MaxRows) + " rows";
            }
            saved.push_back(std::move(*row));
        } else if (!error.empty()) {
            return "line " + std::to_string(number + 1) + ": " + error;
        }
        at = end + 1;
    }
    while (!rows.empty()) {
        remove(rows.size() - 1);
    }
    for (const SavedRow& row : saved) {
        const std::size_t index = rows.size();
        setOperand(index, row.operand);
        setFormat(index, row.format);
        setControl(index, row.control);
        if (row.forced) {
            (void)force(index, row.control);
        }
    }
    return "";
}

} // namespace kvx
