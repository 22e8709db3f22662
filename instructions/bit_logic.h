// Bit logic on the logic stack: loads, combinations, branches, edges and writes. Each
// behaviour is written once for every machine (instructions/machine.h); its row in
// instructions/instruction_table.cpp says the rest.
#pragma once

namespace kvx::op {

// Pushes the operand's bit.
struct Ld {
    template <class M, class A, class B>
    static constexpr void run(M& m, A a, B) {
        m.push(m.bit(a) ? 1 : 0);
    }
};

// Pushes the inverted operand bit.
struct Ldn {
    template <class M, class A, class B>
    static constexpr void run(M& m, A a, B) {
        m.push(m.bit(a) ? 0 : 1);
    }
};

// The combinations with an operand bit read it only when the top does not already decide, so
// a faulty operand fails only when it matters. A machine whose reads cannot fault
// (M::ReadsCannotFault) reads it every time instead: the result is the same, and the scan is
// spared a branch on the data, which no predictor guesses.
template <class M, class A>
constexpr bool topAnd(M& m, A a, bool inverted) {
    if constexpr (M::ReadsCannotFault) {
        return (unsigned{m.top() != 0} & unsigned{m.bit(a) != inverted}) != 0;
    } else {
        return m.top() != 0 && m.bit(a) != inverted;
    }
}

template <class M, class A>
constexpr bool topOr(M& m, A a, bool inverted) {
    if constexpr (M::ReadsCannotFault) {
        return (unsigned{m.top() != 0} | unsigned{m.bit(a) != inverted}) != 0;
    } else {
        return m.top() != 0 || m.bit(a) != inverted;
    }
}

// AND of the top with the operand bit.
struct And {
    template <class M, class A, class B>
    static constexpr void run(M& m, A a, B) {
        m.setTop(topAnd(m, a, false) ? 1 : 0);
    }
};

// AND of the top with the inverted operand bit.
struct AndNot {
    template <class M, class A, class B>
    static constexpr void run(M& m, A a, B) {
        m.setTop(topAnd(m, a, true) ? 1 : 0);
    }
};

// OR of the top with the operand bit.
struct Or {
    template <class M, class A, class B>
    static constexpr void run(M& m, A a, B) {
        m.setTop(topOr(m, a, false) ? 1 : 0);
    }
};

// OR of the top with the inverted operand bit.
struct OrNot {
    template <class M, class A, class B>
    static constexpr void run(M& m, A a, B) {
        m.setTop(topOr(m, a, true) ? 1 : 0);
    }
};

// Replaces the two top entries by their AND.
struct AndBlock {
    template <class M, class A, class B>
    static constexpr void run(M& m, A, B) {
        const bool popped = m.pop() != 0;
        m.setTop(popped && m.top() != 0 ? 1 : 0);
    }
};

// Replaces the two top entries by their OR.
struct OrBlock {
    template <class M, class A, class B>
    static constexpr void run(M& m, A, B) {
        const bool popped = m.pop() != 0;
        m.setTop(popped || m.top() != 0 ? 1 : 0);
    }
};

// Inverts the top.
struct Not {
    template <class M, class A, class B>
    static constexpr void run(M& m, A, B) {
        m.setTop(m.top() == 0 ? 1 : 0);
    }
};

// Duplicates the top: saves the value at a branch point.
struct Lps {
    template <class M, class A, class B>
    static constexpr void run(M& m, A, B) {
        m.push(m.top());
    }
};

// Replaces the top by a copy of the entry below it: restores the branch value, keeping it.
struct Lrd {
    template <class M, class A, class B>
    static constexpr void run(M& m, A, B) {
        m.setTop(m.below());
    }
};

// Drops the top: restores the branch value for the last branch.
struct Lpp {
    template <class M, class A, class B>
    static constexpr void run(M& m, A, B) {
        (void)m.pop();
    }
};

// What an edge remembers from its previous execution.
struct EdgeMemory {
    int last = 0;
};

// Replaces the top by 1 when it rose from 0 since this instruction last ran, else by 0.
struct RisingEdge {
    using Memory = EdgeMemory;
    template <class M, class A, class B>
    static constexpr void run(M& m, A, B, Memory& memory) {
        const int value = m.top();
        m.setTop(value != 0 && memory.last == 0 ? 1 : 0);
        memory.last = value;
    }
};

// Replaces the top by 1 when it fell from 1 since this instruction last ran, else by 0.
struct FallingEdge {
    using Memory = EdgeMemory;
    template <class M, class A, class B>
    static constexpr void run(M& m, A, B, Memory& memory) {
        const int value = m.top();
        m.setTop(value == 0 && memory.last != 0 ? 1 : 0);
        memory.last = value;
    }
};

// Writes the top to the operand bit, 0 or 1, at every execution.
struct Assign {
    template <class M, class A, class B>
    static constexpr void run(M& m, A a, B) {
        m.setBit(a, m.top());
    }
};

// While the top is 1: sets as many bits from the operand upward as the low byte of the
// count constant says.
struct Set {
    template <class M, class A, class B>
    static constexpr void run(M& m, A a, B count) {
        m.setRangeWhen(m.top() != 0, a, count, 1);
    }
};

// While the top is 1: clears a bit range like S does, or resets a timer operand.
struct Reset {
    template <class M, class A, class B>
    static constexpr void run(M& m, A a, B count) {
        if (!m.isTimer(a)) {
            m.setRangeWhen(m.top() != 0, a, count, 0);
        } else if (m.top() != 0) {
            m.resetTimer(a);
        }
    }
};

} // namespace kvx::op
