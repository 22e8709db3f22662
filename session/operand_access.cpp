#include "session/operand_access.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "core/common.h"
#include "core/cpu.h"
#include "core/timer.h"
#include "operands/parameter.h"
#include "session/myio.h"
#include "session/text.h"

namespace kvx {

namespace {

struct KindInfo {
    Kind kind;
    const char* name;
    // The values a constant may have for this width: unsigned up to the top, or negative
    // down to the two's complement bottom.
    std::int64_t min;
    std::int64_t max;
};

constexpr KindInfo Kinds[] = {
    {Kind::Bit, "bit", 0, 1},
    {Kind::Byte, "byte", -128, 255},
    {Kind::Word, "word", -32768, 65535},
    {Kind::Long, "double word", INT32_MIN, UINT32_MAX},
    {Kind::Timer, "timer", -32768, 65535},
    {Kind::Counter, "counter", -32768, 65535},
};

const KindInfo& info(Kind k) noexcept {
    return *std::find_if(std::begin(Kinds), std::end(Kinds),
                         [k](const KindInfo& i) { return i.kind == k; });
}

std::uint32_t mask(Kind k) noexcept {
    switch (k) {
    case Kind::Bit:
        return 1u;
    case Kind::Byte:
        return 0xFFu;
    case Kind::Long:
        return 0xFFFFFFFFu;
    default:
        return 0xFFFFu;
    }
}

// Reinterprets the low bits of `value` as a signed number of this width.
std::int64_t asSigned(Kind k, std::uint32_t value) noexcept {
    const std::uint32_t m = mask(k);
    const std::uint32_t sign = (m >> 1) + 1;
    const std::int64_t v = value & m;
    return (value & sign) != 0 && k != Kind::Bit ? v - static_cast<std::int64_t>(m) - 1 : v;
}

Kind kindOf(const Parameter& p) {
    switch (p.getClass()) {
    case Parameter::TType:
        return Kind::Timer;
    case Parameter::ZType:
        return Kind::Counter;
    case Parameter::NumType:
        throw InputError("is a constant, not an operand");
    default:
        break;
    }
    const auto ops = p.getOperations();
    if (ops.RByte) {
        return Kind::Byte;
    }
    if (ops.RWord) {
        return Kind::Word;
    }
    return ops.RLong ? Kind::Long : Kind::Bit;
}

std::unique_ptr<Parameter> parse(CPU& cpu, std::string_view text) {
    try {
        return cpu.parserParameter(text);
    } catch (const CPUException& e) {
        throw InputError(forMessage(text) + ": " + e.getText());
    }
}

constexpr std::int64_t Beyond = std::int64_t{1} << 40;

// A constant the CPU has accepted, taken apart: [+] n, [+] n # digits, [+] - n. The CPU's own
// reading fixes the syntax; these parts only the value.
struct ConstantParts {
    bool negative = false;
    std::int64_t base = 10;
    std::string_view digits;
};

ConstantParts partsOf(std::string_view text) noexcept {
    ConstantParts parts;
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    parts.negative = text.starts_with('-');
    if (parts.negative) {
        text.remove_prefix(1);
    }
    const auto hash = text.find('#');
    if (hash != std::string_view::npos) {
        parts.base = 0;
        for (const char c : text.substr(0, hash)) {
            parts.base = std::min<std::int64_t>(parts.base * 10 + (c - '0'), Beyond);
        }
        text.remove_prefix(hash + 1);
    }
    parts.digits = text;
    return parts;
}

// The value without wrapping.
std::int64_t exactValue(const ConstantParts& parts) noexcept {
    std::int64_t value = 0;
    for (const char c : parts.digits) {
        value = std::min(value * parts.base + decodebase(c), Beyond);
    }
    return parts.negative ? -value : value;
}

// The switch number when `p` is one of the panel's input bits E0.0..E0.7.
std::optional<int> inputSwitch(const Parameter& p) noexcept {
    const auto* bit = dynamic_cast<const BitParameter*>(&p);
    if (bit == nullptr || p.getClass() != Parameter::EType || bit->getAddr() != 0 ||
        bit->getBit() >= MyIO::Size) {
        return std::nullopt;
    }
    return bit->getBit();
}

} // namespace

Constant parseConstant(CPU& cpu, std::string_view text) {
    const auto p = parse(cpu, text);
    const auto* num = dynamic_cast<const NumParameter*>(p.get());
    if (num == nullptr) {
        throw InputError(forMessage(text) + ": is an operand, not a constant value");
    }
    // A program may leave the digits out ("16#" reads as 0); a check or a setting may not, or a
    // truncated value would pass wherever the operand happens to be 0.
    const ConstantParts parts = partsOf(text);
    if (parts.digits.empty()) {
        throw InputError("value " + forMessage(text) + " has no digits");
    }
    return {exactValue(parts), num->getBase(), std::string(text)};
}

OperandRef::OperandRef(CPU& cpu, std::string_view text)
    : param(parse(cpu, text)), source(text), name(forMessage(text)) {
    try {
        k = kindOf(*param);
    } catch (const InputError& e) {
        throw InputError(name + ": " + e.what());
    }
}

OperandRef::~OperandRef() = default;

std::uint32_t OperandRef::value() const {
    switch (k) {
    case Kind::Bit:
        return static_cast<std::uint32_t>(param->readBit());
    case Kind::Byte:
        return param->readByte();
    case Kind::Long:
        return param->readLong();
    default:
        return param->readWord();
    }
}

int OperandRef::bit() const {
    if (k != Kind::Bit && k != Kind::Timer && k != Kind::Counter) {
        throw InputError(name + ": is a " + info(k).name + ", not a bit, timer or counter");
    }
    return param->readBit();
}

std::uint32_t OperandRef::expected(const Constant& v) const {
    const KindInfo& i = info(k);
    if (v.value < i.min || v.value > i.max) {
        throw InputError("value " + forMessage(v.text) + " does not fit in the " + i.name + " " +
                         name);
    }
    return static_cast<std::uint32_t>(v.value) & mask(k);
}

int OperandRef::expectedBit(const Constant& v) {
    if (v.value != 0 && v.value != 1) {
        throw InputError("a bit is 0 or 1, not " + forMessage(v.text));
    }
    return static_cast<int>(v.value);
}

void OperandRef::set(const Constant& v, MyIO& panel) {
    const std::uint32_t value = expected(v);
    if (const auto sw = inputSwitch(*param)) {
        panel.InState[static_cast<std::size_t>(*sw)] = static_cast<int>(value);
        return;
    }
    switch (k) {
    case Kind::Bit:
        param->writeBit(static_cast<int>(value));
        break;
    case Kind::Byte:
        param->writeByte(static_cast<std::uint8_t>(value));
        break;
    case Kind::Word:
    case Kind::Counter:
        param->writeWord(static_cast<std::uint16_t>(value));
        break;
    case Kind::Long:
        param->writeLong(value);
        break;
    case Kind::Timer:
        if (value == 0) {
            param->writeBit(0);
        } else {
            runTimer(v);
        }
        break;
    }
}

void OperandRef::runTimer(const Constant& v) {
    const auto* timer = dynamic_cast<const TimerParameter*>(param.get());
    if (timer == nullptr) {
        throw InputError(name + ": is a " + info(k).name + ", not a timer");
    }
    timer->getTimer()->runFromNow(static_cast<std::uint16_t>(expected(v)));
}

void OperandRef::setPreset(const Constant& v) {
    if (k != Kind::Timer && k != Kind::Counter) {
        throw InputError(name + ": is a " + info(k).name + ", not a timer or counter");
    }
    const auto limit = static_cast<std::uint16_t>(expected(v));
    if (const auto* timer = dynamic_cast<const TimerParameter*>(param.get())) {
        timer->getTimer()->setLimit(limit);
    } else if (const auto* counter = dynamic_cast<const CounterParameter*>(param.get())) {
        counter->getCounter()->setLimit(limit);
    }
}

std::string OperandRef::format(std::uint32_t actual, const Constant& like) const {
    if (like.base != 10) {
        StringWriter w;
        NumParameter(static_cast<std::int32_t>(actual), like.base).print(w);
        return w.str().substr(1);
    }
    if (like.value < 0) {
        return std::to_string(asSigned(k, actual));
    }
    return std::to_string(actual);
}

} // namespace kvx
