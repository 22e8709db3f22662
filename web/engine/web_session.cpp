#include "web/engine/web_session.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "core/program.h"
#include "loader/reader.h"
#include "scenario/coverage.h"
#include "scenario/program_file.h"
#include "scenario/recorder.h"
#include "scenario/scenario.h"
#include "scenario/waveform.h"

namespace kvx {

namespace {

// A JSON string literal of `text`, which may hold anything a program file or message holds.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + '"';
}

const char* stateName(StepState state) noexcept {
    switch (state) {
    case StepState::Executed:
        return "executed";
    case StepState::Skipped:
        return "skipped";
    case StepState::Faulted:
        return "faulted";
    case StepState::NotRun:
        break;
    }
    return "notrun";
}

bool lineBefore(const OpList* node, int line) noexcept {
    return node->Line < line;
}

const char* boolText(bool value) noexcept {
    return value ? "true" : "false";
}

template <typename Items, typename Text>
std::string jsonArray(const Items& items, Text text) {
    std::string out = "[";
    const char* separator = "";
    for (const auto& item : items) {
        out += separator + text(item);
        separator = ",";
    }
    return out + "]";
}

// What `kvx test --coverage --vcd` keeps of a run, kept in memory instead of files.
class TestRecord final : public ScenarioWatcher {
public:
    explicit TestRecord(bool withCoverage) {
        if (withCoverage) {
            coverage.emplace();
        }
    }

    void started(const std::string&, Session& session) override {
        if (coverage) {
            coverage->addProgram(session.cpu());
        }
        writer = std::make_unique<WaveformWriter>(vcd, session, std::vector<std::string>{});
        writer->sample(session.now());
    }
    ScanObserver* observer() noexcept override { return coverage ? &*coverage : nullptr; }
    void scanned(std::uint32_t ms) override {
        if (writer) {
            writer->sample(ms);
        }
    }
    void finished(std::uint32_t ms) override {
        if (writer) {
            writer->end(ms);
        }
        writer.reset();
    }

    std::optional<CoverageCounter> coverage;
    std::ostringstream vcd;

private:
    std::unique_ptr<WaveformWriter> writer;
};

std::string coverageJson(const CoverageCounter& coverage) {
    const CoverageSummary s = coverage.summary();
    const auto number = [](int line) { return std::to_string(line); };
    return "{\"linesNeverRun\":" + jsonArray(s.linesNeverRun, number) +
           ",\"contactsOneWay\":" + jsonArray(s.contactsOneWay, number) +
           ",\"totals\":" + quoted(coverageTotals(s)) + "}";
}

} // namespace

WebSession::WebSession() {
    session.addListener(*this);
}

WebSession::~WebSession() {
    session.removeListener(*this);
}

std::string WebSession::load(const std::string& name, const std::string& text) {
    const auto failure = ProgramFile::fromText(name, text).loadInto(session);
    if (failure) {
        failedLine = failure->getLine().value_or(0);
        return loadDiagnostic(name, *failure);
    }
    failedLine = 0;
    programName = name;
    lastFault.reset();
    scans = 0;
    lastScanUs = 0;
    instructions.clear();
    const Listing listing(session.cpu());
    for (std::size_t row = 0; row < listing.size(); ++row) {
        if (const OpList* node = listing.node(row); node != nullptr && node->Op) {
            instructions.push_back(node);
        }
    }
    std::stable_sort(instructions.begin(), instructions.end(),
                     [](const OpList* a, const OpList* b) { return a->Line < b->Line; });
    capturedNodes.clear();
    captured.clear();
    capturedScan = 0;
    return {};
}

int WebSession::pace(double nowMs) {
    // The page's tick is a double of milliseconds; the session counts them in 32 bits.
    const auto now = static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::fmax(nowMs, 0)));
    int ran = 0;
    while (const auto at = pacer.next(now, session.isRunning())) {
        paced.set(*at);
        scan(false);
        ++ran;
    }
    if (!session.isRunning()) {
        paced.set(now);
    }
    return ran;
}

ScanObserver* WebSession::observerForScan() {
    if (!captureWanted) {
        return nullptr;
    }
    const auto [first, last] = *captureWanted;
    captureWanted.reset();
    const auto begin =
        std::lower_bound(instructions.begin(), instructions.end(), first, lineBefore);
    const auto end = std::lower_bound(begin, instructions.end(), last + 1, lineBefore);
    capturedNodes.assign(begin, end);
    captured.clear();
    captured.restrictTo(capturedNodes);
    return &captured;
}

