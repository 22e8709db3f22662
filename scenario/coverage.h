// Program coverage over test runs: how often each instruction line ran, and for each contact
// how often its result was 0 and how often 1. Written as an lcov tracefile, which genhtml,
// `lcov --summary` and editor coverage plug-ins read.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "core/observer.h"

namespace kvx {

class CPU;
struct OpList;

struct CoverageSummary {
    int linesExecuted = 0;
    int lines = 0;
    // Contacts whose result was seen both 0 and 1.
    int contactsBothWays = 0;
    int contacts = 0;
    // The instruction lines that never ran, and the contact lines not seen both ways, in order.
    std::vector<int> linesNeverRun;
    std::vector<int> contactsOneWay;
};

// The totals as `kvx test --coverage` appends them to its summary line:
// ", lines executed: N of M, contacts seen both ways: N of M".
std::string coverageTotals(const CoverageSummary& summary);

class CoverageCounter final : public ScanObserver {
public:
    // Every instruction of the installed program gets its line, counted 0 so far; call it
    // after each load (counts of the lines of the same file add up across loads).
    void addProgram(const CPU& cpu);

    void executed(const OpList& node, const CPU& cpu) override;
    void faulted(const OpList& node, const CPU& cpu) override;

    CoverageSummary summary() const;
    // One record for `sourceFile`: DA per instruction line, BRDA/BRF/BRH per contact, LF/LH.
    void writeLcov(std::ostream& out, const std::string& sourceFile) const;

private:
    struct LineCount {
        std::uint64_t runs = 0;
        bool contact = false;
        std::uint64_t zero = 0;
        std::uint64_t one = 0;
    };
    LineCount& at(const OpList& node);
    std::map<int, LineCount> lines; // by line number, in order
};

// Whether an instruction is a contact: it reads a condition and its result is a decision.
bool isContact(const char* mnemonic) noexcept;

} // namespace kvx
