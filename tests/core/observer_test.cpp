// Looking into a scan: where a fault arose, what each instruction left, forced operands, and
// the listing rows a status view shows.
#include <gtest/gtest.h>

#include <string>

#include "core/common.h"
#include "core/forcing.h"
#include "core/status.h"
#include "session/session.h"

namespace kvx {
namespace {

// Line numbers matter here: the instructions stand on lines 4 to 14.
const std::string Program = "ORGANIZATION_BLOCK MAIN:OB1\n" // 1
                            "BEGIN\n"                       // 2
                            "NETWORK 1\n"                   // 3
                            "LD E0.0\n"                     // 4
                            "UN E0.1\n"                     // 5
                            "= A0.0\n"                      // 6
                            "MOVB 7 MB3\n"                  // 7
                            "NETWORK 2\n"                   // 8
                            "LSCR S0.0\n"                   // 9
                            "LD SM0.0\n"                    // 10
                            "= A0.7\n"                      // 11
                            "SCRE\n"                        // 12
                            "NETWORK 3\n"                   // 13
                            "LD E0.2\n"                     // 14
                            "S V99.0 9\n"                   // 15
                            "END_ORGANIZATION_BLOCK\n";

const OpList* nodeOnLine(const Session& s, int line) {
    for (const ListingRow& row : listingRows(s.cpu())) {
        if (row.node != nullptr && row.node->Line == line) {
            return row.node;
        }
    }
    return nullptr;
}

TEST(Observation, FaultIsLocatedAtItsInstructionWithTheTextUnchanged) {
    Session s;
    ASSERT_EQ(s.loadText(Program), std::nullopt);
    s.panel().ChangeInput(2);
    const auto fault = s.scan();
    ASSERT_TRUE(fault.has_value());
    EXPECT_STREQ(fault->getText(), "Out of field read");
    EXPECT_EQ(fault->getLine(), 15);
    EXPECT_EQ(fault->getInstruction(), "S");
    EXPECT_EQ(fault->describe(), "Out of field read (line 15: S)");
    // Load errors and faults of programs made in code carry no instruction.
    EXPECT_EQ(CPUException("StackOverflow").describe(), "StackOverflow");
    EXPECT_EQ(CPUException("x", 3).locatedAt(0, "LPS").describe(), "x (LPS)");
}

TEST(Observation, StatusOfEachInstruction) {
    Session s;
    ASSERT_EQ(s.loadText(Program), std::nullopt);
    s.panel().ChangeInput(0);
    StatusCapture status;
    ASSERT_EQ(s.scan(&status), std::nullopt);

    const struct {
        int line;
        StepState state;
        int top;
        std::optional<int> bit;
        std::optional<std::uint32_t> value;
    } rows[] = {
        {4, StepState::Executed, 1, 1, std::nullopt}, // LD E0.0: the switch is on
        {5, StepState::Executed, 1, 0, std::nullopt}, // UN E0.1
        {6, StepState::Executed, 1, 1, std::nullopt}, // = A0.0 after writing it
        {7, StepState::Executed, 1, std::nullopt, 7}, // MOVB 7 MB3: the constant
        {9, StepState::Executed, 0, 0, std::nullopt}, // LSCR S0.0 opens an inactive segment
        {10, StepState::Skipped, 0, std::nullopt, std::nullopt},
        {11, StepState::Skipped, 0, std::nullopt, std::nullopt},
        {12, StepState::Executed, 0, std::nullopt, std::nullopt}, // SCRE runs anyway
        {14, StepState::Executed, 0, 0, std::nullopt},
        {15, StepState::Executed, 0, 0, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("line " + std::to_string(row.line));
        const OpList* node = nodeOnLine(s, row.line);
        ASSERT_NE(node, nullptr);
        const StepStatus step = status.of(*node);
        EXPECT_EQ(step.state, row.state);
        if (row.state != StepState::Executed) {
            continue;
        }
        EXPECT_EQ(step.top, row.top);
        EXPECT_EQ(step.operands[0].bit, row.bit);
        EXPECT_EQ(step.operands[0].value, row.value);
    }
    const StepStatus move = status.of(*nodeOnLine(s, 7));
    EXPECT_EQ(move.operands[1].value, 7u) << "MB3 after the move";

    // A faulting scan marks the instruction that raised and leaves the rest not run.
    s.panel().ChangeInput(2);
    status.clear();
    EXPECT_TRUE(s.scan(&status).has_value());
    EXPECT_EQ(status.of(*nodeOnLine(s, 15)).state, StepState::Faulted);
    EXPECT_EQ(status.of(*nodeOnLine(s, 14)).state, StepState::Executed);
}

TEST(Observation, TimersAndCountersShowValueAndPreset) {
    Session s;
    ASSERT_EQ(s.loadText("ORGANIZATION_BLOCK M:O\nBEGIN\nNETWORK 1\nLD E0.0\nTON T37 3\n"
                         "LD T37\n= A0.0\nEND_ORGANIZATION_BLOCK\n"),
              std::nullopt);
    s.panel().ChangeInput(0);
    s.setStep(100);
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(s.scan(), std::nullopt);
    }
    StatusCapture status;
    ASSERT_EQ(s.scan(&status), std::nullopt);
    const OperandStatus timer = status.of(*nodeOnLine(s, 5)).operands[0];
    EXPECT_EQ(timer.bit, 1);
    EXPECT_GE(timer.value.value_or(0), 3u);
    EXPECT_EQ(status.of(*nodeOnLine(s, 5)).operands[1].value, 3u) << "the preset constant";
}

TEST(Observation, ListingRowsAreTheListing) {
    Session s;
    ASSERT_EQ(s.loadText(Program), std::nullopt);
    StringWriter listing;
    s.cpu().print(listing);
    std::string joined;
    int instructions = 0;
    for (const ListingRow& row : listingRows(s.cpu())) {
        joined += row.text + "\n";
        if (row.node != nullptr) {
            ++instructions;
            StringWriter text;
            row.node->Op->print(text);
            EXPECT_EQ(row.text, text.str());
        }
    }
    EXPECT_EQ(joined, listing.str());
    EXPECT_EQ(instructions, 10);
}

TEST(Forcing, ForcedInputBeatsTheSwitchAndForcedOutputBeatsTheProgram) {
    Session s;
    ASSERT_EQ(s.loadText(Program), std::nullopt);
    ForceTable forces;
    s.cpu().setForceHook(&forces);
    forces.force("E0.1", s.cpu().parserParameter("E0.1"), 1);
    s.panel().ChangeInput(0);
    ASSERT_EQ(s.scan(), std::nullopt);
    EXPECT_EQ(s.panel().OutState[0], 0) << "forced E0.1 breaks the rung";

    forces.force("A0.6", s.cpu().parserParameter("A0.6"), 1);
    forces.force("AB0", s.cpu().parserParameter("AB0"), 0x80);
    ASSERT_EQ(s.scan(), std::nullopt);
    EXPECT_EQ(s.panel().OutState[7], 1);
    EXPECT_EQ(s.panel().OutState[6], 0) << "the later force of AB0 wins";
    EXPECT_TRUE(forces.coversPanelBit(true, 3));
    EXPECT_TRUE(forces.coversPanelBit(false, 1));
    EXPECT_FALSE(forces.coversPanelBit(false, 0));

    forces.release("E0.1");
    forces.force("MB3", s.cpu().parserParameter("MB3"), 99);
    ASSERT_EQ(s.scan(), std::nullopt);
    EXPECT_EQ(s.cpu().area(Parameter::MType).readByte(3), 7) << "the program writes after";

    forces.releaseAll();
    EXPECT_TRUE(forces.empty());
    ASSERT_EQ(s.scan(), std::nullopt);
    EXPECT_EQ(s.panel().OutState[0], 1);
    EXPECT_EQ(s.panel().OutState[7], 1) << "nothing active writes A0.7: it keeps the forced 1";
}

TEST(Forcing, ReleaseOneAndReplaceByName) {
    Session s;
    ASSERT_EQ(s.loadText(Program), std::nullopt);
    ForceTable forces;
    s.cpu().setForceHook(&forces);
    forces.force("A0.1", s.cpu().parserParameter("A0.1"), 1);
    forces.force("A0.1", s.cpu().parserParameter("A0.1"), 0);
    forces.force("A0.2", s.cpu().parserParameter("A0.2"), 1);
    ASSERT_EQ(s.scan(), std::nullopt);
    EXPECT_EQ(s.leds(), "A0.7..A0.0 00000100");
    forces.release("A0.2");
    EXPECT_FALSE(forces.isForced("A0.2"));
    EXPECT_TRUE(forces.isForced("A0.1"));
    ASSERT_EQ(s.scan(), std::nullopt);
    EXPECT_EQ(s.leds(), "A0.7..A0.0 00000100") << "a released output keeps its last value";
}

} // namespace
} // namespace kvx
