// What the trend view (Verlauf) plots: the watch table's operands over simulated time, each as
// the list of its changes. A scan costs a read and a comparison per operand, and memory grows
// only with changes, within a fixed bound. Qt-free, so that it is tested without a window.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "session/operand_access.h"

namespace kvx {

class CPU;

class TrendHistory final {
public:
    // The bound: the last KeptMilliseconds of simulated time, and of that at most MaxChanges
    // changes of each operand (an operand that changes every scan at 1000 scans a second
    // keeps its last 100 s). About 8 bytes a change: 800 KB an operand at most.
    static constexpr std::uint32_t KeptMilliseconds = 10 * 60 * 1000;
    static constexpr std::size_t MaxChanges = 100'000;

    struct Change {
        std::uint32_t time;
        // The operand's value; a timer's or counter's has its bit (preset reached) in QBit.
        std::uint32_t value;
    };
    static constexpr std::uint32_t QBit = 1u << 16;

    struct Channel {
        std::unique_ptr<OperandRef> operand;
        std::deque<Change> changes;

        const std::string& name() const noexcept { return operand->text(); }
        bool isBit() const noexcept { return operand->kind() == Kind::Bit; }
        bool hasQ() const noexcept {
            return operand->kind() == Kind::Timer || operand->kind() == Kind::Counter;
        }
        // The value held at `time`; nullopt before the first change kept.
        std::optional<std::uint32_t> valueAt(std::uint32_t time) const;
        // The first change after `time`, or end.
        std::deque<Change>::const_iterator after(std::uint32_t time) const;
    };

    // The CPU must outlive the history.
    explicit TrendHistory(CPU& cpu) noexcept : cpu(cpu) {}

    // The operands to follow, in this order; texts that are no operand, and repeats, are left
    // out. An operand followed already keeps its history.
    void follow(const std::vector<std::string>& operands);
    // Records what changed at simulated time `now` (after a scan). A time earlier than the
    // last one starts the history afresh.
    void sample(std::uint32_t now);
    void clear() noexcept;

    const std::vector<Channel>& channels() const noexcept { return followed; }
    // The span recorded: from the oldest time kept to the last sample; nullopt before any.
    std::optional<std::uint32_t> firstTime() const noexcept;
    std::optional<std::uint32_t> lastTime() const noexcept { return last; }

    // The history as a value change dump through the runner's writer: each operand in its
    // width, a timer's or counter's bit as NAME.Q beside it, stamped from the first time kept
    // to the last sample.
    void writeVcd(std::ostream& out) const;

private:
    void trim(Channel& channel, std::uint32_t now);

    CPU& cpu;
    std::vector<Channel> followed;
    std::optional<std::uint32_t> since;
    std::optional<std::uint32_t> last;
};

} // namespace kvx
