// Forced operands: values that the scan writes over whatever the panel or the program put
// there, every scan, until they are released. Inputs and memory are written once after the
// inputs were copied; outputs once more before they reach the LEDs, so a forced output beats
// the program.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/observer.h"

namespace kvx {

class Parameter;

class ForceTable final : public ForceHook {
public:
    ForceTable();
    ~ForceTable() override;
    ForceTable(const ForceTable&) = delete;
    ForceTable& operator=(const ForceTable&) = delete;

    // Forces the operand named `name` to `value`, written in the operand's own width (a
    // timer takes only 0, which holds it reset). A second force of the same name replaces
    // the first. The operand must be readable and writable; the caller checks the value fits.
    void force(const std::string& name, std::unique_ptr<Parameter> operand, std::uint32_t value);
    void release(const std::string& name);
    void releaseAll() noexcept;

    bool empty() const noexcept { return entries.empty(); }
    // Each force as it was made, in that order: the name and the value.
    std::vector<std::pair<std::string, std::uint32_t>> list() const;
    bool isForced(const std::string& name) const noexcept;
    // Whether bit `bit` of input byte 0 (E0.bit) or output byte 0 (A0.bit) is forced as a bit
    // or through a byte, word or double word that covers it.
    bool coversPanelBit(bool output, int bit) const noexcept;
    // Whether a force writes any of what `operand` reads: the same bit, a byte, word or double
    // word that overlaps it, the same timer or counter.
    bool touches(const Parameter& operand) const noexcept;

    void afterInputs(CPU& cpu) override;
    void beforeOutputs(CPU& cpu) override;

private:
    struct Entry;
    void write(const Entry& entry) const noexcept;
    std::vector<Entry> entries;
};

} // namespace kvx
