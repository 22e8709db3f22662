// What a session announces to its front ends, its recorder and its tests: every change that a
// person could see or cause, each with the simulated time at which it happened, so that a
// listener can show it, or write it down and play it back. A listener that cares for a few
// events overrides those; the others cost it nothing.
//
// Events are announced on the session's thread, after the change took effect. A listener may
// drive the session from an event (stop it, add or remove listeners), but the events that
// causes reach the other listeners before the first one has been told to all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/common.h"

namespace kvx {

struct Constant;

enum class RunChange {
    Running,
    Stopped,
    // One scan whatever the run state; its scanned() follows.
    SingleStep,
    // The instructions' own memories cleared and the first-scan bits set.
    Reset,
    // Urlöschen: memory, timers, counters and the LEDs cleared, then a Reset.
    MemoryCleared,
};

class SessionListener {
public:
    virtual ~SessionListener() = default;

    // A program was installed, reset and set running; `source` is its file, empty for a text.
    virtual void loaded(std::uint32_t /*now*/, const std::string& /*source*/) {}
    // A load failed; the session is as it was.
    virtual void loadFailed(std::uint32_t /*now*/, const CPUException& /*error*/) {}
    // One scan ended; a fault it raised has stopped the run, and faulted() follows.
    virtual void scanned(std::uint32_t /*now*/, const std::optional<CPUException>& /*fault*/) {}
    virtual void faulted(std::uint32_t /*now*/, const CPUException& /*fault*/) {}
    // A scan halted before the instruction at program `line`: at a breakpoint (or a line run
    // to), or after one instruction was stepped (`step`). `now` is the time of the command
    // that halted it, for a scan begun by it the time the scan started at. scanned() follows
    // when the scan ends.
    virtual void halted(std::uint32_t /*now*/, int /*line*/, bool /*step*/) {}
    virtual void runChanged(std::uint32_t /*now*/, RunChange /*change*/) {}
    virtual void speedChanged(std::uint32_t /*now*/, int /*faktor*/) {}
    // Input switch E0.`bit` set to `value` (0 or 1) from the panel.
    virtual void switchSet(std::uint32_t /*now*/, int /*bit*/, int /*value*/) {}
    // `name` forced to `value` (in its width), or released (nullopt); an empty name with
    // nullopt releases all.
    virtual void forceChanged(std::uint32_t /*now*/, const std::string& /*name*/,
                              std::optional<std::uint32_t> /*value*/) {}
    // `name` written once with `value` (the watch table's write, a scenario's `set`).
    virtual void operandWritten(std::uint32_t /*now*/, const std::string& /*name*/,
                                const Constant& /*value*/) {}

protected:
    SessionListener() = default;
    SessionListener(const SessionListener&) = default;
    SessionListener& operator=(const SessionListener&) = default;
};

} // namespace kvx
