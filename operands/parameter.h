// The seven operand classes. Each overrides exactly the accesses its SupOps flags name; every
// other access is the Parameter default, which throws "get<width> not supported" for a read
// and "setbit not supported" for a write. Operands point into the CPU's areas, timers and counters
// without owning them.
#pragma once

#include <cstdint>

#include "core/cpu.h"
#include "core/program.h"

namespace kvx {

class Timer;
class Counter;

class BitParameter final : public Parameter {
public:
    BitParameter(MemField* f, int Addr, int Bit, ParamClass p) noexcept;
    void print(Writer& w) const override;
    // Inline, so that a caller that knows the operand is a bit reaches memory directly.
    int readBit() const override { return f->readBit(Addr, Bit); }
    void writeBit(int val) override { f->writeBit(Addr, Bit, val); }

    // Writes `val` into `cnt` consecutive bits from this operand's bit upward, on into bit 0
    // of the next byte after bit 7. Stops at the first bit the area refuses; the bits before
    // it stay written. cnt <= 0 writes nothing.
    void SetBitRange(int cnt, int val);

    int getAddr() const noexcept { return Addr; }
    int getBit() const noexcept { return Bit; }
    MemField* getField() const noexcept { return f; }

private:
    // Bit first, so that it and Addr share the base's last eight bytes.
    std::uint8_t Bit;
    int Addr;
    MemField* f;
};

// Byte, word and double word of a memory area share everything but their width.
enum class Width { Byte, Word, Long };

template <Width W>
class AreaParameter final : public Parameter {
public:
    AreaParameter(MemField* f, int Addr, ParamClass p) noexcept;
    void print(Writer& w) const override;
    std::uint8_t readByte() const override;
    std::uint16_t readWord() const override;
    std::uint32_t readLong() const override;
    void writeByte(std::uint8_t val) override;
    void writeWord(std::uint16_t val) override;
    void writeLong(std::uint32_t val) override;

    int getAddr() const noexcept { return Addr; }
    MemField* getField() const noexcept { return f; }

private:
    int Addr;
    MemField* f;
};

using ByteParameter = AreaParameter<Width::Byte>;
using WordParameter = AreaParameter<Width::Word>;
using LongParameter = AreaParameter<Width::Long>;

extern template class AreaParameter<Width::Byte>;
extern template class AreaParameter<Width::Word>;
extern template class AreaParameter<Width::Long>;

// A constant. Reads truncate the 32-bit value; it cannot be written.
class NumParameter final : public Parameter {
public:
    NumParameter(std::int32_t v, int b) noexcept;
    void print(Writer& w) const override;
    int readBit() const override;
    std::uint8_t readByte() const override;
    std::uint16_t readWord() const override;
    std::uint32_t readLong() const override;
    std::int32_t getValue() const noexcept { return value; }
    int getBase() const noexcept { return base; }

private:
    std::int32_t value;
    int base;
};

// A counter: its bit is "count reached preset", its word the count, which a word write sets.
class CounterParameter final : public Parameter {
public:
    CounterParameter(Counter* ct, int No) noexcept;
    void print(Writer& w) const override;
    int readBit() const override;
    std::uint16_t readWord() const override;
    void writeWord(std::uint16_t val) override;
    Counter* getCounter() const noexcept { return c; }
    int getNo() const noexcept { return no; }

private:
    int no;
    Counter* c;
};

// A timer: its bit is "value reached preset", its word the value. The only write is bit 0,
// which resets the timer; bit 1 throws "Timer can only be reseted".
class TimerParameter final : public Parameter {
public:
    TimerParameter(Timer* tim, int No) noexcept;
    void print(Writer& w) const override;
    int readBit() const override;
    std::uint16_t readWord() const override;
    void writeBit(int val) override;
    Timer* getTimer() const noexcept { return t; }
    int getNo() const noexcept { return no; }

private:
    int no;
    Timer* t;
};

} // namespace kvx