void WebSession::scan(bool step) {
    ScanObserver* observer = observerForScan();
    const auto start = std::chrono::steady_clock::now();
    auto fault = step ? session.singleStep(observer) : session.tick(observer);
    if (fault) {
        lastFault = std::move(fault);
    }
    lastScanUs =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    ++scans;
    if (observer != nullptr) {
        capturedScan = scans;
    }
}

void WebSession::command(WebCommand cmd) {
    switch (cmd) {
    case WebCommand::Continue:
        // A new run: the fault that stopped the last one is no longer the reason it stands.
        lastFault.reset();
        session.run();
        break;
    case WebCommand::Stop:
        session.stop();
        break;
    case WebCommand::Einzelschritt:
        if (session.hasProgram()) {
            scan(true);
        }
        break;
    case WebCommand::Reset:
        session.reset();
        break;
    case WebCommand::Langsamer:
        session.slower();
        break;
    case WebCommand::Schneller:
        session.faster();
        break;
    case WebCommand::Echtzeit:
        session.realTime();
        break;
    case WebCommand::Urloeschen:
        session.clearMemory();
        break;
    }
}

void WebSession::setSwitch(int bit, bool on) {
    session.setSwitch(bit, on ? 1 : 0);
}

void WebSession::toggleSwitch(int bit) {
    if (bit >= 0 && bit < 8) {
        session.setSwitch(bit, session.panel().InState[static_cast<std::size_t>(bit)] == 0);
    }
}

std::string WebSession::state() const {
    const auto byteOf = [](const auto& bits) {
        int byte = 0;
        for (std::size_t i = 0; i < 8; ++i) {
            byte |= (bits[i] != 0 ? 1 : 0) << i;
        }
        return byte;
    };
    const CPUException* fault = session.isRunning() || !lastFault ? nullptr : &*lastFault;
    char scanUs[32];
    std::snprintf(scanUs, sizeof scanUs, "%.1f", lastScanUs);
    return std::string("{\"running\":") + (session.isRunning() ? "true" : "false") +
           ",\"faulted\":" + (fault ? "true" : "false") +
           ",\"fault\":" + quoted(fault ? fault->describe() : std::string()) +
           ",\"faultLine\":" + std::to_string(fault ? fault->getLine().value_or(0) : 0) +
           ",\"leds\":" + std::to_string(byteOf(session.panel().OutState)) +
           ",\"switches\":" + std::to_string(byteOf(session.panel().InState)) +
           ",\"timeMs\":" + std::to_string(session.now()) +
           ",\"faktor\":" + std::to_string(session.faktor()) +
           ",\"scans\":" + std::to_string(scans) + ",\"scanUs\":" + scanUs +
           ",\"program\":" + quoted(programName) +
           ",\"forced\":" + boolText(!session.forces().empty()) +
           ",\"forcedSwitches\":" + std::to_string(forcedBits(false)) +
           ",\"forcedLeds\":" + std::to_string(forcedBits(true)) +
           ",\"recording\":" + boolText(recorder != nullptr) + "}";
}

void WebSession::capture(int firstLine, int lastLine) {
    captureWanted = std::pair(firstLine, lastLine);
}

std::string WebSession::status() const {
    std::string out = "{\"scan\":" + std::to_string(capturedScan) + ",\"rows\":[";
    const char* separator = "";
    for (const OpList* node : capturedNodes) {
        const StepStatus step = captured.of(*node);
        out += separator;
        separator = ",";
        out += "{\"line\":" + std::to_string(node->Line) + ",\"state\":\"" + stateName(step.state) +
               "\",\"vke\":" + std::to_string(step.top) +
               ",\"stack\":" + quoted(step.stack.text()) + ",\"ops\":[";
        std::string forced;
        const char* opSeparator = "";
        const Parameter* const params[] = {node->Op->getP1(), node->Op->getP2()};
        for (std::size_t i = 0; i < step.operands.size(); ++i) {
            if (step.operands[i].present) {
                out += opSeparator + quoted(step.operands[i].text());
                forced += opSeparator;
                forced += boolText(params[i] != nullptr && session.forces().touches(*params[i]));
                opSeparator = ",";
            }
        }
        out += "],\"forced\":[" + forced + "]}";
    }
    return out + "]}";
}

int WebSession::forcedBits(bool output) const noexcept {
    int byte = 0;
    for (int bit = 0; bit < 8; ++bit) {
        byte |= (session.forces().coversPanelBit(output, bit) ? 1 : 0) << bit;
    }
    return byte;
}

bool WebSession::isRow(int row) const noexcept {
    return row >= 0 && static_cast<std::size_t>(row) < watch.size();
}

std::string WebSession::setWatchText(const std::string& text) {
    return watch.setText(text);
}

