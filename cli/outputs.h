// The files run and test write beside their text: coverage and waveforms. Each is checked and
// opened before the first scan, so that a path that cannot be written, one that is an input, or
// a probe the program has no operand for is a usage error, and nothing is left half-written.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "scenario/coverage.h"
#include "scenario/report_file.h"
#include "scenario/scenario.h"
#include "scenario/waveform.h"

namespace kvx {

struct Options;
class Session;

// A report that overwrote the program or a scenario would destroy the very thing under test:
// throws UsageError when `path` is one of the input files.
void refuseInput(const std::string& option, const std::string& path, const Options& o);

// A line break in the program's name would split the tracefile's record and stop genhtml:
// throws UsageError when the name the tracefile gives the program holds a control character.
void refuseUnrecordableProgram(const Options& o);

// Where `test --vcd OUT` writes the waveform of `scenario`: OUT/NAME.vcd when OUT is a folder,
// else OUT-NAME.vcd, OUT without a final ".vcd"; NAME is the scenario file's name without its
// extension.
std::string waveformPath(const std::string& out, const std::string& scenario);

// The waveform of `kvx run --vcd`. Throws UsageError for a bad path or probe; `session` holds
// the loaded program and must outlive the object.
class RunWaveform final {
public:
    RunWaveform(const Options& o, Session& session);
    // After the scan that started at simulated time `ms`.
    void scanned(std::uint32_t ms) { writer->sample(ms); }
    // Ends the waveform at simulated time `ms`, the end of the last scan's interval. False,
    // with the reason on `err`, when the file could not be completed.
    bool finish(std::uint32_t ms, std::ostream& err);

private:
    std::unique_ptr<ReplacingFile> file;
    std::unique_ptr<WaveformWriter> writer;
};

// Coverage and waveforms of `kvx test`, watching every scenario. Throws UsageError for a bad
// path or probe; `loaded` holds the program, for checking the probes, and is null when the
// program does not load (the probes then go unchecked, as nothing runs).
class TestOutputs final : public ScenarioWatcher {
public:
    TestOutputs(const Options& o, Session* loaded);
    ~TestOutputs() override;

    void started(const std::string& scenario, Session& session) override;
    ScanObserver* observer() noexcept override;
    void scanned(std::uint32_t ms) override;
    void finished(std::uint32_t ms) override;

    // ", lines executed: N of M, contacts seen both ways: N of M" with coverage; else nothing.
    std::string summary() const;
    // Completes every file. False, with the reasons on `err`, when one could not be written.
    bool finish(const std::string& programPath, std::ostream& err);

private:
    struct Waveform {
        std::string scenario;
        std::unique_ptr<ReplacingFile> file;
        bool ran = false;
    };
    std::optional<CoverageCounter> coverage;
    std::unique_ptr<ReplacingFile> coverageFile;
    std::vector<std::string> probes;
    std::vector<Waveform> waveforms;
    std::unique_ptr<WaveformWriter> writer;
};

} // namespace kvx
