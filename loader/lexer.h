// The program scanner: MyyyLexer is the scanner generated from loader/awl.l; Lexer is the
// facade the parser works with.
#pragma once

#include <memory>
#include <string>
#include <string_view>

// The generated scanner has included it already, in a way that a second inclusion would
// redefine the class.
#ifndef yyFlexLexerOnce
#include <FlexLexer.h>
#endif

namespace kvx {

class Reader;

// Scanner over a Reader, which must outlive it. Every failure, including flex's own fatal
// errors, throws CPUException; nothing ends the process.
class MyyyLexer final : public yyFlexLexer {
public:
    explicit MyyyLexer(Reader& r);

    // The next token value (loader/awl.h), 0 at the end of the input and on every later call.
    // Throws "Unexpected text(<line>):<char>" for a character that starts no token.
    int getToken();
    // Text of the token returned last, without the "//" of a comment or the "TITLE=" of a
    // title.
    std::string_view tokenText() const noexcept;
    // The whole text of the token returned last, as the input holds it; empty at the end.
    std::string_view rawTokenText() const noexcept;
    // Line on which the token returned last starts; at the end of the input, the line of the
    // last character (1 for an empty input).
    int tokenLine() const noexcept { return startLine; }

    // Generated from loader/awl.l.
    int yylex() override;

protected:
    int LexerInput(char* buf, int max_size) override;
    void LexerError(const char* msg) override;

private:
    [[noreturn]] void unexpectedText() const;

    Reader& read;
    int lasttok = 0;
    int off = 0;
    int startLine = 1;
    // The last byte handed to flex, -1 before the first; places the end of the input.
    int lastChar = -1;
    bool ended = false;
};

// The parser's view of the scanner: advance, current token text, current line.
class Lexer final {
public:
    explicit Lexer(Reader& r);
    ~Lexer();
    Lexer(const Lexer&) = delete;
    Lexer& operator=(const Lexer&) = delete;

    int getNextTokenType() { return info->getToken(); }
    std::string getTokenText() const { return std::string(info->tokenText()); }
    std::string getRawTokenText() const { return std::string(info->rawTokenText()); }
    int getLineNo() const noexcept { return info->tokenLine(); }

private:
    std::unique_ptr<MyyyLexer> info;
};

} // namespace kvx
