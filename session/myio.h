// The panel of eight input switches and eight output LEDs, as the CPU sees it. No window
// system here: every front end shows and flips the same panel.
#pragma once

#include <array>

#include "core/cpu.h"

namespace kvx {

class MyIO final : public IO {
public:
    static constexpr int Size = 8;

    // Switch k feeds input bit k (E0.k); the byte address is ignored.
    int GetIBit(int Addr, int Bit) override;
    int GetIBitCnt() override { return Size; }
    // LED k shows output bit k (A0.k); the byte address is ignored.
    void SetOBit(int Addr, int Bit, int val) override;
    int GetOBitCnt() override { return Size; }
    std::uint8_t GetIByte(int Addr, int bits) override;
    void SetOByte(int Addr, std::uint8_t value, int bits) override;

    // Flips switch `no`; numbers outside 0..7 are ignored.
    void ChangeInput(int no) noexcept;

    std::array<int, Size> InState{};
    std::array<int, Size> OutState{};
};

} // namespace kvx
