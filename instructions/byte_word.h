// Byte and word moves, exclusive-or and equality comparisons. Where two operands are read,
// the first is read first, so an error names the first one first.
#pragma once

#include <cstdint>

namespace kvx::op {

// While the top is 1: copies the first operand's byte into the second.
struct MoveByte {
    template <class M, class A, class B>
    static void run(M& m, A a, B b) {
        if (m.top() != 0) {
            m.setByte(b, m.byte(a));
        }
    }
};

// While the top is 1: copies the first operand's word into the second.
struct MoveWord {
    template <class M, class A, class B>
    static void run(M& m, A a, B b) {
        if (m.top() != 0) {
            m.setWord(b, m.word(a));
        }
    }
};

// While the top is 1: second byte := first byte XOR second byte (second read first).
struct XorByte {
    template <class M, class A, class B>
    static void run(M& m, A a, B b) {
        if (m.top() == 0) {
            return;
        }
        const std::uint8_t y = m.byte(b);
        const std::uint8_t x = m.byte(a);
        m.setByte(b, static_cast<std::uint8_t>(x ^ y));
    }
};

// Pushes 1 when the two words are equal, else 0.
struct LoadWordEqual {
    template <class M, class A, class B>
    static void run(M& m, A a, B b) {
        const std::uint16_t x = m.word(a);
        const std::uint16_t y = m.word(b);
        m.push(x == y ? 1 : 0);
    }
};

// AND of the top with "the two bytes are equal"; the bytes are read only when the top is 1.
struct AndByteEqual {
    template <class M, class A, class B>
    static void run(M& m, A a, B b) {
        if (m.top() == 0) {
            m.setTop(0);
            return;
        }
        const std::uint8_t x = m.byte(a);
        const std::uint8_t y = m.byte(b);
        m.setTop(x == y ? 1 : 0);
    }
};

} // namespace kvx::op
