#include "core/common.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace kvx {

namespace {
constexpr std::string_view Digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
} // namespace

void Writer::write(const char* text) {
    if (text != nullptr) {
        write(std::string_view(text));
    }
}

void Writer::write(std::string_view text) {
    for (char c : text) {
        write(c);
    }
}

void Writer::write(int base, std::uint32_t value) {
    if (base < 2 || base > static_cast<int>(Digits.size())) {
        return;
    }
    const auto b = static_cast<std::uint32_t>(base);
    // 32 binary digits is the longest any value can need.
    std::array<char, 32> buf{};
    std::size_t n = 0;
    do {
        buf[n++] = Digits[value % b];
        value /= b;
    } while (value > 0);
    while (n > 0) {
        write(buf[--n]);
    }
}

void Writer::write(std::uint32_t value) {
    write(10, value);
}

void Writer::write(int value) {
    if (value < 0) {
        write('-');
        // Negating in unsigned arithmetic keeps INT_MIN exact.
        write(10, 0u - static_cast<std::uint32_t>(value));
    } else {
        write(10, static_cast<std::uint32_t>(value));
    }
}

void Writer::write(float value) {
    std::array<char, 64> buf{};
    const int n = std::snprintf(buf.data(), buf.size(), "%f", static_cast<double>(value));
    if (n > 0) {
        write(std::string_view(buf.data(),
                               std::min<std::size_t>(static_cast<std::size_t>(n), buf.size() - 1)));
    }
}

std::string CPUException::describe() const {
    return msg + place();
}

std::string CPUException::place() const {
    if (instruction.empty()) {
        return {};
    }
    std::string text = " (";
    if (where) {
        text += "line " + std::to_string(*where) + ": ";
    }
    return text + instruction + ")";
}

} // namespace kvx
