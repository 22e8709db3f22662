#include "cli/outputs.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "cli/options.h"
#include "session/operand_access.h"
#include "session/session.h"
#include "session/text.h"

namespace kvx {

namespace {

namespace fs = std::filesystem;

bool isFolder(const std::string& path) {
    std::error_code ignored;
    return fs::is_directory(path, ignored);
}

std::unique_ptr<ReplacingFile> openReport(const std::string& option, const std::string& path,
                                          const Options& o) {
    refuseInput(option, path, o);
    if (isFolder(path)) {
        throw UsageError(option + " " + escaped(path) + " is a folder; name a file");
    }
    auto file = std::make_unique<ReplacingFile>(path);
    if (!file->isOpen()) {
        throw UsageError(option + " " + escaped(path) +
                         (file->writesInPlace() ? ": cannot be opened for writing"
                                                : ": cannot create a file in that folder"));
    }
    return file;
}

// Builds the writer, turning a probe the program has no operand for into a usage error.
std::unique_ptr<WaveformWriter> waveformWriter(std::ostream& out, Session& session,
                                               const std::vector<std::string>& probes) {
    try {
        return std::make_unique<WaveformWriter>(out, session, probes);
    } catch (const InputError& e) {
        throw UsageError(std::string("--probe: ") + e.what());
    } catch (const CPUException& e) {
        throw UsageError(std::string("--probe: ") + e.getText());
    }
}

bool commit(ReplacingFile& file, std::ostream& err) {
    if (file.commit()) {
        return true;
    }
    err << escaped(file.path()) << ": error: cannot write the file\n";
    return false;
}

// The two report paths name one file, whether or not it exists yet.
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ignored;
    return fs::weakly_canonical(a, ignored) == fs::weakly_canonical(b, ignored);
}

// Two reports on one path would leave only the one written last.
void refuseSharedPaths(const std::vector<std::pair<std::string, std::string>>& outputs) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        for (std::size_t j = i + 1; j < outputs.size(); ++j) {
            if (sameFile(outputs[i].second, outputs[j].second)) {
                throw UsageError(outputs[i].first + " and " + outputs[j].first +
                                 " would both write " + escaped(outputs[i].second));
            }
        }
    }
}

// The name the tracefile gives the program: an absolute path, so that genhtml finds the
// program wherever it runs.
std::string coverageSource(const std::string& programPath) {
    if (programPath == "-") {
        return "<stdin>";
    }
    std::error_code ignored;
    return fs::absolute(programPath, ignored).string();
}

} // namespace

void refuseInput(const std::string& option, const std::string& path, const Options& o) {
    if (const auto input = inputAt(path, o.files)) {
        throw UsageError(option + " " + escaped(path) + " is the input file " +
                         escaped(*input == "-" ? std::string("<stdin>") : *input) +
                         "; name another report file");
    }
}

void refuseUnrecordableProgram(const Options& o) {
    const std::string source = coverageSource(o.files.front());
    if (std::any_of(source.begin(), source.end(),
                    [](unsigned char c) { return c < 0x20 || c == 0x7f; })) {
        throw UsageError("--coverage: the program's path " + escaped(source) +
                         " holds control characters, which a tracefile cannot carry");
    }
}

std::string waveformPath(const std::string& out, const std::string& scenario) {
    const std::string name = fs::path(scenario).stem().string();
    if (isFolder(out)) {
        return (fs::path(out) / (name + ".vcd")).string();
    }
    const fs::path base(out);
    const std::string stem =
        base.extension() == ".vcd" ? (base.parent_path() / base.stem()).string() : out;
    return stem + "-" + name + ".vcd";
}

RunWaveform::RunWaveform(const Options& o, Session& session)
    : file(openReport("--vcd", *o.vcd, o)) {
    writer = waveformWriter(file->stream(), session, o.probes);
    writer->sample(session.now());
}

bool RunWaveform::finish(std::uint32_t ms, std::ostream& err) {
    writer->end(ms);
    writer.reset();
    return commit(*file, err);
}

TestOutputs::TestOutputs(const Options& o, Session* loaded) : probes(o.probes) {
    std::vector<std::pair<std::string, std::string>> outputs;
    if (o.junit && *o.junit != "-") {
        outputs.emplace_back("--junit", *o.junit);
    }
    if (o.coverage) {
        outputs.emplace_back("--coverage", *o.coverage);
    }
    std::vector<std::string> waveformPaths;
    if (o.vcd) {
        for (auto it = o.files.begin() + 1; it != o.files.end(); ++it) {
            waveformPaths.push_back(waveformPath(*o.vcd, *it));
            outputs.emplace_back("the waveform of " + escaped(*it), waveformPaths.back());
        }
    }
    refuseSharedPaths(outputs);
    if (o.vcd && loaded != nullptr) {
        std::ostringstream discard;
        (void)waveformWriter(discard, *loaded, probes);
    }
    if (o.coverage) {
        coverage.emplace();
        coverageFile = openReport("--coverage", *o.coverage, o);
    }
    for (std::size_t i = 0; i < waveformPaths.size(); ++i) {
        waveforms.push_back({o.files[i + 1], openReport("--vcd", waveformPaths[i], o)});
    }
}

TestOutputs::~TestOutputs() = default;

void TestOutputs::started(const std::string& scenario, Session& session) {
    if (coverage) {
        coverage->addProgram(session.cpu());
    }
    for (Waveform& waveform : waveforms) {
        if (waveform.scenario == scenario) {
            writer = waveformWriter(waveform.file->stream(), session, probes);
            writer->sample(session.now());
            waveform.ran = true;
            return;
        }
    }
}

ScanObserver* TestOutputs::observer() noexcept {
    return coverage ? &*coverage : nullptr;
}

void TestOutputs::scanned(std::uint32_t ms) {
    if (writer) {
        writer->sample(ms);
    }
}

void TestOutputs::finished(std::uint32_t ms) {
    if (writer) {
        writer->end(ms);
    }
    writer.reset();
}

std::string TestOutputs::summary() const {
    if (!coverage) {
        return {};
    }
    return coverageTotals(coverage->summary());
}

bool TestOutputs::finish(const std::string& programPath, std::ostream& err) {
    bool ok = true;
    if (coverage) {
        coverage->writeLcov(coverageFile->stream(), coverageSource(programPath));
        ok = commit(*coverageFile, err) && ok;
    }
    // A scenario that could not be read has no waveform; its failure says why.
    for (Waveform& waveform : waveforms) {
        if (waveform.ran) {
            ok = commit(*waveform.file, err) && ok;
        }
    }
    return ok;
}

} // namespace kvx
