// On-delay timer and up/down counter. Their state lives in the CPU's Timer and Counter
// objects, so every instruction on the same number shares it.
#pragma once

#include "core/timer.h"

namespace kvx::op {

// On-delay timer, enabled by the top: counts whole time-base intervals while enabled and is
// cleared at once when not. The preset is taken at every execution, so a preset held in
// memory acts at once.
struct OnDelay {
    template <class M, class A, class B>
    static void run(M& m, A a, B preset) {
        Timer& timer = m.timer(a);
        timer.setLimit(m.word(preset));
        if (m.top() == 0) {
            timer.reset();
            return;
        }
        timer.setActive(1);
        timer.Increment();
    }
};

// What the counter remembers of its inputs from its previous execution.
struct CounterInputs {
    int up = 0;
    int down = 0;
};

// Up/down counter on the three top entries (from the top: count up, count down, reset),
// which it leaves in place. Reset, then the up edge, then the down edge apply in one
// execution; the edges are against this instruction's previous execution.
struct UpDownCounter {
    using Memory = CounterInputs;
    template <class M, class A, class B>
    static void run(M& m, A a, B preset, Memory& memory) {
        const int countUp = m.pop();
        const int countDown = m.pop();
        const int resetInput = m.top();
        m.push(countDown);
        m.push(countUp);

        Counter& counter = m.counter(a);
        counter.setLimit(m.word(preset));
        if (resetInput != 0) {
            counter.setValue(0);
        }
        if (countUp != 0 && memory.up == 0) {
            counter.Add();
        }
        if (countDown != 0 && memory.down == 0) {
            counter.Sub();
        }
        memory.up = countUp;
        memory.down = countDown;
    }
};

} // namespace kvx::op
