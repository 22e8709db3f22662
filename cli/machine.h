// The controller as the runner drives it: a CPU with the 8-in/8-out panel on a clock that
// moves only between scans, by a fixed step.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/clock.h"
#include "core/cpu.h"
#include "frontend/myio.h"

class Writer;

class Machine final {
public:
    // All memory 0, no program, the clock at 0, a step of 1 ms.
    Machine();

    CPU& cpu() noexcept { return processor; }
    MyIO& panel() noexcept { return io; }
    std::uint32_t now() const noexcept { return clock.getmsTime(); }

    std::uint32_t step() const noexcept { return stepMs; }
    void setStep(std::uint32_t ms) noexcept { stepMs = ms; }

    // One scan cycle, then the clock advances by the step, whether or not the scan raised.
    // Returns the text of the run-time error the scan raised, if it did.
    std::optional<std::string> scan(Writer* trace = nullptr);

    // The LEDs as the panel shows them, A0.7 first: "A0.7..A0.0 00000101".
    std::string leds() const;

private:
    SimClock clock;
    MyIO io;
    CPU processor;
    std::uint32_t stepMs = 1;
};
