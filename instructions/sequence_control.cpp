// Sequence control relays. The scan cycle skips every instruction but SCRE while the open
// segment is inactive (scrval 0); these three only move that state.

#include "core/cpu.h"
#include "instructions/operators.h"

namespace kvx {

void LSCR_Op::execute(CPU& c) {
    c.scrval = p1->readBit() == 1 ? 1 : 0;
    c.scrparam = p1.get();
}

// Without an LSCR of this program having run there is no current step to clear; the
// transition still enters the new step and ends the segment for this scan.
void SCRT_Op::execute(CPU& c) {
    if (c.CurrentStack() == 0) {
        return;
    }
    if (c.scrparam != nullptr) {
        c.scrparam->writeBit(0);
    }
    p1->writeBit(1);
    c.scrval = 0;
}

void SCRE_Op::execute(CPU& c) {
    c.scrval = -1;
}

} // namespace kvx
