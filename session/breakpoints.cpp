#include "session/breakpoints.h"

#include <array>
#include <utility>

#include "core/common.h"
#include "core/cpu.h"
#include "session/operand_access.h"
#include "session/text.h"

namespace kvx {

namespace {

constexpr std::string_view Blanks = " \t";

std::string_view trimmed(std::string_view s) noexcept {
    const auto first = s.find_first_not_of(Blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(Blanks) - first + 1);
}

bool holdsInstruction(const CPU& cpu, int line) noexcept {
    for (const Block* block = cpu.getProgram(); block != nullptr; block = block->Next.get()) {
        if (block->Type != Block::Organization) {
            continue;
        }
        for (const Network* net = block->Networks.get(); net != nullptr; net = net->Next.get()) {
            for (const OpList* node = net->Ops.get(); node != nullptr; node = node->Next.get()) {
                if (node->Op && node->Line == line) {
                    return true;
                }
            }
        }
    }
    return false;
}

// A value read in `bits` as the two's complement a negative constant compares with.
std::int64_t signedIn(std::uint32_t value, int bits) noexcept {
    const std::uint64_t sign = std::uint64_t{1} << (bits - 1);
    return static_cast<std::int64_t>((value ^ sign)) - static_cast<std::int64_t>(sign);
}

} // namespace

Breakpoints::~Breakpoints() = default;

std::optional<std::string> Breakpoints::refusal(int line) const {
    if (holdsInstruction(processor, line)) {
        return std::nullopt;
    }
    return "line " + std::to_string(line) + " holds no instruction";
}

std::optional<Breakpoints::Condition> Breakpoints::parse(CPU& cpu, std::string_view text,
                                                         std::string& error) {
    // The longer operators first, so that "<=" is not read as "<" before "=VALUE".
    static constexpr std::array<std::pair<std::string_view, Compare>, 6> Operators{{
        {"<>", Compare::NotEqual},
        {"<=", Compare::LessEqual},
        {">=", Compare::GreaterEqual},
        {"=", Compare::Equal},
        {"<", Compare::Less},
        {">", Compare::Greater},
    }};
    const auto at = text.find_first_of("=<>");
    const auto usage = [&text]() {
        return "condition '" + forMessage(text) +
               "': write OPERAND OP VALUE, with OP one of = <> < > <= >=";
    };
    if (at == std::string_view::npos) {
        error = usage();
        return std::nullopt;
    }
    for (const auto& [symbol, compare] : Operators) {
        if (text.substr(at, symbol.size()) != symbol) {
            continue;
        }
        const std::string_view operand = trimmed(text.substr(0, at));
        const std::string_view value = trimmed(text.substr(at + symbol.size()));
        if (operand.empty() || value.empty() || value.find_first_of("=<>") != value.npos) {
            break;
        }
        try {
            Condition c;
            c.text = std::string(trimmed(text));
            c.operand = std::make_unique<OperandRef>(cpu, operand);
            const Constant want = parseConstant(cpu, value);
            c.operand->expected(want);
            c.compare = compare;
            c.value = want.value;
            return c;
        } catch (const InputError& e) {
            error = "condition '" + forMessage(text) + "': " + e.what();
            return std::nullopt;
        }
    }
    error = usage();
    return std::nullopt;
}

std::optional<std::string> Breakpoints::set(int line, std::string_view condition) {
    if (auto refused = refusal(line)) {
        return refused;
    }
    if (trimmed(condition).empty()) {
        entries.insert_or_assign(line, std::nullopt);
        return std::nullopt;
    }
    std::string error;
    auto parsed = parse(processor, condition, error);
    if (!parsed) {
        return error;
    }
    entries.insert_or_assign(line, std::move(parsed));
    return std::nullopt;
}

bool Breakpoints::clear(int line) {
    return entries.erase(line) != 0;
}

std::vector<Breakpoint> Breakpoints::list() const {
    std::vector<Breakpoint> all;
    all.reserve(entries.size());
    for (const auto& [line, condition] : entries) {
        all.push_back({line, condition ? condition->text : std::string()});
    }
    return all;
}

bool Breakpoints::Condition::holds() const {
    const std::uint32_t raw = operand->value();
    const std::int64_t actual = value < 0 ? signedIn(raw, bitsOf(operand->kind())) : raw;
    switch (compare) {
    case Compare::Equal:
        return actual == value;
    case Compare::NotEqual:
        return actual != value;
    case Compare::Less:
        return actual < value;
    case Compare::Greater:
        return actual > value;
    case Compare::LessEqual:
        return actual <= value;
    case Compare::GreaterEqual:
        return actual >= value;
    }
    return false;
}

bool Breakpoints::haltBefore(const OpList& node, const CPU&) {
    if (target == Target::Nowhere) {
        return false;
    }
    stepHalt = target == Target::Next;
    if (stepHalt || (target == Target::Line && node.Line == targetLine)) {
        return true;
    }
    const auto found = entries.find(node.Line);
    if (found == entries.end()) {
        return false;
    }
    try {
        return !found->second || found->second->holds();
    } catch (const CPUException&) {
        // An operand outside its area cannot be compared; halting shows why.
        return true;
    }
}

} // namespace kvx
