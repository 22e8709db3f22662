// Deterministic programs for the benchmarks. Each instruction comes with the same work written
// as plain C++ over byte arrays, so the bit-logic program can also be compiled natively and
// the interpreter measured against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/timer.h"
#include "instructions/timer_counter.h"

namespace kvx {

struct GeneratedInstruction {
    std::string il;     // one instruction line, without line end
    std::string native; // the same effect as one C++ statement; empty where not generated
};

struct GeneratedNetwork {
    std::vector<GeneratedInstruction> ops;
};

struct GeneratedProgram {
    std::vector<GeneratedNetwork> networks;
    std::size_t instructions = 0;

    // The whole program as an .awl text, one organization block.
    std::string source() const;
    // The body of a C++ function over `NativeAreas& m`; only bit-logic programs have one.
    std::string nativeBody() const;
    // This program `times` over, network after network.
    GeneratedProgram repeated(std::size_t times) const;
};

// Contacts, coils, ULD/OLD and LPS/LRD/LPP over E, A, M and V bits; exactly `instructions`.
GeneratedProgram bitLogicProgram(std::size_t instructions, std::uint32_t seed);

// Bit logic mixed with on-delay timers of 10 ms and 100 ms, up/down counters, byte and word
// moves and comparisons, and two sequence segments of which only the first is ever active.
// Exactly `instructions`, of which the inactive segment's are skipped at run time.
GeneratedProgram mixedProgram(std::size_t instructions, std::uint32_t seed);

// Nested logic (LPS/LRD/LPP, ULD/OLD), set and reset of bit ranges, edges, 100 ms on-delay
// timers, up/down counters, byte and word compares and moves, networks in random order, as a
// real program mixes them; about `instructions` (at least that many, at most 40 more). Every
// instruction has its native statement over a NativeMix.
GeneratedProgram realisticMix(std::size_t instructions, std::uint32_t seed);

// The load benchmarks' program of about `lines` lines: the mixed program, of which every
// network line carries about six instruction lines.
GeneratedProgram loadProgram(std::size_t lines);

// The byte areas the native code works on, laid out like the interpreter's areas.
struct NativeAreas {
    std::uint8_t E[100];
    std::uint8_t A[100];
    std::uint8_t M[100];
    std::uint8_t V[100];
};

// The start value of byte `addr` of area `area` (0 E, 1 A, 2 M, 3 V): both sides start from the
// same pseudo-random memory.
std::uint8_t patternByte(int area, int addr) noexcept;

// The four areas in the order patternByte numbers them.
inline std::uint8_t* nativeArea(NativeAreas& m, int area) noexcept {
    std::uint8_t* const areas[] = {m.E, m.A, m.M, m.V};
    return areas[area];
}
void fillPattern(NativeAreas& m) noexcept;

// What the native form of the realistic mix works on: the areas, the timers and counters it
// names, and one memory per edge and per counter instruction.
struct NativeMix {
    static constexpr std::size_t Memories = 4096;
    NativeAreas m{};
    SimClock clock;
    std::vector<Timer> T;
    std::vector<Counter> Z = std::vector<Counter>(256);
    std::vector<std::uint8_t> edge = std::vector<std::uint8_t>(Memories);
    std::vector<op::CounterInputs> inputs = std::vector<op::CounterInputs>(Memories);

    NativeMix();
    NativeMix(const NativeMix&) = delete;
    NativeMix& operator=(const NativeMix&) = delete;
};

} // namespace kvx
