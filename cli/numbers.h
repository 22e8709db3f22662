// Whole numbers as the runner's own options and scenario commands take them: plain decimal.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

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
