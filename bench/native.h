// The bit-logic benchmark program compiled to native code; generated at build time from the
// same generator and seed as the interpreted program.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bench/programs.h"

namespace kvx {

inline constexpr std::size_t BitLogicInstructions = 1000;
inline constexpr std::uint32_t BitLogicSeed = 20261208;
inline constexpr std::size_t MixedInstructions = 1000;
inline constexpr std::uint32_t MixedSeed = 7;

// One scan of the bit-logic program's work over the areas.
void runBitLogicNative(NativeAreas& m) noexcept;

} // namespace kvx
