#include "scenario/waveform.h"

#include <set>

#include "core/common.h"
#include "core/cpu.h"
#include "session/operand_access.h"
#include "session/session.h"

namespace kvx {

struct VcdWriter::Signal {
    std::string id;
    int width = 1;
    std::optional<std::uint32_t> last;
};

namespace {
// Identifier codes: printable ASCII from '!' to '~', several characters once they run out.
std::string identifier(std::size_t index) {
    std::string id;
    do {
        id.push_back(static_cast<char>('!' + index % 94));
        index /= 94;
    } while (index > 0);
    return id;
}

// A reference name without the hierarchy separator viewers split on.
std::string referenceName(std::string name) {
    for (char& c : name) {
        if (c == '.') {
            c = '_';
        }
    }
    return name;
}

} // namespace

VcdWriter::VcdWriter(std::ostream& o, const std::vector<VcdSignal>& declared) : out(o) {
    out << "$version KVX-Simulator $end\n$timescale 1ms $end\n$scope module plc $end\n";
    for (const VcdSignal& declaration : declared) {
        Signal signal{identifier(variables.size()), declaration.width, std::nullopt};
        out << "$var " << (signal.width == 1 ? "wire" : "reg") << ' ' << signal.width << ' '
            << signal.id << ' ' << referenceName(declaration.name);
        if (signal.width > 1) {
            out << " [" << signal.width - 1 << ":0]";
        }
        out << " $end\n";
        variables.push_back(std::move(signal));
    }
    out << "$upscope $end\n$enddefinitions $end\n";
}

VcdWriter::~VcdWriter() = default;

std::string VcdWriter::valueText(const Signal& signal, std::uint32_t value) const {
    if (signal.width == 1) {
        return (value != 0 ? "1" : "0") + signal.id;
    }
    // Leading zeros are implied.
    std::string text = "b";
    for (int bit = signal.width - 1; bit >= 0; --bit) {
        const bool one = ((value >> bit) & 1u) != 0;
        if (one || text.size() > 1) {
            text.push_back(one ? '1' : '0');
        }
    }
    if (text.size() == 1) {
        text.push_back('0');
    }
    text.push_back(' ');
    text.append(signal.id);
    return text;
}

void VcdWriter::sample(std::uint32_t ms, std::span<const std::optional<std::uint32_t>> values) {
    const std::uint64_t time = lastTime ? std::max<std::uint64_t>(*lastTime, ms) : ms;
    bool stamped = false;
    for (std::size_t i = 0; i < variables.size() && i < values.size(); ++i) {
        Signal& signal = variables[i];
        if (!values[i] || signal.last == values[i]) {
            continue;
        }
        if (!stamped) {
            // Changes at the time already stamped belong under that stamp.
            if (!lastTime) {
                out << '#' << time << "\n$dumpvars\n";
            } else if (time != *lastTime) {
                out << '#' << time << '\n';
            }
            stamped = true;
        }
        out << valueText(signal, *values[i]) << '\n';
        signal.last = values[i];
    }
    if (stamped && !lastTime) {
        out << "$end\n";
    }
    if (stamped || !lastTime) {
        lastTime = time;
    }
}

void VcdWriter::end(std::uint32_t ms) {
    if (lastTime && ms > *lastTime) {
        out << '#' << ms << '\n';
        lastTime = ms;
    }
}

WaveformWriter::WaveformWriter(std::ostream& out, Session& s,
                               const std::vector<std::string>& probes)
    : session(s) {
    // A name declared twice is two variables of one name, which viewers show as one or refuse.
    std::set<std::string> names;
    for (int bit = 0; bit < MyIO::Size; ++bit) {
        names.insert("E0_" + std::to_string(bit));
        names.insert("A0_" + std::to_string(bit));
    }
    for (const std::string& probe : probes) {
        if (!names.insert(referenceName(probe)).second) {
            throw InputError(probe + ": is in the waveform already");
        }
        auto operand = std::make_unique<OperandRef>(session.cpu(), probe);
        try {
            (void)operand->value();
        } catch (const CPUException& e) {
            throw InputError(probe + ": " + e.getText());
        }
        operands.push_back(std::move(operand));
    }
    std::vector<VcdSignal> signals;
    const auto declare = [&](std::string name, int width, std::function<std::uint32_t()> read) {
        signals.push_back({std::move(name), width});
        reads.push_back(std::move(read));
    };
    const MemField& inputs = session.cpu().area(Parameter::EType);
    for (int bit = 0; bit < MyIO::Size; ++bit) {
        declare("E0." + std::to_string(bit), 1,
                [&inputs, bit] { return static_cast<std::uint32_t>(inputs.readBit(0, bit)); });
    }
    // The LEDs, not the output memory: a scan that faults leaves its outputs uncopied, and the
    // waveform must show what the panel showed. The memory stays a probe (AB0).
    const MyIO& panel = session.panel();
    for (int bit = 0; bit < MyIO::Size; ++bit) {
        declare("A0." + std::to_string(bit), 1, [&panel, bit] {
            return panel.OutState[static_cast<std::size_t>(bit)] != 0 ? 1u : 0u;
        });
    }
    for (std::size_t i = 0; i < operands.size(); ++i) {
        OperandRef& operand = *operands[i];
        declare(probes[i], bitsOf(operand.kind()), [&operand] { return operand.value(); });
        // A timer's or counter's "preset reached" is a signal of its own.
        if (operand.kind() == Kind::Timer || operand.kind() == Kind::Counter) {
            declare(probes[i] + ".Q", 1,
                    [&operand] { return static_cast<std::uint32_t>(operand.bit()); });
        }
    }
    values.resize(reads.size());
    vcd = std::make_unique<VcdWriter>(out, signals);
}

WaveformWriter::~WaveformWriter() = default;

void WaveformWriter::sample(std::uint32_t ms) {
    for (std::size_t i = 0; i < reads.size(); ++i) {
        try {
            values[i] = reads[i]();
        } catch (const CPUException&) {
            // An operand outside its area reads as 0 in the waveform, as it cannot be shown.
            values[i] = 0;
        }
    }
    vcd->sample(ms, values);
}

void WaveformWriter::end(std::uint32_t ms) {
    vcd->end(ms);
}

} // namespace kvx
