#include "operands/parameter.h"

#include "core/common.h"
#include "core/cpu.h"
#include "core/timer.h"

namespace kvx {

// ---- BitParameter ----------------------------------------------------------------------

namespace {
// The letters of a memory area as the operand syntax writes them.
const char* prefixOf(Parameter::ParamClass cls) noexcept {
    switch (cls) {
    case Parameter::EType:
        return "E";
    case Parameter::AType:
        return "A";
    case Parameter::VType:
        return "V";
    case Parameter::MType:
        return "M";
    case Parameter::SMType:
        return "SM";
    case Parameter::SType:
        return "S";
    default:
        return "";
    }
}
} // namespace

BitParameter::BitParameter(MemField* field, int addr, int bit, ParamClass p) noexcept
    : Bit(static_cast<std::uint8_t>(bit)), Addr(addr), f(field) {
    clas = p;
    ops.RBit = 1;
    ops.WBit = 1;
}

void BitParameter::print(Writer& w) const {
    w.write(' ');
    w.write(prefixOf(getClass()));
    w.write(Addr);
    w.write('.');
    w.write(static_cast<int>(Bit));
}

void BitParameter::SetBitRange(int cnt, int val) {
    int a = Addr;
    int b = Bit;
    for (; cnt > 0; --cnt) {
        // The write throws before the address could move past the area, so `a` stays small.
        f->writeBit(a, b, val);
        if (++b > 7) {
            b = 0;
            ++a;
        }
    }
}

// ---- byte, word and double word of an area ---------------------------------------------

namespace {
template <Width W>
constexpr char sizeLetter() noexcept {
    if constexpr (W == Width::Byte) {
        return 'B';
    } else if constexpr (W == Width::Word) {
        return 'W';
    } else {
        return 'D';
    }
}
} // namespace

template <Width W>
AreaParameter<W>::AreaParameter(MemField* field, int addr, ParamClass p) noexcept
    : Addr(addr), f(field) {
    clas = p;
    if constexpr (W == Width::Byte) {
        ops.RByte = 1;
        ops.WByte = 1;
    } else if constexpr (W == Width::Word) {
        ops.RWord = 1;
        ops.WWord = 1;
    } else {
        ops.RLong = 1;
        ops.WLong = 1;
    }
}

template <Width W>
void AreaParameter<W>::print(Writer& w) const {
    w.write(' ');
    w.write(prefixOf(getClass()));
    w.write(sizeLetter<W>());
    w.write(Addr);
}

template <Width W>
std::uint8_t AreaParameter<W>::readByte() const {
    if constexpr (W != Width::Byte) {
        return Parameter::readByte();
    } else {
        return f->readByte(Addr);
    }
}

template <Width W>
std::uint16_t AreaParameter<W>::readWord() const {
    if constexpr (W != Width::Word) {
        return Parameter::readWord();
    } else {
        return f->readWord(Addr);
    }
}

template <Width W>
std::uint32_t AreaParameter<W>::readLong() const {
    if constexpr (W != Width::Long) {
        return Parameter::readLong();
    } else {
        return f->readLong(Addr);
    }
}

template <Width W>
void AreaParameter<W>::writeByte(std::uint8_t val) {
    if constexpr (W != Width::Byte) {
        Parameter::writeByte(val);
    } else {
        f->writeByte(Addr, val);
    }
}

template <Width W>
void AreaParameter<W>::writeWord(std::uint16_t val) {
    if constexpr (W != Width::Word) {
        Parameter::writeWord(val);
    } else {
        f->writeWord(Addr, val);
    }
}

template <Width W>
void AreaParameter<W>::writeLong(std::uint32_t val) {
    if constexpr (W != Width::Long) {
        Parameter::writeLong(val);
    } else {
        f->writeLong(Addr, val);
    }
}

template class AreaParameter<Width::Byte>;
template class AreaParameter<Width::Word>;
template class AreaParameter<Width::Long>;

// ---- NumParameter ----------------------------------------------------------------------

NumParameter::NumParameter(std::int32_t v, int b) noexcept : value(v), base(b) {
    clas = NumType;
    ops.RBit = 1;
    ops.RByte = 1;
    ops.RWord = 1;
    ops.RLong = 1;
}

void NumParameter::print(Writer& w) const {
    w.write(' ');
    if (base == 10) {
        // Signed, so that a negative constant lists as it was written.
        w.write(static_cast<int>(value));
        return;
    }
    w.write(base);
    w.write('#');
    w.write(base, static_cast<std::uint32_t>(value));
}

int NumParameter::readBit() const {
    return static_cast<int>(readLong() & 1u);
}
std::uint8_t NumParameter::readByte() const {
    return static_cast<std::uint8_t>(readLong());
}
std::uint16_t NumParameter::readWord() const {
    return static_cast<std::uint16_t>(readLong());
}
std::uint32_t NumParameter::readLong() const {
    return static_cast<std::uint32_t>(value);
}
// ---- CounterParameter ------------------------------------------------------------------

CounterParameter::CounterParameter(Counter* ct, int No) noexcept : no(No), c(ct) {
    clas = ZType;
    ops.RBit = 1;
    ops.RWord = 1;
    ops.WWord = 1;
}

void CounterParameter::print(Writer& w) const {
    w.write(" Z");
    w.write(no);
}

int CounterParameter::readBit() const {
    return c->IsActive();
}
std::uint16_t CounterParameter::readWord() const {
    return c->getValue();
}
void CounterParameter::writeWord(std::uint16_t val) {
    c->setValue(val);
}
// ---- TimerParameter --------------------------------------------------------------------

TimerParameter::TimerParameter(Timer* tim, int No) noexcept : no(No), t(tim) {
    clas = TType;
    ops.RBit = 1;
    ops.RWord = 1;
    ops.WBit = 1;
}

void TimerParameter::print(Writer& w) const {
    w.write(" T");
    w.write(no);
}

int TimerParameter::readBit() const {
    return t->IsActive();
}
std::uint16_t TimerParameter::readWord() const {
    return static_cast<std::uint16_t>(t->getValue());
}
void TimerParameter::writeBit(int val) {
    if (val != 0) {
        throw CPUException("Timer can only be reseted");
    }
    t->reset();
}
} // namespace kvx
