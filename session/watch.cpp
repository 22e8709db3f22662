#include "session/watch.h"

#include <algorithm>
#include <stdexcept>

#include "core/common.h"
#include "session/operand_access.h"
#include "session/session.h"

namespace kvx {

struct WatchList::Row {
    std::string text;
    WatchFormat format = WatchFormat::Decimal;
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
    return std::ranges::any_of(rows, [this](const Row& r) { return forced(r); });
}

std::vector<std::string> WatchList::operandTexts() const {
    std::vector<std::string> texts;
    for (const Row& row : rows) {
        texts.push_back(row.text);
    }
    return texts;
}

} // namespace kvx
