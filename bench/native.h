// The bit-logic benchmark program and the realistic mix compiled to native code; generated at build
// time from the same generator and seed as the interpreted program.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bench/programs.h"

namespace kvx {

inline constexpr std::size_t BitLogicInstructions = 1000;
inline constexpr std::uint32_t BitLogicSeed = 20261208;
inline constexpr std::size_t MixedInstructions = 1000;
inline constexpr std::uint32_t MixedSeed = 7;
inline constexpr std::size_t RealisticMixInstructions = 7400;
inline constexpr std::uint32_t RealisticMixSeed = 20261209;

// The big bit-logic program: the 1000-instruction program this many times over, so that its
// native form is the same code run again.
inline constexpr std::size_t MillionRepeats = 1000;
inline constexpr std::size_t MillionInstructions = BitLogicInstructions * MillionRepeats;

// One scan of the bit-logic program's work over the areas.
void runBitLogicNative(NativeAreas& m) noexcept;
// The same, but every contact reads and every coil writes memory through a volatile access, so
// the compiler can neither carry values from rung to rung nor drop a coil that a later rung
// overwrites: the work the interpreter does, done by compiled code.
void runBitLogicNativeOpaque(NativeAreas& m) noexcept;
// One scan of the realistic mix, every memory access volatile as in the opaque bit logic.
void runMixNative(NativeMix& x) noexcept;

} // namespace kvx
