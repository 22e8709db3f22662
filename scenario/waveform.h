// Waveforms of a run as a Value Change Dump (IEEE 1364 VCD), with the simulated clock as time
// in milliseconds: the eight inputs and the eight LEDs always, and any probed operand in its
// width. Waveform viewers and logic analyser software read it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kvx {

class OperandRef;
class Session;

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
    struct Signal;
    void declare(std::string name, int width, std::function<std::uint32_t()> read);
    std::string valueText(const Signal& signal, std::uint32_t value) const;

    std::ostream& out;
    Session& session;
    std::vector<std::unique_ptr<OperandRef>> operands;
    std::vector<Signal> signals;
    std::optional<std::uint64_t> lastTime;
};

} // namespace kvx
