#include "session/text.h"

namespace kvx {

namespace {

bool inRange(unsigned char c, unsigned char low, unsigned char high) noexcept {
    return c >= low && c <= high;
}

// Control characters, C0 and C1: a terminal acts on them instead of showing them. C1 as raw
// bytes (0x80..0x9f) is not UTF-8 and is escaped anyway.
bool isControl(char32_t c) noexcept {
    return (c < 0x20 && c != '\t') || (c >= 0x7f && c <= 0x9f);
}

void appendEscape(std::string& s, unsigned char byte) {
    static constexpr char Hex[] = "0123456789abcdef";
    s += "\\x";
    s += Hex[byte >> 4];
    s += Hex[byte & 0xf];
}

} // namespace

Utf8Char utf8At(std::string_view text, std::size_t pos) noexcept {
    const auto byte = [&](std::size_t i) {
        return pos + i < text.size() ? static_cast<unsigned char>(text[pos + i]) : 0;
    };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    // The lead byte fixes the length, the payload bits it carries, and the range of the second
    // byte, which is what rules out overlong forms, surrogates and values above U+10FFFF.
    std::size_t length = 0;
    char32_t code = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xbf;
    if (inRange(lead, 0xc2, 0xdf)) {
        length = 2;
        code = lead & 0x1fu;
    } else if (inRange(lead, 0xe0, 0xef)) {
        length = 3;
        code = lead & 0x0fu;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (inRange(lead, 0xf0, 0xf4)) {
        length = 4;
        code = lead & 0x07u;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    } else {
        return {};
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char c = byte(i);
        if (!inRange(c, i == 1 ? low : 0x80, i == 1 ? high : 0xbf)) {
            // The bytes that did fit belong to the broken character: one replacement for them.
            return {0, i, false};
        }
        code = (code << 6) | (c & 0x3fu);
    }
    return {code, length, true};
}

std::string forMessage(std::string_view text, std::size_t limit) {
    std::string s;
    std::size_t shown = 0;
    for (std::size_t pos = 0; pos < text.size(); ++shown) {
        if (shown == limit) {
            s += "...";
            break;
        }
        const Utf8Char c = utf8At(text, pos);
        if (!c.valid || isControl(c.code)) {
            for (std::size_t i = 0; i < c.length; ++i) {
                appendEscape(s, static_cast<unsigned char>(text[pos + i]));
            }
        } else {
            s.append(text.substr(pos, c.length));
        }
        pos += c.length;
    }
    return s;
}

std::string escaped(std::string_view text) {
    return forMessage(text, std::string_view::npos);
}

std::string haltedText(int line) {
    return "Angehalten: Zeile " + std::to_string(line);
}

} // namespace kvx
