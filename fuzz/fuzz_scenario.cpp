// Scenario files, as the runner reads them, against one fixed program, in-process.
//
// Any bytes are a scenario; the scans a scenario may run are capped, so no input runs long.
// Beyond not crashing, what the runner makes of it must stay fit for the places it goes: every
// failure is one printed line, short and free of anything a terminal would act on, and the JUnit
// report is text an XML parser accepts. Coverage and a waveform watch every run: their
// figures stay within their totals, and the waveform's time never runs backwards.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "loader/reader.h"
#include "scenario/coverage.h"
#include "scenario/junit.h"
#include "scenario/program_file.h"
#include "scenario/scenario.h"
#include "scenario/waveform.h"
#include "session/session.h"

namespace kvx {
namespace {

// Something for every scenario command to act on: switches, a timer, a counter, byte moves, a
// sequence step, and a read outside its area while E0.3 is on.
constexpr const char* Program = R"(ORGANIZATION_BLOCK MAIN:OB1
TITLE=Scenario fuzzing
BEGIN
NETWORK 1
LD E0.0
U E0.1
= A0.0
NETWORK 2
LD E0.4
TON T37 10
LD T37
= A0.1
NETWORK 3
LD E0.5
LD E0.6
LD E0.2
ZVR Z1 3
NETWORK 4
LD SM0.0
MOVB EB0 VB10
MOVW VW10 MW2
NETWORK 5
LD SM0.1
S S0.0 1
NETWORK 6
LSCR S0.0
NETWORK 7
LD E0.7
SCRT S0.1
NETWORK 8
SCRE
NETWORK 9
LD E0.3
MOVB VB200 AB0
END_ORGANIZATION_BLOCK
)";

// Long enough for timers to run out and counters to count, short enough to keep every input
// far below the one-second timeout even when each scan faults (a thrown exception each) and
// the machine is busy.
constexpr std::uint64_t MaxScans = 500;

// A printed failure quotes at most two pieces of user text of QuoteLimit characters, each
// perhaps escaped to four bytes, and a file name; anything longer has leaked uncut text.
constexpr std::size_t MaxLineBytes = 2048;

[[noreturn]] void finding(const char* what, std::string_view detail) {
    std::fprintf(stderr, "fuzz_scenario: %s\n%.*s\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}

// The length of the well-formed UTF-8 character at text[i], or 0.
std::size_t utf8Length(std::string_view text, std::size_t i, char32_t& code) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t n = lead < 0x80                    ? 1
                          : lead >= 0xc2 && lead <= 0xdf ? 2
                          : lead >= 0xe0 && lead <= 0xef ? 3
                          : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                         : 0;
    if (n == 0 || i + n > text.size()) {
        return 0;
    }
    code = n == 1 ? lead : lead & (0x7fu >> n);
    for (std::size_t k = 1; k < n; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xc0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (c & 0x3fu);
    }
    constexpr char32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = code >= 0xd800 && code <= 0xdfff;
    return code < Smallest[n] || surrogate || code > 0x10ffff ? 0 : n;
}

void checkTerminalText(std::string_view out, std::size_t failures) {
    std::size_t lines = 0;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < out.size();) {
        char32_t c = 0;
        const std::size_t n = utf8Length(out, i, c);
        if (n == 0) {
            finding("the printed failures are not UTF-8", out);
        }
        if (c == '\n') {
            ++lines;
            if (i - lineStart > MaxLineBytes) {
                finding("a printed failure is not cut short", out.substr(lineStart, i - lineStart));
            }
            lineStart = i + 1;
        } else if ((c < 0x20 && c != '\t') || (c >= 0x7f && c <= 0x9f)) {
            finding("a control character reaches the terminal", out);
        }
        i += n;
    }
    if (lineStart != out.size()) {
        finding("the printed failures do not end with a line feed", out);
    }
    if (lines != failures) {
        finding("the printed lines are not one per failure", out);
    }
}

void checkXmlText(std::string_view xml) {
    for (std::size_t i = 0; i < xml.size();) {
        char32_t c = 0;
        const std::size_t n = utf8Length(xml, i, c);
        const bool allowed = c == 0x9 || c == 0xa || c == 0xd || (c >= 0x20 && c <= 0xd7ff) ||
                             (c >= 0xe000 && c <= 0xfffd) || c >= 0x10000;
        if (n == 0 || !allowed) {
            finding("the JUnit report holds what XML does not allow", xml);
        }
        i += n;
    }
}

// Coverage and a waveform of the timer, the counter, a byte and a sequence step, as
// `kvx test --coverage --vcd --probe` watch a scenario.
class Watcher final : public ScenarioWatcher {
public:
    void started(const std::string&, Session& session) override {
        coverage.addProgram(session.cpu());
        waveform = std::make_unique<WaveformWriter>(vcd, session, Probes);
        waveform->sample(session.now());
    }
    ScanObserver* observer() noexcept override { return &coverage; }
    void scanned(std::uint32_t ms) override { waveform->sample(ms); }
    void finished(std::uint32_t ms) override {
        waveform->end(ms);
        waveform.reset();
    }

    void check() const {
        const CoverageSummary c = coverage.summary();
        if (c.linesExecuted > c.lines || c.contactsBothWays > c.contacts || c.contacts > c.lines) {
            finding("coverage counts more than there is", "");
        }
        std::istringstream lines(vcd.str());
        std::uint64_t last = 0;
        for (std::string line; std::getline(lines, line);) {
            if (line.starts_with('#')) {
                const std::uint64_t time = std::stoull(line.substr(1));
                if (time < last) {
                    finding("the waveform's time runs backwards", vcd.str());
                }
                last = time;
            }
        }
    }

private:
    static inline const std::vector<std::string> Probes{"T37", "Z1", "VB10", "S0.0"};
    CoverageCounter coverage;
    std::ostringstream vcd;
    std::unique_ptr<WaveformWriter> waveform;
};

} // namespace
} // namespace kvx

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kvx;
    static const ProgramFile program = ProgramFile::fromText("fuzz.awl", Program);

    StringRead source(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream out;
    ScenarioLimits limits;
    limits.maxScans = MaxScans;
    Watcher watcher;
    const ScenarioReport report = runScenario(program, "fuzz.scn", source, out, limits, &watcher);
    watcher.check();
    if (report.failures.empty() && report.failed() != 0) {
        finding("failures were counted but none was kept", out.str());
    }
    checkTerminalText(out.str(), report.failed());

    std::ostringstream xml;
    writeJUnit(xml, program.name(), std::span(&report, 1));
    checkXmlText(xml.str());
    return 0;
}
