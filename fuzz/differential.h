// Differential runs of a scan with an observer attached against a plain one, and of a traced
// run against a plain one, since watching a run must never change it; steps that call the
// tree's execute() and decoded steps meet in the same programs. Shared by the test suite (a fixed
// range of seeds) and the fuzz target fuzz_engine (seeds from libFuzzer).
#pragma once

#include <cstdint>
#include <string>

namespace kvx {
class CPU;
}

namespace kvx::differential {

// Everything a scan can change, as text: the memory areas, timers, counters, scan and
// instruction counts, the top two stack entries and the segment state.
std::string stateOf(CPU& cpu);

// A random program of every instruction of the table: bit logic, stack branches, edges, sequence
// segments (balanced or not), timers, counters, byte and word operations, stack depths near the
// limit and below the bottom, and operands at the edges of their areas and beyond. Most of them
// load; the rest are rejected by the load checks, on both paths alike.
std::string generateProgram(std::uint32_t seed);

// Loads `program` into five sessions, one scanning with an observer, one plain, one
// alternating at random, one writing the text trace and one halting at breakpoints on random
// lines and going on at once, and runs `scans` scans with
// the same random inputs, clock steps, memory presets, forces and resets. After every scan the
// whole state must agree: every memory area, timers, counters, LEDs, scan and instruction
// counts, the top of the stack, the segment state and the error with its location. Returns the
// first difference, or an empty string.
std::string compareRuns(const std::string& program, std::uint32_t seed, int scans);

} // namespace kvx::differential
