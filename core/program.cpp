#include "core/program.h"

#include "core/common.h"

namespace kvx {

namespace {
// Unlinks the successors one at a time so that freeing a long chain needs no deep recursion.
template <typename Node>
void releaseChain(std::unique_ptr<Node>& next) noexcept {
    while (next) {
        std::unique_ptr<Node> following = std::move(next->Next);
        next = std::move(following);
    }
}
} // namespace

int Parameter::readBit() const {
    throw CPUException("getbit not supported");
}
std::uint8_t Parameter::readByte() const {
    throw CPUException("getbyte not supported");
}
std::uint16_t Parameter::readWord() const {
    throw CPUException("getword not supported");
}
std::uint32_t Parameter::readLong() const {
    throw CPUException("getlong not supported");
}
// Every refused write reports the same text, whatever its width.
void Parameter::writeBit(int) {
    throw CPUException("setbit not supported");
}
void Parameter::writeByte(std::uint8_t) {
    throw CPUException("setbit not supported");
}
void Parameter::writeWord(std::uint16_t) {
    throw CPUException("setbit not supported");
}
void Parameter::writeLong(std::uint32_t) {
    throw CPUException("setbit not supported");
}

std::optional<std::uint32_t> Parameter::peek(Read what) const noexcept {
    try {
        switch (what) {
        case Read::Bit:
            return static_cast<std::uint32_t>(readBit());
        case Read::Byte:
            return readByte();
        case Read::Word:
            return readWord();
        case Read::Long:
            return readLong();
        }
    } catch (const CPUException&) {
    }
    return std::nullopt;
}

void Parameter::debugout(Writer& w) const {
    print(w);
    w.write(" [");
    const struct {
        bool has;
        Read what;
    } widths[] = {{ops.RBit != 0, Read::Bit},
                  {ops.RByte != 0, Read::Byte},
                  {ops.RWord != 0, Read::Word},
                  {ops.RLong != 0, Read::Long}};
    for (const auto& width : widths) {
        if (width.what != Read::Bit) {
            w.write(':');
        }
        if (!width.has) {
            continue;
        }
        if (const auto value = peek(width.what)) {
            w.write(*value);
        } else {
            w.write('?');
        }
    }
    w.write(']');
}

Operation::~Operation() {
    p1.reset();
    p2.reset();
}

void Operation::print(Writer& w) const {
    w.write(getName());
    if (p1) {
        p1->print(w);
    }
    if (p2) {
        p2->print(w);
    }
}

void Operation::debugout(Writer& w) const {
    w.write(getName());
    if (p1) {
        p1->debugout(w);
    }
    if (p2) {
        p2->debugout(w);
    }
    w.write('\n');
}

OpList::~OpList() {
    Op.reset();
    releaseChain(Next);
}

Network::~Network() {
    Ops.reset();
    releaseChain(Next);
}

Block::~Block() {
    Networks.reset();
    releaseChain(Next);
}

} // namespace kvx
