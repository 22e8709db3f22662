// Reading and writing one operand named by the user (a scenario line or --set), in the
// program's own operand syntax, with values in its constant syntax.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kvx {

class CPU;
class MyIO;
class Parameter;

// A text that names no usable operand or value; what() says why.
class InputError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A constant as it was written: failures echo actual values back in the same base.
struct Constant {
    // The exact value, not wrapped to 32 bits as a program constant is: a check against a
    // wrapped value could pass where it must fail. Beyond +-2^40 it is held at that bound,
    // which is outside every operand's range anyway.
    std::int64_t value = 0;
    int base = 10;
    // As written, for messages.
    std::string text;
};

// "1", "300", "16#FF", "2#1010", "-1": the program's constant syntax. Throws InputError.
Constant parseConstant(CPU& cpu, std::string_view text);

// The width in which an operand is read, written and compared.
enum class Kind { Bit, Byte, Word, Long, Timer, Counter };

// How many bits a value of this kind has: 1, 8, 16 (words, timers, counters) or 32.
constexpr int bitsOf(Kind kind) noexcept {
    switch (kind) {
    case Kind::Bit:
        return 1;
    case Kind::Byte:
        return 8;
    case Kind::Long:
        return 32;
    default:
        return 16;
    }
}

class OperandRef final {
public:
    // Throws InputError for a text that is not an operand (constants included).
    OperandRef(CPU& cpu, std::string_view text);
    ~OperandRef();
    OperandRef(const OperandRef&) = delete;
    OperandRef& operator=(const OperandRef&) = delete;

    Kind kind() const noexcept { return k; }
    // The operand as it was written.
    const std::string& text() const noexcept { return source; }

    // The current value in the operand's width; a timer or counter its current value.
    // An address outside the area throws CPUException.
    std::uint32_t value() const;
    // The operand's bit; for a timer or counter whether the value has reached the preset.
    // Throws InputError for a byte, word or double word.
    int bit() const;

    // Writes `v` through the operand's own write of its own width. An input switch
    // (E0.0..E0.7) is set on `panel` instead, for the CPU to copy at the next scan. A timer
    // set to 0 is reset; to more, it has counted that many intervals and runs from now
    // (runTimer). Throws InputError when `v` does not fit, CPUException when the area refuses.
    void set(const Constant& v, MyIO& panel);
    // A timer only: it has counted `v` intervals, 0 included, up to the clock's time and runs
    // on, as if its enable had been on. Throws InputError for another operand or a `v` that
    // does not fit.
    void runTimer(const Constant& v);
    // A timer or counter only: its preset, as its instruction would set it. Throws InputError
    // for another operand or a `v` that does not fit.
    void setPreset(const Constant& v);

    // `v` as a value of this operand's width; throws InputError when it does not fit.
    std::uint32_t expected(const Constant& v) const;
    // `v` as a bit (0 or 1); throws InputError otherwise.
    static int expectedBit(const Constant& v);

    // `actual` in the notation of `like`: the same base, signed when `like` is negative.
    std::string format(std::uint32_t actual, const Constant& like) const;

private:
    std::unique_ptr<Parameter> param;
    Kind k;
    std::string source;
    std::string name;
};

} // namespace kvx
