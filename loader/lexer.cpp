#include "loader/lexer.h"

#include <algorithm>
#include <string>

#include "core/common.h"
#include "loader/awl.h"
#include "loader/reader.h"

namespace kvx {

MyyyLexer::MyyyLexer(Reader& r) : yyFlexLexer(nullptr, nullptr), read(r) {}

int MyyyLexer::getToken() {
    // Once the input has ended, flex is not asked again: it would ask the Reader again.
    if (ended) {
        return TOK_EOF;
    }
    // Blanks skipped before a token hold no line feed, so the line before the scan is the
    // line on which the token starts.
    startLine = lineno();
    lasttok = yylex();
    switch (lasttok) {
    case TOK_COMMENT:
        off = 2;
        break;
    case TOK_TITLE:
        off = 6;
        break;
    default:
        off = 0;
        break;
    }
    if (lasttok == TOK_EOF) {
        ended = true;
        // The line after a final line feed holds nothing; name the last line that exists.
        if (lastChar == '\n') {
            startLine = lineno() - 1;
        }
    }
    return lasttok;
}

std::string_view MyyyLexer::tokenText() const noexcept {
    return rawTokenText().substr(std::min(static_cast<std::size_t>(off), rawTokenText().size()));
}

std::string_view MyyyLexer::rawTokenText() const noexcept {
    if (ended) {
        return {};
    }
    return {YYText(), static_cast<std::size_t>(YYLeng())};
}

// flex is handed everything that fits at once: one byte per call would make flex rescan the
// token it is in after every byte, quadratic in the length of a long comment line.
int MyyyLexer::LexerInput(char* buf, int max_size) {
    const std::size_t n = max_size > 0 ? read.read(buf, static_cast<std::size_t>(max_size)) : 0;
    if (n > 0) {
        lastChar = static_cast<unsigned char>(buf[n - 1]);
    }
    return static_cast<int>(n);
}

void MyyyLexer::LexerError(const char* msg) {
    throw CPUException("Scanner error(" + std::to_string(lineno()) + "):" + msg, lineno());
}

void MyyyLexer::unexpectedText() const {
    // The lexeme is one byte; a NUL byte leaves the text part empty, but not the token.
    throw CPUException("Unexpected text(" + std::to_string(lineno()) + "):" + YYText(), lineno(),
                       std::string(rawTokenText()));
}

Lexer::Lexer(Reader& r) : info(std::make_unique<MyyyLexer>(r)) {}

Lexer::~Lexer() = default;

} // namespace kvx
