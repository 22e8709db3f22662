#include "fuzz/differential.h"

#include <algorithm>
#include <array>
#include <optional>
#include <random>
#include <sstream>
#include <string_view>
#include <utility>

#include "core/common.h"
#include "core/cpu.h"
#include "core/decoded.h"
#include "core/timer.h"
#include "instructions/instruction_table.h"
#include "session/session.h"

namespace kvx::differential {

namespace {

class Generator final {
public:
    explicit Generator(std::uint32_t seed) : rng(seed) {}

    std::string program() {
        out << "ORGANIZATION_BLOCK MAIN:OB1\nTITLE=Generated\nBEGIN\n";
        const unsigned networks = 1 + pick(25);
        for (unsigned n = 1; n <= networks; ++n) {
            out << "NETWORK " << n << "\n";
            network();
        }
        out << "END_ORGANIZATION_BLOCK\n";
        // Now and then a second organization block: the segment state and the 1 ms phase
        // carry over from block to block.
        if (pick(4) == 0) {
            out << "ORGANIZATION_BLOCK SECOND:OB2\nBEGIN\nNETWORK 1\n";
            network();
            out << "END_ORGANIZATION_BLOCK\n";
        }
        return out.str();
    }

private:
    unsigned pick(unsigned n) { return static_cast<unsigned>(rng() % n); }
    bool chance(unsigned percent) { return pick(100) < percent; }

    // A byte address: mostly low, sometimes at the last bytes of an area or just beyond.
    unsigned address(unsigned width) {
        const unsigned r = pick(20);
        if (r == 0) {
            return CPU::AreaSize + pick(3);
        }
        if (r == 1) {
            return CPU::AreaSize - width + pick(width + 1) - (width > 1 ? 1 : 0);
        }
        return pick(8);
    }
    std::string_view area() {
        static constexpr std::string_view Areas[] = {"E", "A", "M", "V", "S", "SM"};
        return Areas[pick(6)];
    }
    std::string bit(bool forWrite) {
        std::ostringstream s;
        const unsigned r = pick(20);
        if (!forWrite && r == 0) {
            s << "T" << timer();
        } else if (!forWrite && r == 1) {
            s << "Z" << pick(CPU::CounterCount);
        } else if (!forWrite && r == 2) {
            s << pick(2);
        } else {
            static constexpr std::string_view Writable[] = {"A", "M", "V", "S", "E"};
            s << (forWrite ? Writable[pick(5)] : area()) << address(1) << "." << pick(8);
        }
        return s.str();
    }
    std::string constant(unsigned limit) {
        std::ostringstream s;
        if (chance(30)) {
            s << "16#" << std::hex << std::uppercase << pick(limit);
        } else {
            s << pick(limit);
        }
        return s.str();
    }
    std::string byteOperand(bool forWrite) {
        std::ostringstream s;
        if (!forWrite && chance(25)) {
            return constant(300);
        }
        std::string_view a = area();
        if (forWrite && a == "SM") {
            a = "M";
        }
        s << a << "B" << address(1);
        return s.str();
    }
    std::string wordOperand(bool forWrite) {
        std::ostringstream s;
        if (!forWrite && chance(20)) {
            return constant(70000);
        }
        if (!forWrite && chance(8)) {
            s << (chance(50) ? "T" + std::to_string(timer())
                             : "Z" + std::to_string(pick(CPU::TimerCount)));
            return s.str();
        }
        std::string_view a = area();
        if (a == "SM") {
            a = "V";
        }
        s << a << "W" << address(2);
        return s.str();
    }
    // Timers are mostly a few, so that a program times with the ones it reads; among them the
    // 1 ms timers, which count the nodes a scan passes.
    unsigned onDelayTimer() {
        static constexpr unsigned Few[] = {32, 96, 37, 101};
        return chance(60) ? Few[pick(4)] : chance(50) ? 32 + pick(32) : 96 + pick(32);
    }
    unsigned timer() { return chance(70) ? onDelayTimer() : pick(CPU::TimerCount); }

    void line(const std::string& text) { out << text << "\n"; }

    // One instruction of any row of the table, with operands that mostly pass the load checks.
    // Contacts come more often, as in real programs; the table alone says what there is, so a
    // new instruction is generated, and compared, as soon as it has its row.
    void instruction() {
        const auto rows = instructionRows();
        const InstructionRow* row = &rows[pick(static_cast<unsigned>(rows.size()))];
        while (chance(30) && !row->contact) {
            row = &rows[pick(static_cast<unsigned>(rows.size()))];
        }
        const std::string operands = operandsOf(row->operands);
        line(operands.empty() ? std::string(row->mnemonic)
                              : std::string(row->mnemonic) + " " + operands);
    }

