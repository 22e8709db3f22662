// Loading whole programs: the tree built, every grammar message with its line, the round trip
// through the listing, and what a failed load leaves behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/common.h"
#include "core/cpu.h"
#include "loader/parser.h"
#include "loader/reader.h"
#include "loader_support.h"
#include "session/myio.h"

namespace kvx {

namespace {

const std::string lampProgram = "ORGANIZATION_BLOCK MAIN:OB1\n"
                                "TITLE=Lamp control\n"
                                "// two switches drive two lamps\n"
                                "BEGIN\n"
                                "NETWORK 1 // lamp 1\n"
                                "// lamp 1 burns while switches 0 and 1 are both on\n"
                                "LD E0.0\n"
                                "U E0.1\n"
                                "= A0.0\n"
                                "NETWORK 2\n"
                                "LDN E0.2\n"
                                "= A0.1\n"
                                "END_ORGANIZATION_BLOCK\n"
                                "SUBROUTINE_BLOCK SBR_0:SBR0\n"
                                "BEGIN\n"
                                "NETWORK 1\n"
                                "LD M0.0\n"
                                "= A0.7\n"
                                "END_SUBROUTINE_BLOCK\n";

// The smallest block around some networks.
std::string organizationBlock(const std::string& networks) {
    return "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\n" + networks + "END_ORGANIZATION_BLOCK\n";
}

class Load : public ::testing::Test {
protected:
    void load(const std::string& text) {
        StringRead reader(text);
        Parser().LoadInCPU(cpu, reader);
    }
    std::string loadError(const std::string& text) {
        return errorOf([&] { load(text); });
    }
    std::string listing() const {
        StringWriter w;
        cpu.print(w);
        return w.str();
    }
    int instructionCount(const Network& net) const {
        int n = 0;
        for (const OpList* node = net.Ops.get(); node != nullptr; node = node->Next.get()) {
            ++n;
        }
        return n;
    }

    SimClock clock;
    CPU cpu{clock};
};

TEST_F(Load, LampProgramBuildsTheTree) {
    load(lampProgram);
    const Block* main = cpu.getProgram();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->Type, Block::Organization);
    EXPECT_EQ(main->Name, "MAIN");
    EXPECT_EQ(main->AddInfo, "OB1");
    EXPECT_EQ(main->Title, "Lamp control");
    EXPECT_EQ(main->Kommentar, " two switches drive two lamps");
    const Network* first = main->Networks.get();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->ID, 1);
    EXPECT_EQ(first->Title, " lamp 1");
    EXPECT_EQ(first->Kommentar, " lamp 1 burns while switches 0 and 1 are both on");
    EXPECT_EQ(instructionCount(*first), 3);
    EXPECT_STREQ(first->Ops->Op->getName(), "LD");
    const Network* second = first->Next.get();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->ID, 2);
    EXPECT_EQ(second->Title, std::nullopt);
    EXPECT_EQ(second->Kommentar, std::nullopt);
    EXPECT_EQ(instructionCount(*second), 2);
    EXPECT_EQ(second->Next, nullptr);

    const Block* sub = main->Next.get();
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->Type, Block::Subroutine);
    EXPECT_EQ(sub->Name, "SBR_0");
    EXPECT_EQ(sub->AddInfo, "SBR0");
    EXPECT_EQ(sub->Title, std::nullopt);
    EXPECT_EQ(sub->Kommentar, std::nullopt);
    EXPECT_EQ(instructionCount(*sub->Networks), 2);
    EXPECT_EQ(sub->Next, nullptr);
}

TEST_F(Load, LampProgramRuns) {
    MyIO panel;
    cpu.setIO(&panel);
    load(lampProgram);
    cpu.reset();
    panel.ChangeInput(0);
    panel.ChangeInput(1);
    cpu.runStep();
    EXPECT_EQ(panel.OutState[0], 1);
    EXPECT_EQ(panel.OutState[1], 1);
    EXPECT_EQ(panel.OutState[7], 0) << "subroutine blocks never run";
}

TEST_F(Load, CommentLinesJoinWithLineFeeds) {
    load("ORGANIZATION_BLOCK M:O\n// a\n//b\n\n// c\nBEGIN\n"
         "NETWORK 1\n//\n//x\nEND_ORGANIZATION_BLOCK\n");
    EXPECT_EQ(cpu.getProgram()->Kommentar, " a\nb\n c");
    EXPECT_EQ(cpu.getProgram()->Networks->Kommentar, "\nx");
}

