// On-delay timer and up/down counter. Their state lives in the CPU's Timer and Counter
// objects, so every instruction on the same number shares it.

#include "core/cpu.h"
#include "core/timer.h"
#include "instructions/operand_access.h"
#include "instructions/operators.h"
#include "operands/parameter.h"

namespace kvx {

void TON_Op::execute(CPU& c) {
    Timer& timer = *operandAs<TimerParameter>(p1.get()).getTimer();
    // The preset is taken at every execution, so a preset held in memory acts at once.
    timer.setLimit(p2->readWord());
    if (c.CurrentStack() == 0) {
        timer.reset();
        return;
    }
    timer.setActive(1);
    timer.Increment();
}

void ZVR_Op::execute(CPU& c) {
    const int countUp = c.pop();
    const int countDown = c.pop();
    const int resetInput = c.CurrentStack();
    c.push(countDown);
    c.push(countUp);

    Counter& counter = *operandAs<CounterParameter>(p1.get()).getCounter();
    counter.setLimit(p2->readWord());
    if (resetInput != 0) {
        counter.setValue(0);
    }
    if (countUp != 0 && up == 0) {
        counter.Add();
    }
    if (countDown != 0 && down == 0) {
        counter.Sub();
    }
    up = countUp;
    down = countDown;
}

} // namespace kvx
