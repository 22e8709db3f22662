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

#include "core/common.h"
#include "core/cpu.h"
#include "session/session.h"

namespace kvx {
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

bool load(Session& session, std::string text) {
    return !session.loadText(std::move(text));
}

// A handful of scans with the switches moving and time passing; run-time faults are part of
// normal operation and end only the scan that raised them.
void runScans(Session& session, std::uint8_t seed) {
    session.setStep(1u + static_cast<std::uint32_t>(seed) * 37u);
    for (int scan = 0; scan < 8; ++scan) {
        session.panel().ChangeInput((seed + scan) % MyIO::Size);
        (void)session.scan();
    }
}

// The window's situation: one session for the life of the process, with a program installed
// that every failed load must leave alone.
Session& longLivedSession() {
    static Session session;
    static const bool baseline = load(session, "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n"
                                               "LD E0.0\n= A0.0\nEND_ORGANIZATION_BLOCK\n");
    if (!baseline) {
        finding("the baseline program does not load", "");
    }
    return session;
}

} // namespace
} // namespace kvx

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kvx;
    Session& sim = longLivedSession();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string before = listing(sim.cpu());

    if (!load(sim, input)) {
        if (listing(sim.cpu()) != before) {
            finding("a failed load changed the installed program", input);
        }
        return 0;
    }
    runScans(sim, size > 0 ? data[0] : 0);
    const std::string first = listing(sim.cpu());
    if (!load(sim, first)) {
        finding("the listing of a loaded program does not load again", first);
    }
    if (withoutCarriageReturnsAtLineEnds(listing(sim.cpu())) !=
        withoutCarriageReturnsAtLineEnds(first)) {
        finding("the listing of a loaded program loads as a different program", first);
    }
    return 0;
}
