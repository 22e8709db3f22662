// Whole numbers as the runner's own options and scenario commands take them: plain decimal.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "session/text.h"

namespace kvx {

// The decimal number that is all of `text`, if it fits in 32 bits unsigned.
inline std::optional<std::uint32_t> wholeNumber(std::string_view text) noexcept {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end) {
        return std::nullopt;
    }
    return value;
}

// A count or a time in milliseconds that `what` (an option or a scenario word) needs. Throws
// Error with the text that says the allowed range.
template <typename Error>
std::uint32_t parseCount(std::string_view what, std::string_view text) {
    const auto value = wholeNumber(text);
    if (!value) {
        throw Error(std::string(what) + " needs a whole number from 0 to 4294967295, not '" +
                    forMessage(text) + "'");
    }
    return *value;
}

} // namespace kvx
