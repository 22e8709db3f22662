#include "core/forcing.h"

#include <algorithm>

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
    return std::ranges::any_of(entries, [&](const Entry& e) { return e.name == name; });
}

namespace {
// Whether an operand of `area` covers bit `bit` of its byte 0.
bool coversBitOfByteZero(const Parameter& p, Parameter::ParamClass area, int bit) {
    if (p.getClass() != area) {
        return false;
    }
    if (const auto* b = dynamic_cast<const BitParameter*>(&p)) {
        return b->getAddr() == 0 && b->getBit() == bit;
    }
    // Byte 0 is the most significant byte of the word or double word at address 0.
    if (const auto* b = dynamic_cast<const ByteParameter*>(&p)) {
        return b->getAddr() == 0;
    }
    if (const auto* w = dynamic_cast<const WordParameter*>(&p)) {
        return w->getAddr() == 0;
    }
    if (const auto* l = dynamic_cast<const LongParameter*>(&p)) {
        return l->getAddr() == 0;
    }
    return false;
}
} // namespace

bool ForceTable::coversPanelBit(bool output, int bit) const noexcept {
    const Parameter::ParamClass area = output ? Parameter::AType : Parameter::EType;
    return std::ranges::any_of(
        entries, [&](const Entry& e) { return coversBitOfByteZero(*e.operand, area, bit); });
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
