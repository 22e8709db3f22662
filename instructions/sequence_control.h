// Sequence control relays. The scan skips every instruction but SCRE while the open segment is
// inactive; these three only move that state.
#pragma once

namespace kvx::op {

// Opens the segment guarded by an S bit: the segment is active while that bit is 1.
struct Lscr {
    template <class M, class A, class B>
    static void run(M& m, A a, B) {
        m.setSegment(m.bit(a) ? 1 : 0);
        m.enterStep(a);
    }
};

// While the top is 1: hands control from the current segment's step to its own S bit and
// skips the rest of the segment in this scan. Without a current step the transition still
// enters the new step and ends the segment for this scan.
struct Scrt {
    template <class M, class A, class B>
    static void run(M& m, A a, B) {
        if (m.top() == 0) {
            return;
        }
        m.leaveStep();
        m.setBit(a, 1);
        m.setSegment(0);
    }
};

// Closes the segment; the one instruction that runs inside an inactive segment too.
struct Scre {
    template <class M, class A, class B>
    static void run(M& m, A, B) {
        m.setSegment(-1);
    }
};

} // namespace kvx::op
