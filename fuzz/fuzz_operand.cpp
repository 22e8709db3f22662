// Operand texts, as they come from an instruction line, to operand objects and back.
//
// Any input may be rejected with CPUException. Beyond not crashing, an accepted operand must
// honour its own capability flags: every access it claims either works or raises the memory
// area's error, every access it does not claim raises an error, and its printed form parses
// again to an operand that prints the same (the listing relies on that).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "core/common.h"
#include "core/cpu.h"
#include "core/program.h"

namespace kvx {
namespace {

[[noreturn]] void finding(const char* what, std::string_view input) {
    std::fprintf(stderr, "fuzz_operand: %s for operand \"%.*s\"\n", what,
                 static_cast<int>(input.size()), input.data());
    std::abort();
}

// Runs one access. Returns whether it completed; a claimed access may still fail on the
// area's bounds, an unclaimed one must always fail.
template <typename Access>
void probe(bool claimed, std::string_view input, Access&& access) {
    bool completed = false;
    try {
        access();
        completed = true;
    } catch (const CPUException&) {
    }
    if (completed && !claimed) {
        finding("an access outside its SupOps completed", input);
    }
}

void exerciseAccesses(Parameter& p, std::string_view input, std::uint32_t value) {
    const Parameter::SupOps ops = p.getOperations();
    probe(ops.RBit, input, [&] { (void)p.readBit(); });
    probe(ops.RByte, input, [&] { (void)p.readByte(); });
    probe(ops.RWord, input, [&] { (void)p.readWord(); });
    probe(ops.RLong, input, [&] { (void)p.readLong(); });
    // Writes mutate the shared CPU, which is exactly what a long-running program does.
    probe(ops.WBit, input, [&] { p.writeBit(static_cast<int>(value & 1u)); });
    probe(ops.WByte, input, [&] { p.writeByte(static_cast<std::uint8_t>(value)); });
    probe(ops.WWord, input, [&] { p.writeWord(static_cast<std::uint16_t>(value)); });
    probe(ops.WLong, input, [&] { p.writeLong(value); });
}

std::string printed(const Parameter& p) {
    StringWriter w;
    p.print(w);
    return w.str();
}

void checkRoundTrip(CPU& cpu, const Parameter& p, std::string_view input) {
    const std::string text = printed(p);
    if (text.empty() || text.front() != ' ') {
        finding("print() does not start with a blank", input);
    }
    std::unique_ptr<Parameter> again;
    try {
        again = cpu.parserParameter(std::string_view(text).substr(1));
    } catch (const CPUException&) {
        finding("the printed form does not parse again", input);
    }
    if (printed(*again) != text || again->getClass() != p.getClass()) {
        finding("the printed form parses to a different operand", input);
    }
}

} // namespace
} // namespace kvx

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kvx;
    // One CPU for the whole run, as in the window: areas, timers and counters persist.
    static SimClock clock;
    static CPU cpu(clock);
    clock.advance(7);

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<Parameter> p;
    try {
        p = cpu.parserParameter(input);
    } catch (const CPUException&) {
        return 0;
    }
    if (!p) {
        finding("parserParameter returned no operand and raised nothing", input);
    }
    checkRoundTrip(cpu, *p, input);
    // The trace shows a width the area refuses as "?": looking at an operand never raises.
    try {
        StringWriter w;
        p->debugout(w);
    } catch (const CPUException&) {
        finding("debugout raised", input);
    }
    exerciseAccesses(*p, input, static_cast<std::uint32_t>(size) * 2654435761u);
    return 0;
}
