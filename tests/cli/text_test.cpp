// The runner's handling of arbitrary bytes in user text: how it decodes UTF-8, and how it quotes
// text in messages.

#include <string>

#include <gtest/gtest.h>

#include "session/text.h"

namespace kvx {

namespace {

struct DecodeCase {
    const char* what;
    std::string bytes;
    bool valid;
    // The bytes taken; for a broken sequence, those that one replacement character stands for.
    std::size_t length;
    char32_t code;
};

TEST(Utf8, DecodesExactlyTheWellFormedSequences) {
    const DecodeCase cases[] = {
        {"ASCII", "A", true, 1, U'A'},
        {"NUL", std::string(1, '\0'), true, 1, 0},
        {"first two-byte", "\xc2\x80", true, 2, 0x80},
        {"last two-byte", "\xdf\xbf", true, 2, 0x7ff},
        {"first three-byte", "\xe0\xa0\x80", true, 3, 0x800},
        {"last before the surrogates", "\xed\x9f\xbf", true, 3, 0xd7ff},
        {"first after the surrogates", "\xee\x80\x80", true, 3, 0xe000},
        {"U+FFFF is UTF-8, if no character", "\xef\xbf\xbf", true, 3, 0xffff},
        {"first four-byte", "\xf0\x90\x80\x80", true, 4, 0x10000},
        {"last code point", "\xf4\x8f\xbf\xbf", true, 4, 0x10ffff},
        {"stray continuation byte", "\x80", false, 1, 0},
        {"overlong '/' in two bytes", "\xc0\xaf", false, 1, 0},
        {"C1 lead never starts anything", "\xc1\xbf", false, 1, 0},
        {"overlong three-byte", "\xe0\x9f\xbf", false, 1, 0},
        {"surrogate", "\xed\xa0\x80", false, 1, 0},
        {"overlong four-byte", "\xf0\x8f\xbf\xbf", false, 1, 0},
        {"above U+10FFFF", "\xf4\x90\x80\x80", false, 1, 0},
        {"no lead byte above F4", "\xf5\x80\x80\x80", false, 1, 0},
        {"cut after two of three", "\xe2\x82", false, 2, 0},
        {"cut by ASCII",
         "\xf0\x9f\x98"
         "A",
         false, 3, 0},
        {"cut at the end of the text", "\xc3", false, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Utf8Char got = utf8At(c.bytes, 0);
        EXPECT_EQ(got.valid, c.valid);
        EXPECT_EQ(got.length, c.length);
        if (c.valid) {
            EXPECT_EQ(got.code, c.code);
        }
    }
}

TEST(QuotedText, EscapesWhatATerminalWouldActOnAndKeepsTheRest) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain text", "plain text"},
        {"tab\tstays", "tab\tstays"},
        {"\x1b[2J\x07\r\n", "\\x1b[2J\\x07\\x0d\\x0a"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"del\x7f", "del\\x7f"},
        {"csi \xc2\x9b and \x9b", "csi \\xc2\\x9b and \\x9b"},
        {"gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9d\x84\x9e",
         "gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9d\x84\x9e"},
        {"bad \xff\xe2\x82", "bad \\xff\\xe2\\x82"},
    };
    for (const auto& [text, shown] : cases) {
        SCOPED_TRACE(shown);
        EXPECT_EQ(forMessage(text), shown);
        EXPECT_EQ(escaped(text), shown);
    }
}

TEST(QuotedText, CutsAfterTheLimitCountingCharactersNotBytes) {
    const std::string euro = "\xe2\x82\xac";
    std::string eighty;
    for (int i = 0; i < 80; ++i) {
        eighty += euro;
    }
    EXPECT_EQ(forMessage(eighty), eighty);
    EXPECT_EQ(forMessage(eighty + "x"), eighty + "...");
    // An escape is one character of the limit, however long it is written.
    EXPECT_EQ(forMessage(std::string(81, '\x1b')).size(), 80 * 4 + 3);
    EXPECT_EQ(forMessage("abcdef", 3), "abc...");
    EXPECT_EQ(escaped(std::string(10000, 'x')), std::string(10000, 'x'));
}

} // namespace

} // namespace kvx
