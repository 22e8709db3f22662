#include "cli/machine.h"

#include "core/common.h"

Machine::Machine() : processor(clock) {
    processor.setIO(&io);
}

std::optional<std::string> Machine::scan(Writer* trace) {
    std::optional<std::string> error;
    try {
        processor.runStep(trace);
    } catch (const CPUException& e) {
        error = e.getText();
    }
    clock.advance(stepMs);
    return error;
}

std::string Machine::leds() const {
    std::string line = "A0.7..A0.0 ";
    for (int bit = MyIO::Size - 1; bit >= 0; --bit) {
        line += io.OutState[static_cast<std::size_t>(bit)] != 0 ? '1' : '0';
    }
    return line;
}
