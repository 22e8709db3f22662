// Where a debugged scan halts: breakpoints by program line, each with an optional condition
// on one operand, and the halts a debugger asks for besides them (before the next instruction,
// before one line). The CPU asks it before each instruction of a halting scan only, so a
// session without a debugger pays nothing for it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/observer.h"
#include "session/operand_access.h"

namespace kvx {

class CPU;

struct Breakpoint {
    int line = 0;
    // As it was given ("MW4 > 100"); empty when the breakpoint always halts.
    std::string condition;
};

class Breakpoints final : public HaltCheck {
public:
    // Conditions read operands of `cpu`, which must outlive this.
    explicit Breakpoints(CPU& cpu) noexcept : processor(cpu) {}
    ~Breakpoints() override;
    Breakpoints(const Breakpoints&) = delete;
    Breakpoints& operator=(const Breakpoints&) = delete;

    // Why `line` of the installed program cannot halt a scan (it holds no instruction of an
    // organization block); nullopt when it can.
    std::optional<std::string> refusal(int line) const;

    // A breakpoint at `line`, halting when `condition` holds ("M0.3 = 1", "MW4 > 100": an
    // operand and a value as the watch table reads them, compared by = <> < > <= >=) or
    // always when it is blank; replaces one at that line. Returns why it was refused, and then
    // changes nothing.
    std::optional<std::string> set(int line, std::string_view condition = {});
    // False when there was none.
    bool clear(int line);
    void clearAll() noexcept { entries.clear(); }
    bool has(int line) const { return entries.contains(line); }
    bool empty() const noexcept { return entries.empty(); }
    // By line.
    std::vector<Breakpoint> list() const;

    // What halts the next halting scan besides the breakpoints: nothing more, the next
    // instruction, or the instruction at one line; or nothing at all, breakpoints neither.
    void haltOnBreakpoints() noexcept { target = Target::None; }
    void haltNowhere() noexcept { target = Target::Nowhere; }
    void haltOnNextInstruction() noexcept { target = Target::Next; }
    void haltOnLine(int line) noexcept {
        target = Target::Line;
        targetLine = line;
    }
    // Whether the last halt was the next instruction's (a step), not a breakpoint's.
    bool haltedForStep() const noexcept { return stepHalt; }

    bool haltBefore(const OpList& node, const CPU& cpu) override;

private:
    enum class Target : std::uint8_t { None, Nowhere, Next, Line };
    enum class Compare : std::uint8_t { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual };
    struct Condition {
        std::string text;
        std::unique_ptr<OperandRef> operand;
        Compare compare = Compare::Equal;
        std::int64_t value = 0;
        bool holds() const;
    };

    static std::optional<Condition> parse(CPU& cpu, std::string_view text, std::string& error);

    CPU& processor;
    std::map<int, std::optional<Condition>> entries;
    Target target = Target::None;
    int targetLine = 0;
    bool stepHalt = false;
};

} // namespace kvx
