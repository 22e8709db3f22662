// What one scan did, instruction by instruction: the program-status view shows it beside the
// listing. Captured through a ScanObserver on a sampled scan, so the scans in between pay
// nothing.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/observer.h"

namespace kvx {

class CPU;
class Parameter;
struct OpList;

// One operand as the instruction left it.
struct OperandStatus {
    bool present = false;
    // A bit operand's bit; for a timer or counter whether its preset is reached.
    std::optional<int> bit;
    // A byte, word or double word in its width; a timer's or counter's current value; a
    // constant's value.
    std::optional<std::uint32_t> value;
    // Reading it raised (an address outside its area).
    bool unreadable = false;

    // The operand's current state, read through its own accesses; never throws.
    static OperandStatus of(const Parameter* operand) noexcept;
};

enum class StepState : std::uint8_t {
    NotRun,  // not reached in the scan (it ended early, or there was no such scan)
    Skipped, // passed over in an inactive sequence segment
    Executed,
    Faulted, // raised the scan's run-time error
};

struct StepStatus {
    StepState state = StepState::NotRun;
    // The top of the logic stack after the instruction: the result of logic operation.
    int top = 0;
    std::array<OperandStatus, 2> operands{};
};

class StatusCapture final : public ScanObserver {
public:
    void executed(const OpList& node, const CPU& cpu) override;
    void skipped(const OpList& node) override;
    void faulted(const OpList& node, const CPU& cpu) override;

    // Forgets what was captured, before the next captured scan.
    void clear() noexcept { steps.clear(); }
    // The status of `node` in the captured scan; NotRun for a node it did not reach.
    StepStatus of(const OpList& node) const;
    bool empty() const noexcept { return steps.empty(); }

private:
    StepStatus& record(const OpList& node, StepState state);
    std::unordered_map<const OpList*, StepStatus> steps;
};

// One row of the program listing, as `kvx list` prints it, and the instruction node it
// shows (null for block, network and comment rows).
struct ListingRow {
    std::string text;
    const OpList* node = nullptr;
};

// The listing of the installed program, one entry per row; empty without a program.
std::vector<ListingRow> listingRows(const CPU& cpu);

} // namespace kvx