    std::string count() { return std::to_string(chance(70) ? 1 : pick(12)); }
    std::string preset(unsigned limit) {
        return chance(70) ? std::to_string(1 + pick(limit)) : wordOperand(false);
    }
    std::string stepBit() {
        return "S" + std::to_string(address(1)) + "." + std::to_string(pick(8));
    }

    std::string operandsOf(OperandShape shape) {
        switch (shape) {
        case OperandShape::None:
            return {};
        case OperandShape::ReadBit:
            return bit(false);
        case OperandShape::WriteBit:
            return bit(true);
        case OperandShape::BitRangeOrTimer:
            if (chance(15)) {
                return "T" + std::to_string(timer()) + " 1";
            }
            return bit(true) + " " + count();
        case OperandShape::BitRange:
            return bit(true) + " " + count();
        case OperandShape::StepBit:
            return stepBit();
        case OperandShape::ByteToByte:
            return byteOperand(false) + " " + byteOperand(true);
        case OperandShape::WordToWord:
            return wordOperand(false) + " " + wordOperand(true);
        case OperandShape::TwoBytes:
            return byteOperand(false) + " " + byteOperand(false);
        case OperandShape::TwoWords:
            return wordOperand(false) + " " + wordOperand(false);
        case OperandShape::OnDelayTimer:
            return "T" + std::to_string(onDelayTimer()) + " " + preset(40);
        case OperandShape::CounterAndPreset:
            return "Z" + std::to_string(pick(CPU::CounterCount)) + " " + preset(10);
        }
        return {};
    }

    void network() {
        switch (pick(10)) {
        case 0: {
            // A segment of its own networks, as a real program writes it.
            const std::string step = "S0." + std::to_string(pick(4));
            line("LSCR " + step);
            out << "NETWORK 99\n";
            line("LD " + bit(false));
            line("SCRT S0." + std::to_string(pick(4)));
            for (unsigned n = pick(4); n > 0; --n) {
                instruction();
            }
            out << "NETWORK 99\n";
            line("SCRE");
            return;
        }
        case 1: {
            // Close to the stack limit, sometimes over it.
            const unsigned depth = 145 + pick(10);
            for (unsigned n = 0; n < depth; ++n) {
                line(n % 3 == 2 ? "LPS" : "LD " + bit(false));
            }
            for (unsigned n = pick(depth); n > 0; --n) {
                line(chance(50) ? "ULD" : "OLD");
            }
            line("= " + bit(true));
            return;
        }
        case 2:
            // A counter with its three inputs.
            line("LD " + bit(false));
            line("LD " + bit(false));
            line("LD " + bit(false));
            line("ZVR Z" + std::to_string(pick(8)) + " " + std::to_string(1 + pick(5)));
            return;
        default:
            break;
        }
        const unsigned ops = 1 + pick(14);
        // Mostly a well-formed start, so the rest has a stack to work on.
        if (chance(85)) {
            line("LD " + bit(false));
        }
        for (unsigned n = 0; n < ops; ++n) {
            instruction();
        }
    }

    std::mt19937 rng;
    std::ostringstream out;
};

// Sees every node and does nothing, so that the scan takes the observed branch of its loop.
class Looker final : public ScanObserver {
public:
    void executed(const OpList&, const CPU&) override {}
};

std::string describe(const std::optional<CPUException>& fault) {
    if (!fault) {
        return "none";
    }
    return fault->describe() + " [" + fault->getText() + "]";
}

} // namespace

std::string stateOf(CPU& cpu) {
    std::ostringstream s;
    static constexpr Parameter::ParamClass Areas[] = {Parameter::EType, Parameter::AType,
                                                      Parameter::MType, Parameter::VType,
                                                      Parameter::SType, Parameter::SMType};
    static constexpr std::string_view Names[] = {"E", "A", "M", "V", "S", "SM"};
    for (int k = 0; k < 6; ++k) {
        s << Names[k] << ":";
        for (int i = 0; i < CPU::AreaSize; ++i) {
            s << ' ' << static_cast<unsigned>(cpu.area(Areas[k]).readByte(i));
        }
        s << "\n";
    }
    for (int no = 0; no < CPU::TimerCount; ++no) {
        const Timer& t = cpu.timer(no);
        if (t.getValue() != 0 || t.getLimit() != 0 || t.isRunning()) {
            s << "T" << no << "=" << t.getValue() << "/" << t.getLimit()
              << (t.isRunning() ? "r " : " ");
        }
    }
    s << "\n";
    for (int no = 0; no < CPU::CounterCount; ++no) {
        const Counter& z = cpu.counter(no);
        if (z.getValue() != 0 || z.getLimit() != 0) {
            s << "Z" << no << "=" << z.getValue() << "/" << z.getLimit() << " ";
        }
    }
    s << "\nscans " << cpu.scanCount() << " executed " << cpu.executedCount() << " stack "
      << cpu.CurrentStack() << cpu.LastCurrentStack() << " segment " << cpu.scrval << "\n";
    return s.str();
}

namespace {

std::string snapshot(Session& session) {
    return stateOf(session.cpu()) + session.leds() + "\n";
}

// The first line where two snapshots differ.
std::string firstDifference(const std::string& a, const std::string& b) {
    std::istringstream x(a);
    std::istringstream y(b);
    std::string la;
    std::string lb;
    while (std::getline(x, la) && std::getline(y, lb)) {
        if (la != lb) {
            return "observed: " + la + "\nother:    " + lb;
        }
    }
    return "snapshots differ in length";
}

} // namespace

std::string generateProgram(std::uint32_t seed) {
    return Generator(seed).program();
}

std::string compareRuns(const std::string& program, std::uint32_t seed, int scans) {
    // observed, plain, alternating, traced, halting
    std::array<Session, 5> sessions;
    std::array<std::optional<CPUException>, 5> loaded;
    for (std::size_t k = 0; k < sessions.size(); ++k) {
        loaded[k] = sessions[k].loadText(program);
    }
    if (loaded[0].has_value() != loaded[1].has_value()) {
        return "one path loaded, the other did not";
    }
    if (loaded[0]) {
        return "";
    }
    // The plain scans run bit logic through the switch in one session and from the truth
    // tables in another, whichever a trial would keep.
    for (const auto& [k, form] :
         {std::pair{1, DecodedProgram::Form::Switch}, std::pair{2, DecodedProgram::Form::Tables}}) {
        if (const DecodedProgram* decoded = sessions[k].cpu().decodedForm()) {
            decoded->keepForm(form);
        }
    }
    std::mt19937 rng(seed ^ 0x9E3779B9u);
    const auto pick = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };

