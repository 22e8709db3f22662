// Shared set-up of the benchmarks: a CPU on a simulated clock with a program loaded.
#pragma once

#include <cstddef>
#include <string>

#include "core/clock.h"
#include "core/cpu.h"

// Heap bytes in use and the most in use since the last resetPeak(), as the allocator hands
// them out (including its rounding).
std::size_t heapInUse() noexcept;
std::size_t heapPeak() noexcept;
void resetHeapPeak() noexcept;
// Allocations made so far.
std::size_t heapAllocations() noexcept;

class LoadedCpu final {
public:
    // Loads `source`, resets the CPU and fills E, A, M and V with the benchmark pattern.
    explicit LoadedCpu(const std::string& source);

    SimClock clock;
    CPU cpu{clock};
};

// E, A, M and V in the order patternByte numbers them.
inline constexpr Parameter::ParamClass PatternAreas[] = {Parameter::EType, Parameter::AType,
                                                         Parameter::MType, Parameter::VType};

// Fills E, A, M and V of `cpu` with patternByte, as the native code's areas are filled.
void fillPattern(CPU& cpu);
