// User text (scenario lines, operands, file names) as the runner shows it again: on a terminal
// and in the XML report. Whatever bytes a file holds, what the runner prints is safe to show.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kvx {

// One character of a UTF-8 text, or the longest start of one that is broken off.
struct Utf8Char {
    // The code point; meaningless when !valid.
    char32_t code = 0;
    // The bytes it takes, at least 1.
    std::size_t length = 1;
    // False for bytes that are not well-formed UTF-8: stray continuation bytes, cut or
    // overlong sequences, surrogates, values above U+10FFFF.
    bool valid = false;
};

// The character that starts at text[pos]; pos < text.size().
Utf8Char utf8At(std::string_view text, std::size_t pos) noexcept;

// How many characters of user text a message quotes before it cuts it with "...".
inline constexpr std::size_t QuoteLimit = 80;

// `text` fit to quote in a message: control characters and bytes that are not UTF-8 become
// "\x1b"-style escapes (a tab stays), and the text is cut after `limit` characters. Escape
// sequences in a scenario line must not reach the terminal, a NUL must not end the message, and
// a 10 MB line must not become a 10 MB message.
std::string forMessage(std::string_view text, std::size_t limit = QuoteLimit);

// As forMessage(), but never cut: for file names, which a reader needs whole.
std::string escaped(std::string_view text);

// The run state of a scan halted before the instruction at `line`, as every front end shows
// it: "Angehalten: Zeile 12".
std::string haltedText(int line);

} // namespace kvx
