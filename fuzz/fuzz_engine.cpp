// The two scan paths, and a traced run, against each other on generated programs (see
// differential.h): libFuzzer chooses the generator's seed (the first four bytes) and the
// number of scans (the fifth), so a long run explores far more programs than the test suite's
// fixed range of seeds. Any difference aborts with the program and the first differing state.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/differential.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint32_t seed = 0;
    for (std::size_t i = 0; i < size && i < 4; ++i) {
        seed = seed << 8 | data[i];
    }
    const int scans = size > 4 ? 1 + data[4] % 100 : 30;
    const std::string program = kvx::differential::generateProgram(seed);
    const std::string difference = kvx::differential::compareRuns(program, seed, scans);
    if (!difference.empty()) {
        std::fprintf(stderr, "fuzz_engine: the scan paths differ (seed %u)\n%s\n%s\n", seed,
                     difference.c_str(), program.c_str());
        std::abort();
    }
    return 0;
}
