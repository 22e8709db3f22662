// Operand texts such as E0.3, SMB0, VW10, T37, Z3, 16#FF or -5 become operand objects bound to
// one CPU's areas, timers and counters. The checks run in a fixed order; the first that fails names
// the error.

#include <array>
#include <climits>
#include <cstdint>
#include <span>

#include "core/common.h"
#include "core/cpu.h"
#include "operands/parameter.h"

namespace kvx {

namespace {

using AreaSyntax = CPU::AreaName;

// SM must be tried before S.
constexpr AreaSyntax Areas[] = {
    {"E", Parameter::EType}, {"A", Parameter::AType},   {"V", Parameter::VType},
    {"M", Parameter::MType}, {"SM", Parameter::SMType}, {"S", Parameter::SType},
};

const AreaSyntax* findArea(std::string_view text) noexcept {
    for (const auto& syntax : Areas) {
        if (text.starts_with(syntax.letters)) {
            return &syntax;
        }
    }
    return nullptr;
}

bool isDecimal(char c) noexcept {
    return c >= '0' && c <= '9';
}

// Reads the operand text left to right. Digit strings are read two ways: saturating at
// INT_MAX for addresses and numbers of things (so an absurdly long number is simply out of
// range), and wrapping modulo 2^32 for constants.
class Cursor final {
public:
    explicit Cursor(std::string_view t) noexcept : text(t) {}

    bool atEnd() const noexcept { return pos >= text.size(); }
    bool next(char c) const noexcept { return !atEnd() && text[pos] == c; }
    char current() const noexcept { return atEnd() ? '\0' : text[pos]; }
    void skip(std::size_t n = 1) noexcept { pos += n; }

    struct Digits {
        int saturated = 0;
        std::uint32_t wrapped = 0;
    };
    Digits readDigits() noexcept {
        Digits d;
        while (!atEnd() && isDecimal(text[pos])) {
            const int digit = text[pos] - '0';
            d.saturated = d.saturated > (INT_MAX - digit) / 10 ? INT_MAX : d.saturated * 10 + digit;
            d.wrapped = d.wrapped * 10u + static_cast<std::uint32_t>(digit);
            ++pos;
        }
        return d;
    }

private:
    std::string_view text;
    std::size_t pos = 0;
};

[[noreturn]] void fail(const char* message) {
    throw CPUException(message);
}

constexpr int MinBase = 2;
constexpr int MaxBase = 35;

// [+] n | [+] n # digits | [+] - n
std::unique_ptr<Parameter> parseConstant(Cursor& in) {
    if (in.next('+')) {
        in.skip();
    }
    if (in.next('-')) {
        in.skip();
        const auto n = in.readDigits();
        if (!in.atEnd()) {
            fail("Syntax error in number");
        }
        return std::make_unique<NumParameter>(static_cast<std::int32_t>(0u - n.wrapped), 10);
    }
    const auto n = in.readDigits();
    int base = 10;
    std::uint32_t value = n.wrapped;
    if (in.next('#')) {
        if (n.saturated < MinBase || n.saturated > MaxBase) {
            fail("Wrong base");
        }
        base = n.saturated;
        in.skip();
        value = 0;
        for (int d = decodebase(in.current()); !in.atEnd() && d != -1 && d < base;
             d = decodebase(in.current())) {
            value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(d);
            in.skip();
        }
    }
    if (!in.atEnd()) {
        fail("Syntax error in number");
    }
    return std::make_unique<NumParameter>(static_cast<std::int32_t>(value), base);
}

int parseNumberOfThing(Cursor& in) {
    if (in.atEnd()) {
        fail("Number expected");
    }
    const int n = in.readDigits().saturated;
    if (!in.atEnd()) {
        fail("Wrong Timer/Counter Address");
    }
    return n;
}

} // namespace

int decodebase(char c) noexcept {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 10;
    }
    return -1;
}

std::span<const CPU::AreaName> CPU::areaNames() noexcept {
    return Areas;
}

std::unique_ptr<Parameter> CPU::OperandTargets::parameter(std::string_view text) const {
    Cursor in(text);
    const char first = in.current();
    if (in.atEnd()) {
        fail("Unknown Parameter Type");
    }
    if (first == 'T') {
        in.skip();
        const int no = parseNumberOfThing(in);
        if (no >= TimerCount) {
            fail("Timer not present");
        }
        return std::make_unique<TimerParameter>(timers[static_cast<std::size_t>(no)], no);
    }
    if (first == 'Z') {
        in.skip();
        const int no = parseNumberOfThing(in);
        if (no >= CounterCount) {
            fail("Counter not present");
        }
        return std::make_unique<CounterParameter>(counters[static_cast<std::size_t>(no)], no);
    }
    if (isDecimal(first) || first == '+' || first == '-') {
        return parseConstant(in);
    }
    const AreaSyntax* syntax = findArea(text);
    if (syntax == nullptr) {
        fail("Unknown Parameter Type");
    }
    in.skip(syntax->letters.size());
    MemField* field = areas[static_cast<std::size_t>(syntax->cls)];
    const char size = in.current();
    if (!in.atEnd() && (size == 'B' || size == 'W' || size == 'D')) {
        in.skip();
        if (in.atEnd()) {
            fail("Address expected");
        }
        const int addr = in.readDigits().saturated;
        if (!in.atEnd()) {
            fail("Wrong Parameter Address");
        }
        switch (size) {
        case 'B':
            return std::make_unique<ByteParameter>(field, addr, syntax->cls);
        case 'W':
            return std::make_unique<WordParameter>(field, addr, syntax->cls);
        default:
            return std::make_unique<LongParameter>(field, addr, syntax->cls);
        }
    }
    if (in.atEnd()) {
        fail("Address expected");
    }
    const int addr = in.readDigits().saturated;
    if (!in.next('.')) {
        fail("Bit Address missing");
    }
    in.skip();
    const char bit = in.current();
    if (in.atEnd() || bit < '0' || bit > '7') {
        fail("Bitnumber out of range");
    }
    in.skip();
    if (!in.atEnd()) {
        fail("Syntax error in Bit Address");
    }
    return std::make_unique<BitParameter>(field, addr, bit - '0', syntax->cls);
}

} // namespace kvx
