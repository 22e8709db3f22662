#include "session/myio.h"

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

void MyIO::ChangeInput(int no) noexcept {
    if (isPanelBit(no)) {
        auto& state = InState[static_cast<std::size_t>(no)];
        state = state != 0 ? 0 : 1;
    }
}

} // namespace kvx
