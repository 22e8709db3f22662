// Waveforms of a run as a Value Change Dump (IEEE 1364 VCD), with the simulated clock as time
// in milliseconds: the eight inputs and the eight LEDs always, and any probed operand in its
// width. Waveform viewers and logic analyser software read it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace kvx {

class OperandRef;
class Session;

// One variable of a dump: its name (a '.' in it is written as '_') and its width in bits.
struct VcdSignal {
    std::string name;
    int width = 1;
};

// The file format alone: the header for a fixed set of signals, then their values over time,
// each written only when it changed. The runner's waveforms and the window's trend both write
// through it, so a viewer reads them alike.
class VcdWriter final {
public:
    // Writes the header declaring `declared` to `out`, which must outlive the writer.
    VcdWriter(std::ostream& out, const std::vector<VcdSignal>& declared);
    ~VcdWriter();
    VcdWriter(const VcdWriter&) = delete;
    VcdWriter& operator=(const VcdWriter&) = delete;

    // The signals' values at simulated time `ms`, one for each in the order declared; nullopt
    // for a value not known, which is left as it stands. Writes what changed since the last
    // call (every known value the first time). Time never runs backwards in the file: an
    // earlier `ms` counts as the last time written.
    void sample(std::uint32_t ms, std::span<const std::optional<std::uint32_t>> values);
    // Marks simulated time `ms` as the end of the recording, so viewers show the last values
    // for as long as they held. Nothing when that time is already stamped.
    void end(std::uint32_t ms);

private:
    struct Signal;
    std::string valueText(const Signal& signal, std::uint32_t value) const;

    std::ostream& out;
    std::vector<Signal> variables;
    std::optional<std::uint64_t> lastTime;
};

class WaveformWriter final {
public:
    // Checks every probe against the session's CPU (throws InputError for a text that is no
    // operand) and writes the header to `out`. Both must outlive the writer.
    WaveformWriter(std::ostream& out, Session& session, const std::vector<std::string>& probes);
    ~WaveformWriter();
    WaveformWriter(const WaveformWriter&) = delete;
    WaveformWriter& operator=(const WaveformWriter&) = delete;

    // Samples every signal at simulated time `ms` and writes what changed since the last
    // sample (everything at the first). Time never runs backwards in the file: an earlier
    // `ms` counts as the last time written.
    void sample(std::uint32_t ms);
    // Marks simulated time `ms` as the end of the recording, so viewers show the last values
    // for as long as they held. Nothing when that time is already stamped.
    void end(std::uint32_t ms);

private:
    Session& session;
    std::vector<std::unique_ptr<OperandRef>> operands;
    // One for each signal of `vcd`, in its order.
    std::vector<std::function<std::uint32_t()>> reads;
    std::vector<std::optional<std::uint32_t>> values;
    std::unique_ptr<VcdWriter> vcd;
};

} // namespace kvx
