// Recorded window sessions against their replay (see replay_session.h): libFuzzer's bytes are
// the session's choices, one byte each (four for a larger range), so it can steer towards the
// sequences of loads, stops, steps, speed changes, writes and forces that a fixed range of
// seeds does not reach. Any difference aborts with the recording and the program.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/replay_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    const kvx::replay::Choose choose = [&](std::uint32_t bound) -> std::uint32_t {
        std::uint32_t value = 0;
        for (int bytes = bound > 256 ? 4 : 1; bytes > 0 && at < size; --bytes) {
            value = value << 8 | data[at++];
        }
        return value % bound;
    };
    const std::string difference = kvx::replay::checkSession(choose, 40);
    if (!difference.empty()) {
        std::fprintf(stderr, "fuzz_replay: the replay differs from the session\n%s\n",
                     difference.c_str());
        std::abort();
    }
    return 0;
}
