// Reads a program file into the program tree and installs it in a CPU.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/cpu.h"

namespace kvx {

class Lexer;
struct Network;
struct OpList;
class Operation;
class Reader;

class Parser final {
public:
    // Reads the whole program from `r` and builds it for the CPU of `targets`, without
    // installing it; touches nothing but `targets` (see CPU::OperandTargets), so it may run on
    // another thread than the CPU. Any error throws CPUException: "Parse-error(<line>):<message>"
    // or the scanner's "Unexpected text(<line>):<char>", naming the line on which the offending
    // token starts, or the Reader's own error unchanged; nothing built so far is kept. Parser and
    // scanner errors carry the offending token: the token the grammar did not expect, the
    // refused operand, or the mnemonic of a refused instruction.
    std::unique_ptr<Block> parse(const CPU::OperandTargets& targets, Reader& r);
    // parse(), then installs the program in `c`, replacing the program there; after an error
    // `c` keeps the program it had.
    void LoadInCPU(CPU& c, Reader& r);

private:
    std::unique_ptr<Block> ParserBlock(int EndToken);
    std::optional<std::string> ParserKommentar();
    std::unique_ptr<Network> ParserNetworks();
    std::unique_ptr<Network> ParserNetwork();
    std::unique_ptr<OpList> ParserOpList();
    std::unique_ptr<Operation> ParserOperation();
    std::int32_t parseInt(std::string_view text) const;
    [[noreturn]] void ParserError(std::string_view msg) const;
    [[noreturn]] void ParserError(std::string_view msg, int line, std::string token) const;

    void advance();
    // Advances, then requires the new token to be `token`.
    void expectNext(int token, std::string_view msg);
    void expectNewline();

    int nexttok = 0;
    Lexer* lex = nullptr;
    const CPU::OperandTargets* targets = nullptr;
};

} // namespace kvx
