// Replays the fuzz regression inputs and the examples through the fuzz harnesses themselves,
// so every build (not only the clang fuzz build) keeps the inputs that once failed in view.
// A harness aborts the process on a finding.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "robustness_support.h"

// The harness entry points, renamed at compile time (tests/robustness/CMakeLists.txt).
extern "C" int replayFuzzLoad(const std::uint8_t* data, std::size_t size);
extern "C" int replayFuzzOperand(const std::uint8_t* data, std::size_t size);
extern "C" int replayFuzzScenario(const std::uint8_t* data, std::size_t size);

namespace kvx {
namespace {

std::vector<std::string> filesIn(const std::filesystem::path& dir) {
    std::vector<std::string> files;
    if (std::filesystem::is_directory(dir)) {
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path().string());
            }
        }
    }
    return files;
}

void replay(int (*harness)(const std::uint8_t*, std::size_t), const std::string& file) {
    SCOPED_TRACE(file);
    const std::string data = readFile(file);
    EXPECT_EQ(harness(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()), 0);
}

TEST(FuzzReplay, LoaderRegressionsAndExamples) {
    auto files = filesIn(KVX_FUZZ_REGRESSIONS_DIR "/fuzz_load");
    const auto examples = filesIn(KVX_EXAMPLES_DIR);
    ASSERT_FALSE(examples.empty());
    files.insert(files.end(), examples.begin(), examples.end());
    for (const auto& file : files) {
        replay(replayFuzzLoad, file);
    }
}

TEST(FuzzReplay, OperandRegressions) {
    for (const auto& file : filesIn(KVX_FUZZ_REGRESSIONS_DIR "/fuzz_operand")) {
        replay(replayFuzzOperand, file);
    }
}

TEST(FuzzReplay, ScenarioRegressionsAndExampleScenarios) {
    auto files = filesIn(KVX_FUZZ_REGRESSIONS_DIR "/fuzz_scenario");
    ASSERT_FALSE(files.empty());
    for (const auto& file : filesIn(KVX_EXAMPLES_DIR)) {
        if (file.ends_with(".scn")) {
            files.push_back(file);
        }
    }
    for (const auto& file : files) {
        replay(replayFuzzScenario, file);
    }
}

} // namespace
} // namespace kvx