    // The same random memory in all three, so that contacts see more than zeros.
    for (Parameter::ParamClass cls : {Parameter::MType, Parameter::VType, Parameter::SType}) {
        for (int i = 0; i < 16; ++i) {
            const auto value = static_cast<std::uint8_t>(rng());
            for (Session& s : sessions) {
                s.cpu().area(cls).writeByte(i, value);
            }
        }
    }
    if (pick(3) == 0) {
        static constexpr const char* Forceable[] = {"E0.1", "A0.2", "M1.0", "MB2", "VW4", "S0.1"};
        const char* name = Forceable[pick(6)];
        const std::uint32_t value = pick(2);
        for (Session& s : sessions) {
            if (const auto error = s.force(name, value)) {
                return std::string("cannot force ") + name + ": " + error->getText();
            }
        }
    }

    // Breakpoints on a third of the lines, some with a condition, where the halting session's
    // scans halt and go on at once: stepped, continued or finished.
    const auto lines = static_cast<int>(std::count(program.begin(), program.end(), '\n'));
    for (int line = 1; line <= lines; ++line) {
        if (pick(3) == 0) {
            (void)sessions[4].setBreakpoint(line, pick(4) == 0 ? "MB1 > 100" : "");
        }
    }
    const auto haltingScan = [&pick](Session& s) {
        auto fault = s.singleStep();
        while (s.isHalted()) {
            const unsigned how = pick(3);
            fault = how == 0 ? s.stepInstruction() : how == 1 ? s.resume() : s.finishScan();
        }
        return fault;
    };

    Looker walk;
    StringWriter trace;
    for (int scan = 0; scan < scans; ++scan) {
        std::array<int, MyIO::Size> inputs{};
        for (int& in : inputs) {
            in = pick(2) == 0 ? 1 : 0;
        }
        const std::uint32_t step = pick(10) == 0 ? pick(400) : pick(12);
        const bool reset = pick(40) == 0;
        const bool alternateObserved = pick(2) == 0;
        std::array<std::optional<CPUException>, 5> faults;
        for (std::size_t k = 0; k < sessions.size(); ++k) {
            Session& s = sessions[k];
            s.panel().InState = inputs;
            s.setStep(step);
            if (reset) {
                s.reset();
            }
            const bool observed = k == 0 || (k == 2 && alternateObserved);
            trace.clear();
            faults[k] = k == 4     ? haltingScan(s)
                        : k == 3   ? s.scan(&trace)
                        : observed ? s.scan(&walk)
                                   : s.scan();
        }
        const std::string reference = snapshot(sessions[0]);
        for (std::size_t k = 1; k < sessions.size(); ++k) {
            static constexpr const char* Paths[] = {"", " (plain)", " (alternating)", " (traced)",
                                                    " (halting)"};
            const std::string where = "scan " + std::to_string(scan) + Paths[k] + ": ";
            if (describe(faults[0]) != describe(faults[k])) {
                return where + "fault " + describe(faults[0]) + " vs " + describe(faults[k]);
            }
            const std::string state = snapshot(sessions[k]);
            if (state != reference) {
                return where + "state differs\n" + firstDifference(reference, state);
            }
        }
    }
    return "";
}

} // namespace kvx::differential
