// What one scan did, instruction by instruction: the program-status view shows it beside the
// listing. Captured through a ScanObserver on a sampled scan, so the scans in between pay
// nothing.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
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
    // A timer's or counter's preset, which its bit compares the value with.
    std::optional<std::uint16_t> preset;
    // Reading it raised (an address outside its area).
    bool unreadable = false;

    // The operand's current state, read through its own accesses; never throws.
    static OperandStatus of(const Parameter* operand) noexcept;
    // A timer or counter that no instruction gave a preset has reached its preset of 0.
    bool presetZero() const noexcept { return preset == 0; }
    // As the program status shows it: "12", "1", "3 Q=0", "0 Q=1 (Sollwert 0)", "?" when
    // unreadable, "" when absent.
    std::string text() const;
};

enum class StepState : std::uint8_t {
    NotRun,  // not reached in the scan (it ended early, or there was no such scan)
    Skipped, // passed over in an inactive sequence segment
    Executed,
    Faulted, // raised the scan's run-time error
};

// The top of the logic stack, kept in a few bytes so that a capture stays cheap.
struct StackStatus {
    static constexpr int Shown = 8;
    // Entry i under the top in bit i (bit 0: the top), for the top Shown entries.
    std::uint8_t bits = 0;
    // How many entries the network pushed (CPU::StackDepth); the top is always shown, also at
    // depth 0, where it is the bottom slot.
    int depth = 0;

    static StackStatus of(const CPU& cpu) noexcept;
    // The shown entries as 0/1, the top first, and the depth in parentheses when it is
    // deeper than that: "1", "0110", "10110010 (12)".
    std::string text() const;
};

struct StepStatus {
    StepState state = StepState::NotRun;
    // The top of the logic stack after the instruction: the result of logic operation.
    int top = 0;
    StackStatus stack{};
    std::array<OperandStatus, 2> operands{};

    // What `node` shows in `state` with the CPU as its instruction left it (or raised in).
    static StepStatus of(const OpList& node, const CPU& cpu, StepState state) noexcept;
};

class StatusCapture final : public ScanObserver {
public:
    void executed(const OpList& node, const CPU& cpu) override;
    void skipped(const OpList& node) override;
    void faulted(const OpList& node, const CPU& cpu) override;

    // From the next scan on records `nodes` alone (the rows a view shows), so that a scan of
    // a large program pays a comparison for each other node and nothing more. Without it
    // every node is recorded.
    void restrictTo(std::span<const OpList* const> nodes);
    // Forgets what was captured, before the next captured scan.
    void clear() noexcept;
    // The status of `node` in the captured scan; NotRun for a node it did not reach (or was
    // not asked to record).
    StepStatus of(const OpList& node) const;

private:
    void record(const OpList& node, const CPU* cpu, StepState state);
    std::unordered_map<const OpList*, StepStatus> steps;
    bool restricted = false;
    // The lines of the nodes recorded when restricted: a node outside them is passed over
    // without a look-up. A node made in code has line 0, so it widens the range, never
    // misses.
    std::int32_t firstLine = 0;
    std::int32_t lastLine = -1;
};

// One row of the program listing, as `kvx list` prints it, and the instruction node it
// shows (null for block, network and comment rows).
struct ListingRow {
    std::string text;
    const OpList* node = nullptr;
};

// The listing of the installed program, one entry per row; empty without a program.
std::vector<ListingRow> listingRows(const CPU& cpu);

// The same listing in flat arrays: a view of a program of a million lines holds it in a few
// bytes a row instead of a string each, and an instruction's text is printed when it is asked
// for, so making the listing costs little more than walking the program.
class Listing final {
public:
    Listing() = default;
    explicit Listing(const CPU& cpu);

    std::size_t size() const noexcept { return nodes.size(); }
    // Precondition: row < size().
    std::string text(std::size_t row) const;
    const OpList* node(std::size_t row) const noexcept { return nodes[row]; }

private:
    friend class ListingWriter;
    // The rows without an instruction, one after the other.
    std::string texts;
    std::vector<std::size_t> ends;
    std::vector<const OpList*> nodes;
};

} // namespace kvx
