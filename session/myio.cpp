#include "session/myio.h"

#include <algorithm>

namespace kvx {

namespace {
bool isPanelBit(int bit) noexcept {
    return bit >= 0 && bit < MyIO::Size;
}
} // namespace

int MyIO::GetIBit(int, int Bit) {
    return isPanelBit(Bit) ? InState[static_cast<std::size_t>(Bit)] : 0;
}

void MyIO::SetOBit(int, int Bit, int val) {
    if (isPanelBit(Bit)) {
        OutState[static_cast<std::size_t>(Bit)] = val != 0 ? 1 : 0;
    }
}

std::uint8_t MyIO::GetIByte(int, int bits) {
    unsigned byte = 0;
    for (std::size_t bit = 0; bit < Size; ++bit) {
        byte |= InState[bit] != 0 ? 1u << bit : 0u;
    }
    return static_cast<std::uint8_t>(byte & ((1u << std::clamp(bits, 0, Size)) - 1));
}

void MyIO::SetOByte(int, std::uint8_t value, int bits) {
    const auto count = static_cast<std::size_t>(std::clamp(bits, 0, Size));
    for (std::size_t bit = 0; bit < count; ++bit) {
        OutState[bit] = value >> bit & 1;
    }
}

void MyIO::ChangeInput(int no) noexcept {
    if (isPanelBit(no)) {
        auto& state = InState[static_cast<std::size_t>(no)];
        state = state != 0 ? 0 : 1;
    }
}

} // namespace kvx
