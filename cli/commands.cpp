#include "cli/commands.h"

#include <fstream>

#include "cli/junit.h"
#include "cli/machine.h"
#include "cli/operand_access.h"
#include "cli/program_file.h"
#include "cli/run_stats.h"
#include "cli/scenario.h"
#include "core/common.h"

namespace {

bool load(const ProgramFile& program, Machine& machine, std::ostream& err) {
    try {
        program.loadInto(machine.cpu());
        return true;
    } catch (const CPUException& e) {
        err << loadDiagnostic(program.name(), e);
        return false;
    }
}

void applySet(Machine& machine, const SetArg& set) {
    try {
        OperandRef operand(machine.cpu(), set.operand);
        operand.set(parseConstant(machine.cpu(), set.value), machine.panel());
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
// starts afresh, and the LEDs show what the last completed scan left.
int runScans(const Options& o, const std::string& name, Machine& machine, std::ostream& out,
             std::ostream& err) {
    int code = ExitOk;
    for (std::uint32_t k = 1; k <= o.scans && k != 0; ++k) {
        StringWriter trace;
        if (o.trace) {
            out << "--- scan " << k << " at " << machine.now() << " ms\n";
        }
        const auto error = machine.scan(o.trace ? &trace : nullptr);
        // The trace of a step ends after its stack, not with a line end.
        if (!trace.str().empty()) {
            out << trace.str() << '\n';
        }
        if (error) {
            out.flush();
            err << name << ": scan " << k << ": " << *error << '\n';
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
        Machine machine;
        if (!load(ProgramFile(path), machine, err)) {
            code = ExitFailure;
        }
    }
    return code;
}

int listCommand(const Options& o, std::ostream& out, std::ostream& err) {
    Machine machine;
    if (!load(ProgramFile(o.files.front()), machine, err)) {
        return ExitFailure;
    }
    StreamWriter writer(out);
    machine.cpu().print(writer);
    return ExitOk;
}

int runCommand(const Options& o, std::ostream& out, std::ostream& err) {
    const ProgramFile program(o.files.front());
    Machine machine;
    if (!load(program, machine, err)) {
        return ExitFailure;
    }
    machine.cpu().reset();
    for (const auto& set : o.sets) {
        applySet(machine, set);
    }
    machine.setStep(o.stepMs);
    const StatsProbe probe(machine.cpu());
    const int code = runScans(o, program.name(), machine, out, err);
    const RunStats stats = probe.finish(machine.cpu());
    out << machine.leds() << '\n';
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
        Machine probe;
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
