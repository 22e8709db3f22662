#include "cli/commands.h"

#include <fstream>

#include "cli/junit.h"
#include "cli/operand_access.h"
#include "cli/program_file.h"
#include "cli/run_stats.h"
#include "cli/scenario.h"
#include "core/common.h"
#include "session/session.h"

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
    try {
        OperandRef operand(session.cpu(), set.operand);
        operand.set(parseConstant(session.cpu(), set.value), session.panel());
    } catch (const InputError& e) {
        throw UsageError("--set " + set.operand + "=" + set.value + ": " + e.what());
    } catch (const CPUException& e) {
        throw UsageError("--set " + set.operand + "=" + set.value + ": " + e.getText());
    }
}

bool writeJUnitFile(const std::string& path, const std::string& program,
                    const std::vector<ScenarioReport>& reports, std::ostream& err) {
    std::ofstream file(path);
    if (file) {
        writeJUnit(file, program, reports);
        file.close();
    }
    if (!file) {
        err << path << ": error: cannot write the JUnit report\n";
        return false;
    }
    return true;
}

// A faulting scan is reported and the run goes on, as the CPU itself does: the next scan
// starts afresh, and the LEDs show what the last completed scan left. A failed standard output
// ends the run at once: with nobody reading, every further scan is wasted.
int runScans(const Options& o, const std::string& name, Session& session, std::ostream& out,
             std::ostream& err) {
    int code = ExitOk;
    for (std::uint32_t k = 1; k <= o.scans && k != 0 && out; ++k) {
        StringWriter trace;
        if (o.trace) {
            out << "--- scan " << k << " at " << session.now() << " ms\n";
        }
        const auto error = session.scan(o.trace ? &trace : nullptr);
        // The trace of a step ends after its stack, not with a line end.
        if (!trace.str().empty()) {
            out << trace.str() << '\n';
        }
        if (error) {
            out.flush();
            err << name << ": scan " << k << ": " << error->getText() << '\n';
            err.flush();
            code = ExitFailure;
        }
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
    const ProgramFile program(o.files.front());
    Session session;
    if (!load(program, session, err)) {
        return ExitFailure;
    }
    for (const auto& set : o.sets) {
        applySet(session, set);
    }
    session.setStep(o.stepMs);
    const StatsProbe probe(session.cpu());
    const int code = runScans(o, program.name(), session, out, err);
    const RunStats stats = probe.finish(session.cpu());
    out << session.leds() << '\n';
    // On standard output after the LEDs, so it follows the whole trace instead of mixing
    // with it, and a script finds it in one place.
    if (o.stats) {
        out << statsText(stats);
    }
    return code;
}

int testCommand(const Options& o, std::ostream& out, std::ostream& err) {
    const ProgramFile program(o.files.front());
    {
        // Load once up front: a program that does not load is one error, not one per scenario.
        Session probe;
        if (!load(program, probe, err)) {
            return ExitFailure;
        }
    }
    std::vector<ScenarioReport> reports;
    int passed = 0;
    std::size_t failed = 0;
    for (auto it = o.files.begin() + 1; it != o.files.end(); ++it) {
        reports.push_back(runScenario(program, *it, out));
        passed += reports.back().passed;
        failed += reports.back().failures.size();
    }
    out << passed << " passed, " << failed << " failed\n";
    if (o.junit && !writeJUnitFile(*o.junit, program.name(), reports, err)) {
        return ExitFailure;
    }
    return failed == 0 ? ExitOk : ExitFailure;
}

} // namespace kvx
