// Recorded sessions against their replay: a random window session, driven through the same
// session interface as the window with a fake real-time clock, is recorded; the recording is
// replayed by the runner's scenario code; the two must agree at every scan on the time to the
// millisecond, every memory area, timer and counter, and the replay must pass. Shared by the
// test suite (a fixed range of seeds) and the fuzz target fuzz_replay (choices from libFuzzer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kvx::replay {

// A source of choices: a number below `bound` (which is above 0).
using Choose = std::function<std::uint32_t(std::uint32_t bound)>;

// Plays one session of at most `actions` actions from `choose`: loads of other programs, then
// of the program to record, actions and time before the recording, then the recording with
// reloads, switch flips, stop, single steps, continue, reset, speed changes, writes, forces
// and releases, each after a random stretch of real time. Returns the first difference, with
// the recording, or an empty string.
std::string checkSession(const Choose& choose, int actions);

// The same with choices from a seeded generator.
std::string checkSession(std::uint32_t seed, int actions);

} // namespace kvx::replay
