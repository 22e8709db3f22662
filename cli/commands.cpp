#include "cli/commands.h"

#include <sstream>

#include "cli/outputs.h"
#include "cli/run_stats.h"
#include "core/common.h"
#include "scenario/junit.h"
#include "scenario/program_file.h"
#include "scenario/progress.h"
#include "scenario/report_file.h"
#include "scenario/scenario.h"
#include "session/operand_access.h"
#include "session/session.h"
#include "session/text.h"

namespace kvx {

namespace {

bool load(const ProgramFile& program, Session& session, std::ostream& err) {
    if (const auto error = program.loadInto(session)) {
        err << loadDiagnostic(program.name(), *error);
        return false;
    }
    return true;
}

void applySet(Session& session, const SetArg& set) {
    const std::string what =
        "--set " + forMessage(set.operand) + "=" + forMessage(set.value) + ": ";
    try {
        OperandRef operand(session.cpu(), set.operand);
        operand.set(parseConstant(session.cpu(), set.value), session.panel());
    } catch (const InputError& e) {
        throw UsageError(what + e.what());
    } catch (const CPUException& e) {
        throw UsageError(what + e.getText());
    }
}

// "-" sends the report to standard output; a file is replaced whole or not at all.
bool writeReport(const Options& o, const std::string& xml, std::ostream& out, std::ostream& err) {
    if (*o.junit == "-") {
        out << xml;
        return true;
    }
    if (!replaceFile(*o.junit, xml)) {
        err << escaped(*o.junit) << ": error: cannot write the JUnit report\n";
        return false;
    }
    return true;
}

// A faulting scan is reported and the run goes on, as the CPU itself does: the next scan
// starts afresh, and the LEDs show what the last completed scan left. A failed standard output
// ends the run at once: with nobody reading, every further scan is wasted.
int runScans(const Options& o, const std::string& name, Session& session, std::ostream& out,
             std::ostream& err, RunWaveform* waveform) {
    int code = ExitOk;
    // The trace fills the terminal itself; a progress line would only tear it apart.
    Progress progress(o.showProgress && !o.trace ? &err : nullptr, "kvx", o.scans);
    for (std::uint32_t k = 1; k <= o.scans && k != 0 && out; ++k) {
        StringWriter trace;
        const std::uint32_t at = session.now();
        if (o.trace) {
            out << "--- scan " << k << " at " << at << " ms\n";
        }
        const auto error = session.scan(o.trace ? &trace : nullptr);
        if (waveform != nullptr) {
            waveform->scanned(at);
        }
        // The trace of a step ends after its stack, not with a line end.
        if (!trace.str().empty()) {
            out << trace.str() << '\n';
        }
        if (error) {
            progress.clear();
            out.flush();
            err << name;
            if (const auto line = error->getLine()) {
                err << ':' << *line;
            }
            err << ": scan " << k << ": " << error->getText() << '\n';
            err.flush();
            code = ExitFailure;
        }
        progress.update(k);
    }
    return code;
}

} // namespace

int checkCommand(const Options& o, std::ostream&, std::ostream& err) {
    int code = ExitOk;
    for (const auto& path : o.files) {
        Session session;
        if (!load(ProgramFile(path), session, err)) {
            code = ExitFailure;
        }
    }
    return code;
}

int listCommand(const Options& o, std::ostream& out, std::ostream& err) {
    Session session;
    if (!load(ProgramFile(o.files.front()), session, err)) {
        return ExitFailure;
    }
    StreamWriter writer(out);
    session.cpu().print(writer);
    return ExitOk;
}

int runCommand(const Options& o, std::ostream& out, std::ostream& err) {
    Session session;
    session.setStep(o.stepMs);
    // Refused before anything runs: past the turn of the clock, trace and waveform times would
    // run backwards and timers would count differently.
    if (o.scans > session.scansLeftOnClock()) {
        throw UsageError("--scans " + std::to_string(o.scans) + " with --step " +
                         std::to_string(o.stepMs) + " " + pastClockLimit() +
                         "; run fewer scans or a shorter step");
    }
    const ProgramFile program(o.files.front());
    if (!load(program, session, err)) {
        return ExitFailure;
    }
    for (const auto& set : o.sets) {
        applySet(session, set);
    }
    std::optional<RunWaveform> waveform;
    if (o.vcd) {
        waveform.emplace(o, session);
    }
    const StatsProbe probe(session.cpu());
    int code =
        runScans(o, escaped(program.name()), session, out, err, waveform ? &*waveform : nullptr);
    const RunStats stats = probe.finish(session.cpu());
    if (waveform && !waveform->finish(session.now(), err)) {
        code = ExitFailure;
    }
    out << session.leds() << '\n';
    // On standard output after the LEDs, so it follows the whole trace instead of mixing
    // with it, and a script finds it in one place.
    if (o.stats) {
        out << statsText(stats);
    }
    return code;
}

int testCommand(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.junit && *o.junit != "-") {
        refuseInput("--junit", *o.junit, o);
    }
    if (o.coverage) {
        refuseUnrecordableProgram(o);
    }
    // With the report on standard output, everything else goes to standard error.
    std::ostream& text = o.junit == "-" ? err : out;
    const ProgramFile program(o.files.front());
    std::vector<ScenarioReport> reports;
    std::optional<std::string> loadError;
    std::optional<TestOutputs> outputs;
    {
        // Load once up front: a program that does not load is one error, not one per scenario.
        Session probe;
        if (const auto error = program.loadInto(probe)) {
            loadError = loadDiagnostic(program.name(), *error);
            err << *loadError;
            loadError->pop_back();
        }
        // Also then: a coverage file of the run says that nothing ran, instead of an older
        // run's figures staying in place.
        outputs.emplace(o, loadError ? nullptr : &probe);
    }
    std::size_t passed = 0;
    std::size_t failed = loadError ? 1 : 0;
    if (!loadError) {
        ScenarioLimits limits;
        limits.maxScans = o.maxScans;
        limits.progress = o.showProgress ? &err : nullptr;
        for (auto it = o.files.begin() + 1; it != o.files.end(); ++it) {
            reports.push_back(runScenario(program, *it, text, limits, &*outputs));
            passed += static_cast<std::size_t>(reports.back().passed);
            failed += reports.back().failed();
        }
    }
    text << testSummary(passed, failed) << outputs->summary() << '\n';
    const bool written = outputs->finish(program.path(), err);
    if (o.junit) {
        std::ostringstream xml;
        writeJUnit(xml, program.name(), reports, loadError);
        if (!writeReport(o, xml.str(), out, err)) {
            return ExitFailure;
        }
    }
    return failed == 0 && written ? ExitOk : ExitFailure;
}

} // namespace kvx
