// The scanner on its own: token values and texts, line numbers, unexpected bytes.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/common.h"
#include "loader/awl.h"
#include "loader/lexer.h"
#include "loader/reader.h"
#include "loader_support.h"

namespace kvx {

namespace {

// Hands over the bytes exactly as given (no line-end filtering) and counts the reads.
class RawRead final : public Reader {
public:
    explicit RawRead(std::string s) : text(std::move(s)) {}
    int read() override {
        ++reads;
        return pos < text.size() ? static_cast<unsigned char>(text[pos++]) : -1;
    }
    int reads = 0;

private:
    std::string text;
    std::size_t pos = 0;
};

struct Tok {
    int type;
    std::string text;
    int line;
    bool operator==(const Tok&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Tok& t) {
    return os << "{" << t.type << ", \"" << t.text << "\", line " << t.line << "}";
}

// Every token up to and including the end of the input.
std::vector<Tok> scan(const std::string& input) {
    RawRead reader(input);
    Lexer lex(reader);
    std::vector<Tok> tokens;
    int type = 0;
    do {
        type = lex.getNextTokenType();
        tokens.push_back({type, lex.getTokenText(), lex.getLineNo()});
    } while (type != TOK_EOF);
    return tokens;
}

std::string scanError(const std::string& input) {
    return errorOf([&] { scan(input); });
}

TEST(Scanner, TokenValuesAndTexts) {
    struct Case {
        std::string input;
        std::vector<Tok> expected;
    };
    const std::vector<Case> cases = {
        {"ORGANIZATION_BLOCK MAIN:OB1\n",
         {{257, "ORGANIZATION_BLOCK", 1},
          {264, "MAIN", 1},
          {268, ":", 1},
          {264, "OB1", 1},
          {266, "\n", 1},
          {0, "", 1}}},
        {"NETWORK 1 // first\n",
         {{263, "NETWORK", 1}, {264, "1", 1}, {267, " first", 1}, {266, "\n", 1}, {0, "", 1}}},
        {"TITLE=\n", {{269, "", 1}, {266, "\n", 1}, {0, "", 1}}},
        {"TITLE =x", {{264, "TITLE", 1}, {264, "=x", 1}, {0, "", 1}}},
        // A title runs to the line end across blanks and slashes.
        {"TITLE= Lamp // control", {{269, " Lamp // control", 1}, {0, "", 1}}},
        {"//\n", {{267, "", 1}, {266, "\n", 1}, {0, "", 1}}},
        {"// a, b; (c) \"d\"", {{267, " a, b; (c) \"d\"", 1}, {0, "", 1}}},
        {"\t LD\t E0.0  ", {{264, "LD", 1}, {264, "E0.0", 1}, {0, "", 1}}},
        {"END_SUBROUTINE_BLOCK END_INTERRUPT_BLOCK INTERRUPT_BLOCK SUBROUTINE_BLOCK BEGIN "
         "END_ORGANIZATION_BLOCK",
         {{260, "END_SUBROUTINE_BLOCK", 1},
          {262, "END_INTERRUPT_BLOCK", 1},
          {261, "INTERRUPT_BLOCK", 1},
          {259, "SUBROUTINE_BLOCK", 1},
          {265, "BEGIN", 1},
          {258, "END_ORGANIZATION_BLOCK", 1},
          {0, "", 1}}},
        // Keywords with more name characters, or in other letter case, are names.
        {"NETWORKS BEGIN1 END_ORGANIZATION_BLOCKX network",
         {{264, "NETWORKS", 1},
          {264, "BEGIN1", 1},
          {264, "END_ORGANIZATION_BLOCKX", 1},
          {264, "network", 1},
          {0, "", 1}}},
        {"= LDW= UB= 16#FF +5 -12 T37 SM0.1 a_b",
         {{264, "=", 1},
          {264, "LDW=", 1},
          {264, "UB=", 1},
          {264, "16#FF", 1},
          {264, "+5", 1},
          {264, "-12", 1},
          {264, "T37", 1},
          {264, "SM0.1", 1},
          {264, "a_b", 1},
          {0, "", 1}}},
        {"= A0.0 // set", {{264, "=", 1}, {264, "A0.0", 1}, {267, " set", 1}, {0, "", 1}}},
        {"", {{0, "", 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("input: \"" + c.input + "\"");
        EXPECT_EQ(scan(c.input), c.expected);
    }
}

TEST(Scanner, LineBreakRunsAndLineNumbers) {
    struct Case {
        std::string input;
        std::vector<Tok> expected;
    };
    const std::vector<Case> cases = {
        // One run however many line ends it holds; the next token starts on line 4.
        {"\n\n\r\nX", {{266, "\n\n\r\n", 1}, {264, "X", 4}, {0, "", 4}}},
        // A line of blanks splits the run.
        {"\n  \nX", {{266, "\n", 1}, {266, "\n", 2}, {264, "X", 3}, {0, "", 3}}},
        // A lone carriage return is a line break that counts no line.
        {"A\rB", {{264, "A", 1}, {266, "\r", 1}, {264, "B", 1}, {0, "", 1}}},
        // A run names the line it starts on.
        {"A\n\n\nB\n",
         {{264, "A", 1}, {266, "\n\n\n", 1}, {264, "B", 4}, {266, "\n", 4}, {0, "", 4}}},
        // The end of the input names the last line there is.
        {"A\n\n", {{264, "A", 1}, {266, "\n\n", 1}, {0, "", 2}}},
        {"\n\n\n", {{266, "\n\n\n", 1}, {0, "", 3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("input: \"" + c.input + "\"");
        EXPECT_EQ(scan(c.input), c.expected);
    }
}

TEST(Scanner, CommentTextStopsBeforeTheLineFeed) {
    // The raw scanner keeps a carriage return before the line feed in the text (StringRead and
    // FRead drop it before the scanner sees it).
    EXPECT_EQ(scan("// x\r\n"), (std::vector<Tok>{{267, " x\r", 1}, {266, "\n", 1}, {0, "", 1}}));
}

TEST(Scanner, BytesOf128AndAbove) {
    const std::string high = "\xC4\xFF\x80";
    EXPECT_EQ(scan("//" + high + "\n"),
              (std::vector<Tok>{{267, high, 1}, {266, "\n", 1}, {0, "", 1}}));
    EXPECT_EQ(scan("TITLE=" + high), (std::vector<Tok>{{269, high, 1}, {0, "", 1}}));
    for (const char byte : high) {
        const std::string input = std::string("LD\n") + byte;
        SCOPED_TRACE("byte " + std::to_string(static_cast<unsigned char>(byte)));
        EXPECT_EQ(scanError(input), "Unexpected text(2):" + std::string(1, byte));
    }
}

TEST(Scanner, UnexpectedCharacters) {
    struct Case {
        std::string input;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"a,b", "Unexpected text(1):,"},
        {"LD E0.0\n\n; x", "Unexpected text(3):;"},
        {"A / B", "Unexpected text(1):/"},
        {"X(", "Unexpected text(1):("},
        {"\"", "Unexpected text(1):\""},
        {"\x01", "Unexpected text(1):\x01"},
        // A NUL byte leaves the text part empty.
        {std::string("A\n\0", 3), "Unexpected text(2):"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("input: \"" + c.input + "\"");
        EXPECT_EQ(scanError(c.input), c.message);
    }
}

TEST(Scanner, EndOfInputRepeatsWithoutReadingAgain) {
    RawRead reader("LD");
    Lexer lex(reader);
    EXPECT_EQ(lex.getNextTokenType(), TOK_NAME);
    EXPECT_EQ(lex.getNextTokenType(), TOK_EOF);
    const int readsAtEnd = reader.reads;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(lex.getNextTokenType(), TOK_EOF);
        EXPECT_EQ(lex.getTokenText(), "");
    }
    EXPECT_EQ(reader.reads, readsAtEnd);
}

TEST(Scanner, TokenLongerThanTheBufferGrowsIt) {
    // Far beyond flex's 16 KiB buffer; must neither end the process nor take quadratic time.
    const std::size_t length = 100U * 1024U * 1024U;
    std::string input = "NETWORK 1\n//";
    input.append(length, 'x');
    input += "\nLD";
    StringRead reader(std::move(input));
    Lexer lex(reader);
    EXPECT_EQ(lex.getNextTokenType(), TOK_NETWORK);
    EXPECT_EQ(lex.getNextTokenType(), TOK_NAME);
    EXPECT_EQ(lex.getNextTokenType(), TOK_NEWLINE);
    EXPECT_EQ(lex.getNextTokenType(), TOK_COMMENT);
    EXPECT_EQ(lex.getTokenText().size(), length);
    EXPECT_EQ(lex.getLineNo(), 2);
    EXPECT_EQ(lex.getNextTokenType(), TOK_NEWLINE);
    EXPECT_EQ(lex.getNextTokenType(), TOK_NAME);
    EXPECT_EQ(lex.getLineNo(), 3);
    EXPECT_EQ(lex.getNextTokenType(), TOK_EOF);
}

} // namespace

} // namespace kvx
