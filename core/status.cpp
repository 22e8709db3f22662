#include "core/status.h"

#include <algorithm>
#include <utility>

#include "core/common.h"
#include "core/cpu.h"
#include "core/program.h"
#include "operands/parameter.h"

namespace kvx {

std::string OperandStatus::text() const {
    if (!present) {
        return {};
    }
    if (unreadable) {
        return "?";
    }
    std::string shown = value ? std::to_string(*value) : std::string();
    if (bit) {
        shown += (shown.empty() ? "" : " Q=") + std::to_string(*bit);
    }
    if (presetZero()) {
        shown += " (Sollwert 0)";
    }
    return shown;
}

OperandStatus OperandStatus::of(const Parameter* operand) noexcept {
    OperandStatus status;
    if (operand == nullptr) {
        return status;
    }
    status.present = true;
    const auto read = [&](Parameter::Read what) {
        const auto value = operand->peek(what);
        status.unreadable = status.unreadable || !value;
        return value;
    };
    const auto readBit = [&] {
        const auto bit = read(Parameter::Read::Bit);
        return bit ? std::optional<int>(static_cast<int>(*bit)) : std::nullopt;
    };
    const Parameter::SupOps ops = operand->getOperations();
    const Parameter::ParamClass cls = operand->getClass();
    if (cls == Parameter::TType || cls == Parameter::ZType) {
        status.bit = readBit();
        status.value = read(Parameter::Read::Word);
        if (const auto* timer = dynamic_cast<const TimerParameter*>(operand)) {
            status.preset = timer->getTimer()->getLimit();
        } else if (const auto* counter = dynamic_cast<const CounterParameter*>(operand)) {
            status.preset = counter->getCounter()->getLimit();
        }
    } else if (cls == Parameter::NumType) {
        status.value = read(Parameter::Read::Long);
    } else if (ops.RBit != 0) {
        status.bit = readBit();
    } else if (ops.RByte != 0) {
        status.value = read(Parameter::Read::Byte);
    } else if (ops.RWord != 0) {
        status.value = read(Parameter::Read::Word);
    } else if (ops.RLong != 0) {
        status.value = read(Parameter::Read::Long);
    }
    return status;
}

StackStatus StackStatus::of(const CPU& cpu) noexcept {
    StackStatus stack;
    stack.depth = cpu.StackDepth();
    for (int i = 0; i < Shown; ++i) {
        if (cpu.StackEntry(i) != 0) {
            stack.bits = static_cast<std::uint8_t>(stack.bits | (1u << i));
        }
    }
    return stack;
}

std::string StackStatus::text() const {
    const int shown = std::clamp(depth, 1, Shown);
    std::string bitsText;
    for (int i = 0; i < shown; ++i) {
        bitsText.push_back(((bits >> i) & 1u) != 0 ? '1' : '0');
    }
    return depth > Shown ? bitsText + " (" + std::to_string(depth) + ")" : bitsText;
}

StepStatus StepStatus::of(const OpList& node, const CPU& cpu, StepState state) noexcept {
    StepStatus step;
    step.state = state;
    step.top = cpu.CurrentStack();
    step.stack = StackStatus::of(cpu);
    if (node.Op) {
        step.operands = {OperandStatus::of(node.Op->getP1()), OperandStatus::of(node.Op->getP2())};
    }
    return step;
}

void StatusCapture::restrictTo(std::span<const OpList* const> nodes) {
    steps.clear();
    restricted = true;
    firstLine = 0;
    lastLine = -1;
    for (const OpList* node : nodes) {
        if (node == nullptr) {
            continue;
        }
        if (steps.empty() || node->Line < firstLine) {
            firstLine = node->Line;
        }
        if (steps.empty() || node->Line > lastLine) {
            lastLine = node->Line;
        }
        steps.emplace(node, StepStatus{});
    }
}

void StatusCapture::clear() noexcept {
    if (!restricted) {
        steps.clear();
        return;
    }
    for (auto& [node, step] : steps) {
        step = StepStatus{};
    }
}

void StatusCapture::record(const OpList& node, const CPU* cpu, StepState state) {
    StepStatus* step = nullptr;
    if (!restricted) {
        step = &steps[&node];
    } else if (node.Line >= firstLine && node.Line <= lastLine) {
        const auto found = steps.find(&node);
        step = found == steps.end() ? nullptr : &found->second;
    }
    if (step != nullptr) {
        *step = cpu == nullptr ? StepStatus{state} : StepStatus::of(node, *cpu, state);
    }
}

void StatusCapture::executed(const OpList& node, const CPU& cpu) {
    record(node, &cpu, StepState::Executed);
}

void StatusCapture::skipped(const OpList& node) {
    record(node, nullptr, StepState::Skipped);
}

void StatusCapture::faulted(const OpList& node, const CPU& cpu) {
    record(node, &cpu, StepState::Faulted);
}

StepStatus StatusCapture::of(const OpList& node) const {
    const auto found = steps.find(&node);
    return found == steps.end() ? StepStatus{} : found->second;
}

// Cuts the listing into rows as it is written, and remembers which row shows which node.
class ListingWriter final : public Writer {
public:
    using Writer::write;
    explicit ListingWriter(Listing& l) noexcept : listing(l) {}
    void write(char c) override {
        if (c == '\n') {
            listing.ends.push_back(listing.texts.size());
            listing.nodes.push_back(std::exchange(pending, nullptr));
        } else {
            listing.texts.push_back(c);
        }
    }
    bool nodeStarts(const OpList& node) override {
        pending = &node;
        return false;
    }

private:
    Listing& listing;
    const OpList* pending = nullptr;
};

std::string Listing::text(std::size_t row) const {
    if (const OpList* node = nodes[row]; node != nullptr && node->Op) {
        StringWriter w;
        node->Op->print(w);
        return w.str();
    }
    const std::size_t begin = row == 0 ? 0 : ends[row - 1];
    return texts.substr(begin, ends[row] - begin);
}

Listing::Listing(const CPU& cpu) {
    ListingWriter w(*this);
    cpu.print(w);
    texts.shrink_to_fit();
    ends.shrink_to_fit();
    nodes.shrink_to_fit();
}

std::vector<ListingRow> listingRows(const CPU& cpu) {
    const Listing listing(cpu);
    std::vector<ListingRow> rows;
    rows.reserve(listing.size());
    for (std::size_t row = 0; row < listing.size(); ++row) {
        rows.push_back({listing.text(row), listing.node(row)});
    }
    return rows;
}

} // namespace kvx
