#include "scenario/coverage.h"

#include "core/cpu.h"
#include "core/program.h"
#include "core/status.h"
#include "instructions/instruction_table.h"

namespace kvx {

bool isContact(const char* mnemonic) noexcept {
    const InstructionRow* row = instructionRow(mnemonic);
    return row != nullptr && row->contact;
}

CoverageCounter::LineCount& CoverageCounter::at(const OpList& node) {
    LineCount& count = lines[node.Line];
    count.contact = count.contact || isContact(node.Op->getName());
    return count;
}

void CoverageCounter::addProgram(const CPU& cpu) {
    for (const ListingRow& row : listingRows(cpu)) {
        if (row.node != nullptr && row.node->Op && row.node->Line > 0) {
            (void)at(*row.node);
        }
    }
}

void CoverageCounter::executed(const OpList& node, const CPU& cpu) {
    if (node.Line <= 0) {
        return;
    }
    LineCount& count = at(node);
    ++count.runs;
    if (count.contact) {
        ++(cpu.CurrentStack() != 0 ? count.one : count.zero);
    }
}

// An instruction that raised did run, but decided nothing.
void CoverageCounter::faulted(const OpList& node, const CPU&) {
    if (node.Line > 0) {
        ++at(node).runs;
    }
}

CoverageSummary CoverageCounter::summary() const {
    CoverageSummary s;
    for (const auto& [line, count] : lines) {
        ++s.lines;
        if (count.runs > 0) {
            ++s.linesExecuted;
        } else {
            s.linesNeverRun.push_back(line);
        }
        if (count.contact) {
            ++s.contacts;
            if (count.zero > 0 && count.one > 0) {
                ++s.contactsBothWays;
            } else {
                s.contactsOneWay.push_back(line);
            }
        }
    }
    return s;
}

std::string coverageTotals(const CoverageSummary& s) {
    return ", lines executed: " + std::to_string(s.linesExecuted) + " of " +
           std::to_string(s.lines) +
           ", contacts seen both ways: " + std::to_string(s.contactsBothWays) + " of " +
           std::to_string(s.contacts);
}

void CoverageCounter::writeLcov(std::ostream& out, const std::string& sourceFile) const {
    out << "TN:\nSF:" << sourceFile << '\n';
    int branches = 0;
    int branchesHit = 0;
    for (const auto& [line, count] : lines) {
        if (!count.contact) {
            continue;
        }
        // lcov writes "-" for a branch whose block never ran, a count otherwise.
        const bool ran = count.runs > 0;
        const auto taken = [ran](std::uint64_t n) {
            return ran ? std::to_string(n) : std::string("-");
        };
        out << "BRDA:" << line << ",0,0," << taken(count.zero) << '\n';
        out << "BRDA:" << line << ",0,1," << taken(count.one) << '\n';
        branches += 2;
        branchesHit += (count.zero > 0 ? 1 : 0) + (count.one > 0 ? 1 : 0);
    }
    out << "BRF:" << branches << "\nBRH:" << branchesHit << '\n';
    const CoverageSummary s = summary();
    for (const auto& [line, count] : lines) {
        out << "DA:" << line << ',' << count.runs << '\n';
    }
    out << "LF:" << s.lines << "\nLH:" << s.linesExecuted << "\nend_of_record\n";
}

} // namespace kvx
