// Shared set-up of the benchmarks: a session on simulated time with a program loaded.
#pragma once

#include <cstddef>
#include <string>

#include "core/cpu.h"
#include "session/session.h"

namespace kvx {

// Heap bytes in use and the most in use since the last resetPeak(), as the allocator hands
// them out (including its rounding).
std::size_t heapInUse() noexcept;
std::size_t heapPeak() noexcept;
void resetHeapPeak() noexcept;
// Allocations made so far.
std::size_t heapAllocations() noexcept;

// Loads `source` into `session` (which resets the CPU) and fills E, A, M and V with the
// benchmark pattern. A program that does not load ends the benchmark run.
void loadForBenchmark(Session& session, const std::string& source);

// E, A, M and V in the order patternByte numbers them.
inline constexpr Parameter::ParamClass PatternAreas[] = {Parameter::EType, Parameter::AType,
                                                         Parameter::MType, Parameter::VType};

// Fills E, A, M and V of `cpu` with patternByte, as the native code's areas are filled.
void fillPattern(CPU& cpu);

} // namespace kvx
