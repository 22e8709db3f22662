#include "scenario/waveform.h"

#include <set>

#include "core/common.h"
#include "core/cpu.h"
#include "session/operand_access.h"
#include "session/session.h"

namespace kvx {

struct WaveformWriter::Signal {
    std::string id;
    int width = 1;
    std::function<std::uint32_t()> read;
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

void WaveformWriter::declare(std::string name, int width, std::function<std::uint32_t()> read) {
    Signal signal{identifier(signals.size()), width, std::move(read), std::nullopt};
    out << "$var " << (width == 1 ? "wire" : "reg") << ' ' << width << ' ' << signal.id << ' '
        << referenceName(std::move(name));
    if (width > 1) {
        out << " [" << width - 1 << ":0]";
    }
    out << " $end\n";
    signals.push_back(std::move(signal));
}

WaveformWriter::WaveformWriter(std::ostream& o, Session& s, const std::vector<std::string>& probes)
    : out(o), session(s) {
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
    out << "$version KVX-Simulator $end\n$timescale 1ms $end\n$scope module plc $end\n";
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
    out << "$upscope $end\n$enddefinitions $end\n";
}

WaveformWriter::~WaveformWriter() = default;

std::string WaveformWriter::valueText(const Signal& signal, std::uint32_t value) const {
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

void WaveformWriter::sample(std::uint32_t ms) {
    const std::uint64_t time = lastTime ? std::max<std::uint64_t>(*lastTime, ms) : ms;
    bool stamped = false;
    for (Signal& signal : signals) {
        std::uint32_t value = 0;
        try {
            value = signal.read();
        } catch (const CPUException&) {
            // An operand outside its area reads as 0 in the waveform, as it cannot be shown.
        }
        if (signal.last == value) {
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
        out << valueText(signal, value) << '\n';
        signal.last = value;
    }
    if (stamped && !lastTime) {
        out << "$end\n";
    }
    if (stamped || !lastTime) {
        lastTime = time;
    }
}

void WaveformWriter::end(std::uint32_t ms) {
    if (lastTime && ms > *lastTime) {
        out << '#' << ms << '\n';
        lastTime = ms;
    }
}

} // namespace kvx
