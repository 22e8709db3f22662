// CPU::parserCommand: from the text of one instruction line to an instruction object.

#include "instructions/operators.h"

#include <array>
#include <memory>
#include <string_view>

#include "core/common.h"
#include "core/cpu.h"

namespace kvx {

namespace {

using Maker = std::unique_ptr<Operation> (*)(std::unique_ptr<Parameter>,
                                             std::unique_ptr<Parameter>);

template <typename Op>
std::unique_ptr<Operation> make(std::unique_ptr<Parameter> first,
                                std::unique_ptr<Parameter> second) {
    return std::make_unique<Op>(std::move(first), std::move(second));
}

struct Mnemonic {
    std::string_view text;
    Maker maker;
};

// Searched in this order; the match is exact and case-sensitive.
constexpr std::array<Mnemonic, 27> mnemonics{{
    {"LDN", make<LDN_Op>},   {"LD", make<LD_Op>},     {"O", make<O_Op>},
    {"ON", make<ON_Op>},     {"U", make<U_Op>},       {"UN", make<UN_Op>},
    {"OLD", make<OLD_Op>},   {"ULD", make<ULD_Op>},   {"NOT", make<NOT_Op>},
    {"R", make<R_Op>},       {"S", make<S_Op>},       {"LSCR", make<LSCR_Op>},
    {"SCRT", make<SCRT_Op>}, {"SCRE", make<SCRE_Op>}, {"=", make<gl_Op>},
    {"LPS", make<LPS_Op>},   {"LPP", make<LPP_Op>},   {"LRD", make<LRD_Op>},
    {"EU", make<EU_Op>},     {"ED", make<ED_Op>},     {"MOVB", make<MOVB_Op>},
    {"MOVW", make<MOVW_Op>}, {"XORB", make<XORB_Op>}, {"LDW=", make<LDWgl_Op>},
    {"UB=", make<UBgl_Op>},  {"TON", make<TON_Op>},   {"ZVR", make<ZVR_Op>},
}};

} // namespace

std::unique_ptr<Operation> CPU::parserCommand(std::string_view Opcode,
                                              std::optional<std::string_view> p1,
                                              std::optional<std::string_view> p2) {
    // Operand texts first: a bad operand is reported even on a line with an unknown mnemonic.
    std::unique_ptr<Parameter> first = p1 ? parserParameter(*p1) : nullptr;
    std::unique_ptr<Parameter> second = p2 ? parserParameter(*p2) : nullptr;
    for (const Mnemonic& entry : mnemonics) {
        if (entry.text == Opcode) {
            return entry.maker(std::move(first), std::move(second));
        }
    }
    throw CPUException("Unknown Operation");
}

} // namespace kvx
