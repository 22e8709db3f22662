// Looking into a running scan without changing it: status views, coverage, waveforms and the
// trace all see the scan through a ScanObserver, and forced operands enter it through a
// ForceHook. Neither costs a scan anything while none is attached.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvx {

class CPU;
struct OpList;

// Told about every instruction node of one scan, in scan order. The calls come after the
// instruction acted (the logic stack then holds its result); a node whose instruction raised
// gets faulted() instead, and the scan ends there.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual void executed(const OpList& node, const CPU& cpu) = 0;
    // Passed over because its sequence segment is inactive.
    virtual void skipped(const OpList& /*node*/) {}
    virtual void faulted(const OpList& /*node*/, const CPU& /*cpu*/) {}
};

// Decides where a scan halts: asked before every instruction node a halting scan reaches
// (CPU::beginScan, CPU::resumeScan), with the CPU as the instructions before it left it. A
// plain scan never asks, so a program without a debugger pays nothing for it.
class HaltCheck {
public:
    virtual ~HaltCheck() = default;
    virtual bool haltBefore(const OpList& node, const CPU& cpu) = 0;
};

// Where a halted scan stands: the decoded step it goes on with, its 1 ms phase, and the
// instructions it passed over in inactive segments so far (the executed count of the scan is
// settled when it ends).
struct HaltedScan {
    std::size_t step = 0;
    std::uint32_t phase = 0;
    std::uint64_t skipped = 0;
};

// Writes forced values into the CPU: every scan, once after the inputs were copied from the
// panel, and once more for outputs before they are copied to the panel.
class ForceHook {
public:
    virtual ~ForceHook() = default;
    virtual void afterInputs(CPU& cpu) = 0;
    virtual void beforeOutputs(CPU& cpu) = 0;
};

} // namespace kvx
