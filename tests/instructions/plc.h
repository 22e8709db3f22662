// A session on simulated time that runs small programs written as instruction lines, the way
// they stand in a program file ("LD M0.0", "= A0.0"). Every line goes through
// CPU::parserCommand and check(), so the tests see the instructions as a loaded program would.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "core/common.h"
#include "core/cpu.h"
#include "core/observer.h"
#include "session/session.h"
#include "tests/core/test_support.h"

namespace kvx {

// Splits a line into mnemonic and up to two operands and makes the checked instruction.
inline std::unique_ptr<Operation> instruction(CPU& cpu, const std::string& line) {
    std::istringstream words(line);
    std::string mnemonic;
    std::string first;
    std::string second;
    words >> mnemonic >> first >> second;
    auto optional = [](const std::string& text) {
        return text.empty() ? std::nullopt : std::optional<std::string_view>(text);
    };
    auto op = cpu.parserCommand(mnemonic, optional(first), optional(second));
    op->check();
    return op;
}

// The message with which a line is refused at load time, or "" when it is accepted.
inline std::string loadError(const std::string& line) {
    SimClock clock;
    CPU cpu(clock);
    return errorOf([&] { instruction(cpu, line); });
}

// What a probe saw of the logic stack: its depth (0 or less when the network took more
// entries than it pushed) and its entries from the bottom up.
struct StackView {
    int depth = 0;
    std::vector<int> entries;
    bool operator==(const StackView&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const StackView& view) {
    os << "depth " << view.depth << " [";
    for (int entry : view.entries) {
        os << entry;
    }
    return os << "]";
}

// Reads the stack through its public operations only: the number of pushes left before
// "StackOverflow" gives the depth. The entries are left as found; below the bottom the
// probe's own pushes may leave 0 in the bottom slot.
inline StackView viewStack(CPU& c) {
    int room = 0;
    try {
        for (;;) {
            c.push(0);
            ++room;
        }
    } catch (const CPUException&) {
    }
    for (int i = 0; i < room; ++i) {
        c.pop();
    }
    StackView view;
    view.depth = CPU::StackLimit + 1 - room;
    for (int i = 0; i < view.depth; ++i) {
        view.entries.push_back(c.pop());
    }
    std::reverse(view.entries.begin(), view.entries.end());
    for (int entry : view.entries) {
        c.push(entry);
    }
    return view;
}

// The two branches of the scan loop's observer hook: every instruction test runs on both.
enum class Scan { Plain, Observed };

class OnBothScans : public ::testing::TestWithParam<Scan> {};

inline std::string scanName(const ::testing::TestParamInfo<Scan>& info) {
    return info.param == Scan::Plain ? "Plain" : "Observed";
}

inline void PrintTo(Scan how, std::ostream* os) {
    *os << (how == Scan::Plain ? "plain" : "observed");
}

#define KVX_ON_BOTH_SCANS(Suite)                                                                   \
    INSTANTIATE_TEST_SUITE_P(, Suite, ::testing::Values(Scan::Plain, Scan::Observed), scanName)

class Plc {
public:
    using Networks = std::vector<std::vector<std::string>>;
    // The line that records the stack in `probes` instead of being an instruction.
    static constexpr std::string_view Probe = "PROBE";

    explicit Plc(Scan how) noexcept : observed(how == Scan::Observed) {}
    Plc(const Plc&) = delete;
    Plc& operator=(const Plc&) = delete;

    // Installs one organization block, one network per inner list, and resets the CPU as a
    // load does.
    void load(const Networks& networks) {
        auto block = std::make_unique<Block>();
        block->Type = Block::Organization;
        std::unique_ptr<Network>* netTail = &block->Networks;
        for (const auto& lines : networks) {
            *netTail = std::make_unique<Network>();
            std::unique_ptr<OpList>* opTail = &(*netTail)->Ops;
            for (const auto& line : lines) {
                *opTail = std::make_unique<OpList>();
                (*opTail)->Op = line == Probe ? probe() : instruction(cpu, line);
                opTail = &(*opTail)->Next;
            }
            netTail = &(*netTail)->Next;
        }
        cpu.setProgram(std::move(block));
        cpu.reset();
    }

    // Scans straight on the CPU, so that a fault reaches the test as the exception it is.
    void scan(int count = 1) {
        for (int i = 0; i < count; ++i) {
            if (observed) {
                cpu.runStep(&looker);
            } else {
                cpu.runStep();
            }
        }
    }
    // One scan after the clock has moved on by `ms`.
    void scanAfter(std::uint32_t ms) {
        session.advance(ms);
        scan();
    }
    std::uint32_t now() const noexcept { return session.now(); }
    // Moves the clock forward to `ms`.
    void advanceTo(std::uint32_t ms) noexcept { session.advance(ms - session.now()); }

    int bit(std::string_view operand) { return cpu.parserParameter(operand)->readBit(); }
    void setBit(std::string_view operand, int value) {
        cpu.parserParameter(operand)->writeBit(value);
    }
    int byte(std::string_view operand) { return cpu.parserParameter(operand)->readByte(); }
    void setByte(std::string_view operand, std::uint8_t value) {
        cpu.parserParameter(operand)->writeByte(value);
    }
    int word(std::string_view operand) { return cpu.parserParameter(operand)->readWord(); }
    void setWord(std::string_view operand, std::uint16_t value) {
        cpu.parserParameter(operand)->writeWord(value);
    }
    // Sets several bits at once: {"M0.0", 1}, {"M0.1", 0}.
    void setBits(std::initializer_list<std::pair<std::string_view, int>> bits) {
        for (const auto& [operand, value] : bits) {
            setBit(operand, value);
        }
    }

    // The error text of one scan, or "" when it ran through.
    std::string scanError() {
        return errorOf([this] { scan(); });
    }

    Session session;
    CPU& cpu = session.cpu();
    std::vector<StackView> probes;

private:
    // Reads what an observer may read, so that the hook's write-back is exercised.
    class Looker final : public ScanObserver {
    public:
        void executed(const OpList&, const CPU& cpu) override { tops += cpu.CurrentStack(); }
        int tops = 0;
    };

    bool observed;
    Looker looker;

    std::unique_ptr<Operation> probe() {
        return std::make_unique<LambdaOp>([this](CPU& c) { probes.push_back(viewStack(c)); }, 0,
                                          "PROBE");
    }
};

} // namespace kvx