TEST_F(Load, GrammarMessagesNameTheLineOfTheOffendingToken) {
    struct Case {
        std::string text;
        std::string message;
    };
    const std::string header = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\n"; // lines 1-2
    const std::string end = "END_ORGANIZATION_BLOCK\n";
    const std::vector<Case> cases = {
        {"", "Parse-error(1):ORGANIZATION_BLOCK expected"},
        {"\n\n\n", "Parse-error(1):ORGANIZATION_BLOCK expected"},
        {"\n\nBEGIN\n", "Parse-error(1):ORGANIZATION_BLOCK expected"},
        {"NETWORK 1\n", "Parse-error(1):ORGANIZATION_BLOCK expected"},
        {"END_ORGANIZATION_BLOCK\n", "Parse-error(1):ORGANIZATION_BLOCK expected"},
        {"ORGANIZATION_BLOCK\n", "Parse-error(1):Blockname expected"},
        {"ORGANIZATION_BLOCK :OB1\n", "Parse-error(1):Blockname expected"},
        {"ORGANIZATION_BLOCK MAIN\n", "Parse-error(1):: expected"},
        {"ORGANIZATION_BLOCK MAIN OB1\n", "Parse-error(1):: expected"},
        {"ORGANIZATION_BLOCK MAIN:\n", "Parse-error(1):Name after : expected"},
        {"ORGANIZATION_BLOCK MAIN::OB1\n", "Parse-error(1):Name after : expected"},
        {"ORGANIZATION_BLOCK MAIN:OB1 X\n", "Parse-error(1):Newline expected"},
        {"ORGANIZATION_BLOCK MAIN:OB1 // c\nBEGIN\n", "Parse-error(1):Newline expected"},
        {"ORGANIZATION_BLOCK MAIN:OB1", "Parse-error(1):Newline expected"},
        {"ORGANIZATION_BLOCK M:O\nTITLE=t", "Parse-error(2):Newline expected"},
        {"ORGANIZATION_BLOCK M:O\n\n// c", "Parse-error(3):Newline expected"},
        {"ORGANIZATION_BLOCK M:O\nNETWORK 1\n", "Parse-error(2):BEGIN expected"},
        {"ORGANIZATION_BLOCK M:O\nTITLE=a\nTITLE=b\nBEGIN\n", "Parse-error(3):BEGIN expected"},
        {"ORGANIZATION_BLOCK M:O\nBEGIN // c\n", "Parse-error(2):Newline expected"},
        {"ORGANIZATION_BLOCK M:O\nTITLE=t\n// c\n\nNETWORK\n", "Parse-error(5):BEGIN expected"},
        {"ORGANIZATION_BLOCK M:O\nTITLE=t\n// c\nBEGIN\nNETWORK\n",
         "Parse-error(5):Network-ID expected"},
        {header + "NETWORK // c\n", "Parse-error(3):Network-ID expected"},
        {header + "NETWORK 1a\n", "Parse-error(3):Network-ID is no number"},
        {header + "NETWORK +1\n", "Parse-error(3):Network-ID is no number"},
        {header + "NETWORK -1\n", "Parse-error(3):Network-ID is no number"},
        {header + "NETWORK 16#1\n", "Parse-error(3):Network-ID is no number"},
        {header + "NETWORK 1 2\n", "Parse-error(3):Newline expected"},
        {header + "NETWORK 1 // t // u\nLD E0.0 M0.1\n", "Parse-error(4):no Operand expected"},
        {header + "NETWORK 1\nLD E0.0\n// c\nU E0.1\n" + end, "Parse-error(5):End-Block expected"},
        {header + "NETWORK 1\nLD E0.0 // c\n" + end, "Parse-error(4):Newline expected"},
        {header + "NETWORK 1\nLD E0.0\n\n \n" + end, "Parse-error(6):End-Block expected"},
        {header + "NETWORK 1\nLD E0.0\nEND_SUBROUTINE_BLOCK\n",
         "Parse-error(5):End-Block expected"},
        {header + "NETWORK 1\nLD E0.0\n", "Parse-error(4):End-Block expected"},
        {header + "NETWORK 1\nLD E0.0\n\n\n", "Parse-error(6):End-Block expected"},
        {header + "NETWORK 1\nLD E0.0", "Parse-error(4):Newline expected"},
        {header + "END_ORGANIZATION_BLOCK X\n", "Parse-error(3):Newline expected"},
        {header + end + "// c\n", "Parse-error(4):ORGANIZATION_BLOCK expected"},
        {header + end + " \n" + header + end, "Parse-error(4):ORGANIZATION_BLOCK expected"},
        {header + end + "X\n", "Parse-error(4):ORGANIZATION_BLOCK expected"},
        {"INTERRUPT_BLOCK I:INT0\nBEGIN\nEND_ORGANIZATION_BLOCK\n",
         "Parse-error(3):End-Block expected"},
        {"SUBROUTINE_BLOCK S:SBR0\nBEGIN\nEND_INTERRUPT_BLOCK\n",
         "Parse-error(3):End-Block expected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("program:\n" + c.text);
        EXPECT_EQ(loadError(c.text), c.message);
    }
}

TEST_F(Load, InstructionErrorsNameTheInstructionLine) {
    struct Case {
        std::string lines; // starting on line 4
        std::string message;
    };
    const std::vector<Case> cases = {
        {"LD E0.0\nU E0.1\nXX E0.0\n\n\n", "Parse-error(6):Unknown Operation"},
        {"ld E0.0\n", "Parse-error(4):Unknown Operation"},
        {"XX E0.8\n", "Parse-error(4):Bitnumber out of range"},
        {"LD\n", "Parse-error(4):Operand expected"},
        {"NOT M0.0\n", "Parse-error(4):no Operand expected"},
        {"ZVR Z1\n", "Parse-error(4):2nd Operand expected"},
        {"TON T5 100\n", "Parse-error(4):Timer only supports TONR"},
        // The instruction with two operands is made and checked before a third is rejected.
        {"LD E0.0 E0.1 E0.2\n", "Parse-error(4):no Operand expected"},
        {"MOVB 5 VB0 VB1\n", "Parse-error(4):Newline expected"},
        {"MOVB 5 VB0 VB1 VB2\n", "Parse-error(4):Newline expected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("instructions:\n" + c.lines);
        EXPECT_EQ(loadError("ORGANIZATION_BLOCK M:O\nBEGIN\nNETWORK 1\n" + c.lines +
                            "END_ORGANIZATION_BLOCK\n"),
                  c.message);
    }
}

// The token is data beside the unchanged message, so a front end can quote it exactly.
TEST_F(Load, ErrorsCarryTheOffendingToken) {
    struct Case {
        std::string text;
        std::string message;
        std::optional<std::string> token;
    };
    const std::string network = "ORGANIZATION_BLOCK M:O\nBEGIN\nNETWORK 1\n"; // lines 1-3
    const std::string end = "END_ORGANIZATION_BLOCK\n";
    const std::vector<Case> cases = {
        {network + "LDX E0.0\n" + end, "Parse-error(4):Unknown Operation", "LDX"},
        {network + "LD E0.9\n" + end, "Parse-error(4):Bitnumber out of range", "E0.9"},
        {network + "MOVB VB0 QB1\n" + end, "Parse-error(4):Unknown Parameter Type", "QB1"},
        {network + "TON T5 100\n" + end, "Parse-error(4):Timer only supports TONR", "TON"},
        {network + "LD\n" + end, "Parse-error(4):Operand expected", "LD"},
        {network + "MOVB 5 VB0 VB1\n" + end, "Parse-error(4):Newline expected", "VB1"},
        {network + "LD E0.0 // c\n" + end, "Parse-error(4):Newline expected", "// c"},
        {"ORGANIZATION_BLOCK :OB1\n", "Parse-error(1):Blockname expected", ":"},
        {"ORGANIZATION_BLOCK MAIN:OB1\n\nNETWORK 1\n", "Parse-error(3):BEGIN expected", "NETWORK"},
        {network + "LD E0.0\n\n\n", "Parse-error(6):End-Block expected", ""},
        {"ORGANIZATION_BLOCK MAIN\r\n", "Parse-error(1):: expected", "\n"},
        {"ORGANIZATION_BLOCK M:O\nBEGIN\nNETWORK 1a\n", "Parse-error(3):Network-ID is no number",
         "1a"},
        {network + "LD E0.0,\n", "Unexpected text(4):,", ","},
        {network + std::string("LD \0", 4), "Unexpected text(4):", std::string(1, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("program:\n" + c.text);
        try {
            load(c.text);
            ADD_FAILURE() << "loaded";
        } catch (const CPUException& e) {
            EXPECT_EQ(e.getText(), c.message);
            EXPECT_EQ(e.getToken(), c.token);
        }
    }
    // Errors of the file itself belong to no token.
    try {
        FRead missing((std::filesystem::temp_directory_path() / "kvx-no-such.awl").string());
        ADD_FAILURE() << "opened";
    } catch (const CPUException& e) {
        EXPECT_EQ(e.getToken(), std::nullopt);
    }
}

TEST_F(Load, ScannerErrorsPassUnwrapped) {
    EXPECT_EQ(loadError(organizationBlock("NETWORK 1\nLD E0.0, E0.1\n")), "Unexpected text(4):,");
}

TEST_F(Load, AcceptedVariants) {
    struct Case {
        std::string text;
        std::string listing;
    };
    const std::string bare = "ORGANIZATION_BLOCK M:O\nTITLE=\n\nBEGIN\nEND_ORGANIZATION_BLOCK\n\n";
    const std::vector<Case> cases = {
        // The last end keyword may end the file without a line break.
        {"ORGANIZATION_BLOCK M:O\nBEGIN\nEND_ORGANIZATION_BLOCK", bare},
        {"ORGANIZATION_BLOCK M:O\nBEGIN\nEND_ORGANIZATION_BLOCK\n\n\n", bare},
        {"\tORGANIZATION_BLOCK  M : O \t\nBEGIN\nEND_ORGANIZATION_BLOCK", bare},
        // Windows line ends.
        {"ORGANIZATION_BLOCK M:O\r\nBEGIN\r\nEND_ORGANIZATION_BLOCK\r\n", bare},
        // Empty lines between blocks belong to the line break after the end keyword.
        {"INTERRUPT_BLOCK I:INT0\nBEGIN\nEND_INTERRUPT_BLOCK\n\n\n"
         "ORGANIZATION_BLOCK M:O\nBEGIN\nEND_ORGANIZATION_BLOCK\n",
         "INTERRUPT_BLOCK I:INT0\nTITLE=\n\nBEGIN\nEND_INTERRUPT_BLOCK\n\n" + bare},
        // Network numbers: leading zeros, repeats, any order; a network may be empty.
        {organizationBlock("NETWORK 007\nNETWORK 3\nLD E0.0\nNETWORK 3\n"),
         "ORGANIZATION_BLOCK MAIN:OB1\nTITLE=\n\nBEGIN\nNETWORK 7\n\nNETWORK 3\nLD E0.0\n\n"
         "NETWORK 3\n\nEND_ORGANIZATION_BLOCK\n\n"},
        // A title takes the rest of its line, "//" included.
        {"ORGANIZATION_BLOCK M:O\nTITLE= a // b\nBEGIN\nEND_ORGANIZATION_BLOCK\n",
         "ORGANIZATION_BLOCK M:O\nTITLE= a // b\n\nBEGIN\nEND_ORGANIZATION_BLOCK\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("program:\n" + c.text);
        EXPECT_EQ(loadError(c.text), "(no error)");
        EXPECT_EQ(listing(), c.listing);
    }
}

TEST_F(Load, BlockWithoutTitleCommentOrNetworksHoldsNulls) {
    load("SUBROUTINE_BLOCK S:SBR0\nBEGIN\nEND_SUBROUTINE_BLOCK\n");
    const Block* b = cpu.getProgram();
    EXPECT_EQ(b->Type, Block::Subroutine);
    EXPECT_EQ(b->Title, std::nullopt);
    EXPECT_EQ(b->Kommentar, std::nullopt);
    EXPECT_EQ(b->Networks, nullptr);
    load("ORGANIZATION_BLOCK M:O\nTITLE=\nBEGIN\nNETWORK 1\nEND_ORGANIZATION_BLOCK\n");
    EXPECT_EQ(cpu.getProgram()->Title, "") << "an empty title differs from none";
    EXPECT_EQ(cpu.getProgram()->Networks->Ops, nullptr);
}

TEST_F(Load, BlocksStayInFileOrder) {
    load(organizationBlock("") + "INTERRUPT_BLOCK A:B\nBEGIN\nEND_INTERRUPT_BLOCK\n" +
         "ORGANIZATION_BLOCK SECOND:OB2\nBEGIN\nEND_ORGANIZATION_BLOCK\n");
    std::vector<std::pair<std::int32_t, std::string>> blocks;
    for (const Block* b = cpu.getProgram(); b != nullptr; b = b->Next.get()) {
        blocks.emplace_back(b->Type, *b->Name);
    }
    EXPECT_EQ(blocks,
              (std::vector<std::pair<std::int32_t, std::string>>{{Block::Organization, "MAIN"},
                                                                 {Block::Interrupt, "A"},
                                                                 {Block::Organization, "SECOND"}}));
}

TEST_F(Load, NetworkNumbersBeyond32BitsWrapAndListAsLoaded) {
    struct Case {
        std::string digits;
        std::int32_t id;
        std::string listed;
    };
    const std::vector<Case> cases = {
        {"2147483647", INT32_MAX, "2147483647"},
        {"2147483648", INT32_MIN, "2147483648"},
        {"4294967295", -1, "4294967295"},
        {"4294967296", 0, "0"},
        {"4294967297", 1, "1"},
        {"99999999999999999999999999", -469762049, "3825205247"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("NETWORK " + c.digits);
        load(organizationBlock("NETWORK " + c.digits + "\n"));
        EXPECT_EQ(cpu.getProgram()->Networks->ID, c.id);
        const std::string first = listing();
        EXPECT_NE(first.find("NETWORK " + c.listed + "\n"), std::string::npos) << first;
        load(first);
        EXPECT_EQ(cpu.getProgram()->Networks->ID, c.id);
        EXPECT_EQ(listing(), first);
    }
}

TEST_F(Load, ListingOfEveryExampleLoadsAgainAndListsIdentically) {
    std::vector<std::filesystem::path> examples;
    for (const auto& entry : std::filesystem::directory_iterator(KVX_EXAMPLES_DIR)) {
        if (entry.path().extension() == ".awl") {
            examples.push_back(entry.path());
        }
    }
    std::sort(examples.begin(), examples.end());
    ASSERT_GE(examples.size(), 5U);
    for (const auto& path : examples) {
        SCOPED_TRACE(path.string());
        FRead file(path.string());
        ASSERT_NO_THROW(Parser().LoadInCPU(cpu, file));
        const std::string first = listing();
        ASSERT_NO_THROW(load(first)) << first;
        EXPECT_EQ(listing(), first);
    }
}

TEST_F(Load, EveryOperandFormListsAsItLoadsAgain) {
    const std::vector<std::string> lines = {
        "MOVB -5 VB0",          "MOVB +7 VB0",         "MOVW 16#ffff VW0", "MOVB 2#1010 VB0",
        "MOVB 35#Y VB0",        "LDW= VW0 -1",         "MOVW 16# VW0",     "MOVW + VW0",
        "MOVW -2147483648 VW0", "MOVW 4294967295 VW0", "LD E.3",           "LD T0",
        "ZVR Z255 MW2",         "MOVB VB0 SMB4",       "S A0.6 4",         "TON T96 VW0",
    };
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        ASSERT_EQ(loadError(organizationBlock("NETWORK 1\n" + line + "\n")), "(no error)");
        const std::string first = listing();
        load(first);
        EXPECT_EQ(listing(), first);
    }
}

TEST_F(Load, FailedLoadKeepsThePreviousProgramRunning) {
    MyIO panel;
    cpu.setIO(&panel);
    load(lampProgram);
    cpu.reset();
    const Block* installed = cpu.getProgram();
    const std::string before = listing();
    const std::vector<std::string> broken = {
        lampProgram + "X\n",
        organizationBlock("NETWORK 1\nLD E0.0\n= A0.5\nXX E0.0\n"),
        organizationBlock("NETWORK 1\nLD E0.0;\n"),
        "",
    };
    for (const std::string& text : broken) {
        SCOPED_TRACE("program:\n" + text);
        EXPECT_NE(loadError(text), "(no error)");
        EXPECT_EQ(cpu.getProgram(), installed);
        EXPECT_EQ(listing(), before);
    }
    panel.ChangeInput(0);
    panel.ChangeInput(1);
    panel.ChangeInput(2);
    cpu.runStep();
    EXPECT_EQ(panel.OutState, (std::array<int, MyIO::Size>{1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Load, ReaderFailureMidFileFailsTheLoad) {
    // Fails like a file whose disk goes away after some bytes.
    class FailingRead final : public Reader {
    public:
        explicit FailingRead(std::string text) : inner(std::move(text)) {}
        int read() override {
            if (left-- == 0) {
                throw CPUException("File x could not be read");
            }
            return inner.read();
        }

    private:
        StringRead inner;
        int left = 300;
    };
    load(lampProgram);
    const Block* installed = cpu.getProgram();
    FailingRead reader(lampProgram + lampProgram);
    EXPECT_EQ(errorOf([&] { Parser().LoadInCPU(cpu, reader); }), "File x could not be read");
    EXPECT_EQ(cpu.getProgram(), installed);
}

} // namespace

} // namespace kvx
