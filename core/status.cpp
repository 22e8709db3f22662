#include "core/status.h"

#include "core/common.h"
#include "core/cpu.h"
#include "core/program.h"

namespace kvx {

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

StepStatus& StatusCapture::record(const OpList& node, StepState state) {
    StepStatus& step = steps[&node];
    step.state = state;
    return step;
}

void StatusCapture::executed(const OpList& node, const CPU& cpu) {
    StepStatus& step = record(node, StepState::Executed);
    step.top = cpu.CurrentStack();
    step.operands = {OperandStatus::of(node.Op->getP1()), OperandStatus::of(node.Op->getP2())};
}

void StatusCapture::skipped(const OpList& node) {
    record(node, StepState::Skipped);
}

void StatusCapture::faulted(const OpList& node, const CPU& cpu) {
    StepStatus& step = record(node, StepState::Faulted);
    step.top = cpu.CurrentStack();
    step.operands = {OperandStatus::of(node.Op->getP1()), OperandStatus::of(node.Op->getP2())};
}

StepStatus StatusCapture::of(const OpList& node) const {
    const auto found = steps.find(&node);
    return found == steps.end() ? StepStatus{} : found->second;
}

namespace {
// Cuts the listing into rows as it is written, and remembers which row shows which node.
class RowWriter final : public Writer {
public:
    using Writer::write;
    void write(char c) override {
        if (c == '\n') {
            rows.push_back({std::move(current), pending});
            current.clear();
            pending = nullptr;
        } else {
            current.push_back(c);
        }
    }
    void nodeStarts(const OpList& node) override { pending = &node; }

    std::vector<ListingRow> rows;

private:
    std::string current;
    const OpList* pending = nullptr;
};
} // namespace

std::vector<ListingRow> listingRows(const CPU& cpu) {
    RowWriter w;
    cpu.print(w);
    return std::move(w.rows);
}

} // namespace kvx
