#include "core/forcing.h"

#include <algorithm>
#include <optional>

#include "core/common.h"
#include "core/program.h"
#include "operands/parameter.h"

namespace kvx {

struct ForceTable::Entry {
    std::string name;
    std::unique_ptr<Parameter> operand;
    std::uint32_t value = 0;
};

ForceTable::ForceTable() = default;
ForceTable::~ForceTable() = default;

void ForceTable::force(const std::string& name, std::unique_ptr<Parameter> operand,
                       std::uint32_t value) {
    release(name);
    entries.push_back({name, std::move(operand), value});
}

void ForceTable::release(const std::string& name) {
    std::erase_if(entries, [&](const Entry& e) { return e.name == name; });
}

void ForceTable::releaseAll() noexcept {
    entries.clear();
}

std::vector<std::pair<std::string, std::uint32_t>> ForceTable::list() const {
    std::vector<std::pair<std::string, std::uint32_t>> forces;
    for (const Entry& entry : entries) {
        forces.emplace_back(entry.name, entry.value);
    }
    return forces;
}

bool ForceTable::isForced(const std::string& name) const noexcept {
    return std::any_of(entries.begin(), entries.end(),
                       [&](const Entry& e) { return e.name == name; });
}

namespace {
// What an operand reads, in bits counted from bit 0 of byte 0 of its area (for a timer or a
// counter, its number), inclusive; nothing for a constant.
struct Footprint {
    Parameter::ParamClass area;
    long first;
    long last;

    bool overlaps(const Footprint& other) const noexcept {
        return area == other.area && first <= other.last && other.first <= last;
    }
};

std::optional<Footprint> footprintOf(const Parameter& p) noexcept {
    const auto bytes = [&](int addr, long width) {
        return Footprint{p.getClass(), addr * 8L, addr * 8L + width * 8 - 1};
    };
    if (const auto* b = dynamic_cast<const BitParameter*>(&p)) {
        const long bit = b->getAddr() * 8L + b->getBit();
        return Footprint{p.getClass(), bit, bit};
    }
    if (const auto* b = dynamic_cast<const ByteParameter*>(&p)) {
        return bytes(b->getAddr(), 1);
    }
    if (const auto* w = dynamic_cast<const WordParameter*>(&p)) {
        return bytes(w->getAddr(), 2);
    }
    if (const auto* l = dynamic_cast<const LongParameter*>(&p)) {
        return bytes(l->getAddr(), 4);
    }
    if (const auto* t = dynamic_cast<const TimerParameter*>(&p)) {
        return Footprint{p.getClass(), t->getNo(), t->getNo()};
    }
    if (const auto* z = dynamic_cast<const CounterParameter*>(&p)) {
        return Footprint{p.getClass(), z->getNo(), z->getNo()};
    }
    return std::nullopt;
}
} // namespace

bool ForceTable::coversPanelBit(bool output, int bit) const noexcept {
    const Footprint panelBit{output ? Parameter::AType : Parameter::EType, bit, bit};
    return std::any_of(entries.begin(), entries.end(), [&](const Entry& e) {
        const auto forced = footprintOf(*e.operand);
        return forced && forced->overlaps(panelBit);
    });
}

bool ForceTable::touches(const Parameter& operand) const noexcept {
    const auto read = footprintOf(operand);
    return read && std::any_of(entries.begin(), entries.end(), [&](const Entry& e) {
               const auto forced = footprintOf(*e.operand);
               return forced && forced->overlaps(*read);
           });
}

void ForceTable::write(const Entry& e) const noexcept {
    Parameter& p = *e.operand;
    const Parameter::SupOps ops = p.getOperations();
    // A forced operand that the area refuses (it cannot happen for operands the caller
    // checked) must not fail the scan it is forced into.
    try {
        if (p.getClass() == Parameter::TType) {
            p.writeBit(0);
        } else if (p.getClass() == Parameter::ZType) {
            p.writeWord(static_cast<std::uint16_t>(e.value));
        } else if (ops.WBit != 0) {
            p.writeBit(e.value != 0 ? 1 : 0);
        } else if (ops.WByte != 0) {
            p.writeByte(static_cast<std::uint8_t>(e.value));
        } else if (ops.WWord != 0) {
            p.writeWord(static_cast<std::uint16_t>(e.value));
        } else if (ops.WLong != 0) {
            p.writeLong(e.value);
        }
    } catch (const CPUException&) {
    }
}

void ForceTable::afterInputs(CPU&) {
    for (const Entry& e : entries) {
        write(e);
    }
}

void ForceTable::beforeOutputs(CPU&) {
    for (const Entry& e : entries) {
        if (e.operand->getClass() == Parameter::AType) {
            write(e);
        }
    }
}

} // namespace kvx
