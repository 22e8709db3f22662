#include "loader/parser.h"

#include <array>
#include <utility>

#include "core/common.h"
#include "core/cpu.h"
#include "core/program.h"
#include "loader/awl.h"
#include "loader/lexer.h"

namespace kvx {

namespace {
struct BlockKind {
    int keyword;
    int endKeyword;
    std::int32_t type;
};

constexpr BlockKind blockKinds[] = {
    {TOK_ORGANIZATION_BLOCK, TOK_END_ORGANIZATION_BLOCK, Block::Organization},
    {TOK_INTERRUPT_BLOCK, TOK_END_INTERRUPT_BLOCK, Block::Interrupt},
    {TOK_SUBROUTINE_BLOCK, TOK_END_SUBROUTINE_BLOCK, Block::Subroutine},
};

const BlockKind* findBlockKind(int token) noexcept {
    for (const BlockKind& kind : blockKinds) {
        if (kind.keyword == token) {
            return &kind;
        }
    }
    return nullptr;
}

// Appends nodes in file order without recursion, so chains of any length can be built.
template <typename Node>
class ChainBuilder final {
public:
    Node& append(std::unique_ptr<Node> node) noexcept {
        *tail = std::move(node);
        Node& added = **tail;
        tail = &added.Next;
        return added;
    }
    std::unique_ptr<Node> take() noexcept { return std::move(head); }

private:
    std::unique_ptr<Node> head;
    std::unique_ptr<Node>* tail = &head;
};

std::optional<std::string_view> view(const std::optional<std::string>& text) noexcept {
    return text ? std::optional<std::string_view>(*text) : std::nullopt;
}
} // namespace

void Parser::LoadInCPU(CPU& c, Reader& r) {
    c.setProgram(parse(c.operandTargets(), r));
}

// file = block {block} end-of-input
std::unique_ptr<Block> Parser::parse(const CPU::OperandTargets& t, Reader& r) {
    Lexer lexer(r);
    // The lexer dies with this call; the parser must not keep pointing at it.
    struct Detach {
        Parser& parser;
        ~Detach() {
            parser.lex = nullptr;
            parser.targets = nullptr;
        }
    } detach{*this};
    lex = &lexer;
    targets = &t;

    ChainBuilder<Block> blocks;
    advance();
    do {
        const BlockKind* kind = findBlockKind(nexttok);
        if (kind == nullptr) {
            ParserError("ORGANIZATION_BLOCK expected");
        }
        blocks.append(ParserBlock(kind->endKeyword)).Type = kind->type;
        advance();
    } while (nexttok != TOK_EOF);
    return blocks.take();
}

// block = block-keyword NAME ":" NAME NEWLINE [TITLE NEWLINE] comment-lines BEGIN NEWLINE
//         {network} end-keyword (NEWLINE | end-of-input)
std::unique_ptr<Block> Parser::ParserBlock(int EndToken) {
    auto block = std::make_unique<Block>();
    expectNext(TOK_NAME, "Blockname expected");
    block->Name = lex->getTokenText();
    expectNext(TOK_COLON, ": expected");
    expectNext(TOK_NAME, "Name after : expected");
    block->AddInfo = lex->getTokenText();
    expectNewline();
    advance();
    if (nexttok == TOK_TITLE) {
        block->Title = lex->getTokenText();
        expectNewline();
        advance();
    }
    block->Kommentar = ParserKommentar();
    if (nexttok != TOK_BEGIN) {
        ParserError("BEGIN expected");
    }
    expectNewline();
    advance();
    block->Networks = ParserNetworks();
    if (nexttok != EndToken) {
        ParserError("End-Block expected");
    }
    advance();
    // Many editors save the last line without a line break.
    if (nexttok != TOK_NEWLINE && nexttok != TOK_EOF) {
        ParserError("Newline expected");
    }
    return block;
}

// comment-lines = {COMMENT NEWLINE}
std::optional<std::string> Parser::ParserKommentar() {
    std::optional<std::string> text;
    while (nexttok == TOK_COMMENT) {
        if (text) {
            text->push_back('\n');
            text->append(lex->getTokenText());
        } else {
            text = lex->getTokenText();
        }
        expectNewline();
        advance();
    }
    return text;
}

// {network}
std::unique_ptr<Network> Parser::ParserNetworks() {
    ChainBuilder<Network> networks;
    while (nexttok == TOK_NETWORK) {
        networks.append(ParserNetwork());
    }
    return networks.take();
}

// network = NETWORK NAME [COMMENT] NEWLINE comment-lines {instruction-line}
std::unique_ptr<Network> Parser::ParserNetwork() {
    expectNext(TOK_NAME, "Network-ID expected");
    auto network = std::make_unique<Network>();
    network->ID = parseInt(lex->getTokenText());
    advance();
    if (nexttok == TOK_COMMENT) {
        network->Title = lex->getTokenText();
        advance();
    }
    if (nexttok != TOK_NEWLINE) {
        ParserError("Newline expected");
    }
    advance();
    network->Kommentar = ParserKommentar();
    network->Ops = ParserOpList();
    return network;
}

// {instruction-line}
std::unique_ptr<OpList> Parser::ParserOpList() {
    ChainBuilder<OpList> lines;
    while (nexttok == TOK_NAME) {
        auto node = std::make_unique<OpList>();
        node->Line = lex->getLineNo();
        node->Op = ParserOperation();
        lines.append(std::move(node));
    }
    return lines.take();
}

// instruction-line = NAME [NAME [NAME]] NEWLINE
std::unique_ptr<Operation> Parser::ParserOperation() {
    const int line = lex->getLineNo();
    const std::string mnemonic = lex->getTokenText();
    std::array<std::optional<std::string>, 2> operands;
    advance();
    for (auto& operand : operands) {
        if (nexttok != TOK_NAME) {
            break;
        }
        operand = lex->getTokenText();
        advance();
    }
    // A third operand is only reported once the instruction with two has passed its check.
    std::unique_ptr<Operation> op;
    try {
        op = targets->command(mnemonic, view(operands[0]), view(operands[1]));
        if (op) {
            op->check();
        }
    } catch (const CPUException& e) {
        // A refused operand names itself; anything else the instruction refuses is its own.
        ParserError(e.getText(), line, e.getToken().value_or(mnemonic));
    }
    if (nexttok != TOK_NEWLINE) {
        ParserError("Newline expected");
    }
    advance();
    return op;
}

// Digits only. Numbers beyond 32 bits wrap (unsigned), and the listing prints the ID
// unsigned, so every ID that loads lists as digits that load again to the same ID.
std::int32_t Parser::parseInt(std::string_view text) const {
    if (text.empty()) {
        ParserError("Network-ID is no number");
    }
    std::uint32_t value = 0;
    for (const char ch : text) {
        if (ch < '0' || ch > '9') {
            ParserError("Network-ID is no number");
        }
        value = value * 10U + static_cast<std::uint32_t>(ch - '0');
    }
    return static_cast<std::int32_t>(value);
}

void Parser::ParserError(std::string_view msg) const {
    ParserError(msg, lex->getLineNo(), lex->getRawTokenText());
}

void Parser::ParserError(std::string_view msg, int line, std::string token) const {
    std::string text = "Parse-error(" + std::to_string(line) + "):";
    text.append(msg);
    throw CPUException(std::move(text), line, std::move(token));
}

void Parser::advance() {
    nexttok = lex->getNextTokenType();
}

void Parser::expectNext(int token, std::string_view msg) {
    advance();
    if (nexttok != token) {
        ParserError(msg);
    }
}

void Parser::expectNewline() {
    expectNext(TOK_NEWLINE, "Newline expected");
}

} // namespace kvx