std::string WebSession::watchSetOperand(int row, const std::string& text) {
    if (!isRow(row) && static_cast<std::size_t>(row) != watch.size()) {
        return {};
    }
    return watch.setOperand(static_cast<std::size_t>(row), text);
}

void WebSession::watchRemove(int row) {
    if (isRow(row)) {
        watch.remove(static_cast<std::size_t>(row));
    }
}

void WebSession::watchSetFormat(int row, const std::string& name) {
    if (const auto format = watchFormatNamed(name); format && isRow(row)) {
        watch.setFormat(static_cast<std::size_t>(row), *format);
    }
}

void WebSession::watchSetControl(int row, const std::string& value) {
    if (!isRow(row)) {
        return;
    }
    const auto r = static_cast<std::size_t>(row);
    watch.setControl(r, value);
    // A new value of a forced row is forced at once, as in the window.
    if (watch.isForced(r)) {
        (void)watch.force(r, watch.control(r));
    }
}

std::string WebSession::watchWrite(int row) {
    if (!isRow(row)) {
        return {};
    }
    const auto r = static_cast<std::size_t>(row);
    return watch.write(r, watch.control(r));
}

int WebSession::watchWriteAll() {
    return static_cast<int>(watch.writeAll());
}

std::string WebSession::watchForce(int row) {
    if (!isRow(row)) {
        return {};
    }
    const auto r = static_cast<std::size_t>(row);
    return watch.force(r, watch.control(r));
}

void WebSession::watchRelease(int row) {
    if (isRow(row)) {
        watch.unforce(static_cast<std::size_t>(row));
    }
}

void WebSession::watchReleaseAll() {
    watch.unforceAll();
}

std::string WebSession::watchValues() const {
    std::vector<std::size_t> rows(watch.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rows[r] = r;
    }
    return "{\"rows\":" +
           jsonArray(rows,
                     [this](std::size_t r) {
                         return "{\"operand\":" + quoted(watch.operandText(r)) + ",\"format\":" +
                                quoted(std::string(watchFormatName(watch.format(r)))) +
                                ",\"value\":" + quoted(watch.valueText(r)) +
                                ",\"control\":" + quoted(watch.control(r)) +
                                ",\"forced\":" + boolText(watch.isForced(r)) +
                                ",\"message\":" + quoted(watch.message(r)) + "}";
                     }) +
           "}";
}

std::string WebSession::test(const std::string& programName, const std::string& programText,
                             const std::string& scenarioName, const std::string& scenarioText,
                             bool coverage) {
    const ProgramFile program = ProgramFile::fromText(programName, programText);
    std::string loadError;
    {
        Session probe;
        if (const auto error = program.loadInto(probe)) {
            loadError = loadDiagnostic(program.name(), *error);
        }
    }
    TestRecord record(coverage);
    std::ostringstream output;
    ScenarioReport report;
    if (loadError.empty()) {
        StringRead source(scenarioText);
        report = runScenario(program, scenarioName, source, output, {}, &record);
    }
    const std::size_t failed = loadError.empty() ? report.failed() : 1;
    output << testSummary(static_cast<std::size_t>(report.passed), failed)
           << (record.coverage ? coverageTotals(record.coverage->summary()) : std::string())
           << '\n';
    const auto failure = [](const ScenarioFailure& f) {
        return "{\"line\":" + std::to_string(f.line) + ",\"text\":" + quoted(f.message) + "}";
    };
    return "{\"output\":" + quoted(output.str()) + ",\"passed\":" + std::to_string(report.passed) +
           ",\"failed\":" + std::to_string(failed) +
           ",\"failures\":" + jsonArray(report.failures, failure) +
           ",\"error\":" + quoted(loadError) + ",\"coverage\":" +
           (record.coverage ? coverageJson(*record.coverage) : std::string("null")) +
           ",\"vcd\":" + quoted(record.vcd.str()) + "}";
}

void WebSession::recordStart(const std::string& date) {
    // As in the window: nothing to record without a program, and one recording at a time.
    if (recorder || !session.hasProgram()) {
        return;
    }
    recording.str({});
    ended.clear();
    recorder = std::make_unique<SessionRecorder>(session, recording, programName, date);
}

void WebSession::endRecording() {
    if (recorder) {
        recorder->finish();
        recorder.reset();
        ended = recording.str();
        recording.str({});
    }
}

std::string WebSession::recordStop() {
    endRecording();
    return std::exchange(ended, {});
}

void WebSession::loaded(std::uint32_t, const std::string&) {
    if (recorder && !recorder->recordsInstalledProgram()) {
        endRecording();
    }
}

} // namespace kvx
