#include "frontend/trend_history.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "core/common.h"
#include "scenario/waveform.h"

namespace kvx {

std::optional<std::uint32_t> TrendHistory::Channel::valueAt(std::uint32_t time) const {
    const auto next = after(time);
    if (next == changes.begin()) {
        return std::nullopt;
    }
    return std::prev(next)->value;
}

std::deque<TrendHistory::Change>::const_iterator
TrendHistory::Channel::after(std::uint32_t time) const {
    return std::upper_bound(changes.begin(), changes.end(), time,
                            [](std::uint32_t t, const Change& change) { return t < change.time; });
}

void TrendHistory::follow(const std::vector<std::string>& operands) {
    std::vector<Channel> kept;
    std::set<std::string> seen;
    for (const std::string& text : operands) {
        if (!seen.insert(text).second) {
            continue;
        }
        const auto old = std::find_if(followed.begin(), followed.end(), [&](const Channel& c) {
            return c.operand && c.name() == text;
        });
        if (old != followed.end()) {
            kept.push_back(std::move(*old));
            continue;
        }
        try {
            kept.push_back({std::make_unique<OperandRef>(cpu, text), {}});
        } catch (const InputError&) {
            // The watch table shows the row's message; the trend has nothing to plot.
        }
    }
    followed = std::move(kept);
}

void TrendHistory::clear() noexcept {
    for (Channel& channel : followed) {
        channel.changes.clear();
    }
    since.reset();
    last.reset();
}

void TrendHistory::sample(std::uint32_t now) {
    if (last && now < *last) {
        clear();
    }
    if (!since) {
        since = now;
    }
    last = now;
    for (Channel& channel : followed) {
        std::uint32_t value = 0;
        try {
            value = channel.operand->value();
            if (channel.hasQ() && channel.operand->bit() != 0) {
                value |= QBit;
            }
        } catch (const CPUException&) {
            // Outside its area: the watch table says so; the lane shows no change.
            continue;
        }
        if (channel.changes.empty() || channel.changes.back().value != value) {
            channel.changes.push_back({now, value});
            trim(channel, now);
        }
    }
}

void TrendHistory::trim(Channel& channel, std::uint32_t now) {
    if (channel.changes.size() > MaxChanges) {
        channel.changes.pop_front();
    }
    // The last change at or before the cutoff stays: it is the value the kept span starts with.
    const std::uint32_t cutoff = now > KeptMilliseconds ? now - KeptMilliseconds : 0;
    while (channel.changes.size() > 1 && channel.changes[1].time <= cutoff) {
        channel.changes.pop_front();
    }
}

std::optional<std::uint32_t> TrendHistory::firstTime() const noexcept {
    if (!since || !last) {
        return std::nullopt;
    }
    return std::max(*since, *last > KeptMilliseconds ? *last - KeptMilliseconds : 0);
}

void TrendHistory::writeVcd(std::ostream& out) const {
    std::vector<VcdSignal> vars;
    for (const Channel& channel : followed) {
        vars.push_back({channel.name(), bitsOf(channel.operand->kind())});
        if (channel.hasQ()) {
            vars.push_back({channel.name() + ".Q", 1});
        }
    }
    VcdWriter vcd(out, vars);
    const auto first = firstTime();
    if (!first) {
        return;
    }
    // The channels' changes merged in time: at each time a channel changes, every signal's
    // value then; the writer keeps what changed.
    std::vector<std::deque<Change>::const_iterator> next;
    for (const Channel& channel : followed) {
        next.push_back(channel.changes.begin());
    }
    std::vector<std::optional<std::uint32_t>> values(vars.size());
    while (true) {
        std::optional<std::uint32_t> time;
        for (std::size_t i = 0; i < followed.size(); ++i) {
            if (next[i] != followed[i].changes.end()) {
                const std::uint32_t at = std::max(next[i]->time, *first);
                time = time ? std::min(*time, at) : at;
            }
        }
        if (!time) {
            break;
        }
        std::size_t signal = 0;
        for (std::size_t i = 0; i < followed.size(); ++i) {
            const bool hasQ = followed[i].hasQ();
            while (next[i] != followed[i].changes.end() &&
                   std::max(next[i]->time, *first) == *time) {
                const std::uint32_t value = next[i]->value;
                values[signal] = hasQ ? value & (QBit - 1) : value;
                if (hasQ) {
                    values[signal + 1] = (value & QBit) != 0 ? 1 : 0;
                }
                ++next[i];
            }
            signal += hasQ ? 2 : 1;
        }
        vcd.sample(*time, values);
    }
    vcd.end(*last);
}

} // namespace kvx
