// Whole program files through the loader into one long-lived CPU, the way the window and the
// runner load them.
//
// Any input may be rejected with CPUException. A rejected load must leave the installed
// program exactly as it was; an accepted one must reset, run a few scans on a simulated clock
// and list. The listing is what the loader reads, so it must load again and list the same.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "core/common.h"
#include "core/cpu.h"
#include "frontend/myio.h"
#include "loader/parser.h"
#include "loader/reader.h"

namespace {

[[noreturn]] void finding(const char* what, std::string_view detail) {
    std::fprintf(stderr, "fuzz_load: %s\n%.*s\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}

std::string listing(const CPU& cpu) {
    StringWriter w;
    cpu.print(w);
    return w.str();
}

// A line break in the file may be CR LF, so a carriage return that ends a comment or title
// line is read as part of the line end, not of the text: such a text lists as it was loaded
// but loads back without its last carriage returns. Nothing else may change.
std::string withoutCarriageReturnsAtLineEnds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\n') {
            while (!out.empty() && out.back() == '\r') {
                out.pop_back();
            }
        }
        out.push_back(c);
    }
    return out;
}

bool load(CPU& cpu, std::string text) {
    StringRead reader(std::move(text));
    try {
        Parser{}.LoadInCPU(cpu, reader);
    } catch (const CPUException&) {
        return false;
    }
    return true;
}

// A handful of scans with the switches moving and time passing; run-time faults are part of
// normal operation and end only the scan that raised them.
void runScans(CPU& cpu, SimClock& clock, MyIO& panel, std::uint8_t seed) {
    cpu.reset();
    for (int scan = 0; scan < 8; ++scan) {
        panel.ChangeInput((seed + scan) % MyIO::Size);
        clock.advance(1u + static_cast<std::uint32_t>(seed) * 37u);
        try {
            cpu.runStep();
        } catch (const CPUException&) {
        }
    }
}

// The window's situation: one CPU for the life of the process, a panel attached, and a
// program installed that every failed load must leave alone.
struct Simulator final {
    Simulator() {
        cpu.setIO(&panel);
        if (!load(cpu, "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\nLD E0.0\n= A0.0\n"
                       "END_ORGANIZATION_BLOCK\n")) {
            finding("the baseline program does not load", "");
        }
    }
    SimClock clock;
    MyIO panel;
    CPU cpu{clock};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Simulator sim;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string before = listing(sim.cpu);

    if (!load(sim.cpu, input)) {
        if (listing(sim.cpu) != before) {
            finding("a failed load changed the installed program", input);
        }
        return 0;
    }
    runScans(sim.cpu, sim.clock, sim.panel, size > 0 ? data[0] : 0);
    const std::string first = listing(sim.cpu);
    if (!load(sim.cpu, first)) {
        finding("the listing of a loaded program does not load again", first);
    }
    if (withoutCarriageReturnsAtLineEnds(listing(sim.cpu)) !=
        withoutCarriageReturnsAtLineEnds(first)) {
        finding("the listing of a loaded program loads as a different program", first);
    }
    return 0;
}
