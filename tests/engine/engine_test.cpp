// The plain scan against an observed one. Whatever a program does, including faults, the two
// must leave the same state after every scan; a session may also switch between them.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench/programs.h"
#include "core/clock.h"
#include "core/common.h"
#include "core/cpu.h"
#include "core/decoded.h"
#include "fuzz/differential.h"
#include "instructions/instruction_table.h"
#include "session/myio.h"
#include "session/session.h"
#include "tests/core/test_support.h"

namespace kvx {
namespace {

using differential::compareRuns;
using differential::generateProgram;

std::vector<std::filesystem::path> programsIn(const char* dir) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() == ".awl") {
            files.push_back(entry.path());
        }
    }
    return files;
}

std::string contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(DecodedScan, GeneratedProgramsAgreeScanByScan) {
    int loaded = 0;
    int faulted = 0;
    int tracedUnreadable = 0;
    std::set<std::string, std::less<>> compared;
    constexpr std::uint32_t Programs = 1500;
    for (std::uint32_t seed = 1; seed <= Programs; ++seed) {
        const std::string program = generateProgram(seed);
        const std::string difference = compareRuns(program, seed, 40);
        ASSERT_EQ(difference, "") << "seed " << seed << "\n" << program;
        Session probe;
        if (!probe.loadText(program)) {
            ++loaded;
            std::istringstream lines(program);
            for (std::string line; std::getline(lines, line);) {
                compared.insert(line.substr(0, line.find(' ')));
            }
            StringWriter trace;
            for (int scan = 0; scan < 5 && !probe.scan(&trace); ++scan) {
            }
            faulted += probe.isRunning() ? 0 : 1;
            tracedUnreadable += trace.str().find('?') != std::string::npos ? 1 : 0;
        }
    }
    // The generator must keep exercising both paths: most programs load, and a fair share of
    // those run into a fault, where the two paths must stop at the same instruction. Some
    // pass operands outside their areas that the instructions leave unread, which only the
    // trace looks at.
    EXPECT_GT(loaded, static_cast<int>(Programs) / 2);
    EXPECT_GT(faulted, loaded / 10);
    EXPECT_LT(faulted, loaded * 9 / 10);
    EXPECT_GT(tracedUnreadable, loaded / 20);
    // An instruction the generator leaves out is never compared.
    for (const InstructionRow& row : instructionRows()) {
        EXPECT_TRUE(compared.contains(row.mnemonic)) << row.mnemonic << " is never compared";
    }
}

TEST(DecodedScan, ExamplesAndTestProgramsAgree) {
    auto files = programsIn(KVX_EXAMPLES_DIR);
    const auto suite = programsIn(KVX_TEST_PROGRAMS_DIR);
    ASSERT_FALSE(files.empty());
    ASSERT_FALSE(suite.empty());
    files.insert(files.end(), suite.begin(), suite.end());
    for (const auto& file : files) {
        const std::string program = contents(file);
        for (std::uint32_t seed = 1; seed <= 20; ++seed) {
            ASSERT_EQ(compareRuns(program, seed, 300), "") << file << " seed " << seed;
        }
    }
}

// No ordinary program runs through the tree: the examples, the test suite's programs, the
// program with every instruction and the benchmarks' programs decode completely, all but the
// one operand that the panel's program reads beyond its area on purpose.
TEST(DecodedScan, RepositoryAndBenchmarkProgramsDecodeCompletely) {
    std::vector<std::pair<std::string, std::string>> programs;
    for (const char* dir : {KVX_EXAMPLES_DIR, KVX_TEST_PROGRAMS_DIR}) {
        for (const auto& file : programsIn(dir)) {
            programs.emplace_back(file.string(), contents(file));
        }
    }
    for (const char* file : {KVX_EVERY_INSTRUCTION, KVX_PARTLY}) {
        programs.emplace_back(file, contents(file));
    }
    programs.emplace_back("realistic mix", realisticMix(7400, 20261209).source());
    programs.emplace_back("mixed", mixedProgram(1000, 7).source());
    std::size_t loaded = 0;
    for (const auto& [name, text] : programs) {
        Session session;
        if (session.loadText(text)) {
            continue; // a program of the load error tests
        }
        ++loaded;
        const std::size_t faulty = name.ends_with("panel.awl") ? 1 : 0;
        EXPECT_EQ(session.cpu().decodedForm()->treeSteps(), faulty) << name;
    }
    EXPECT_GE(loaded, 10u);
}

// Trees built in code may hold what no program file gives: empty nodes (which still count for
// the 1 ms rule), instruction classes the decoder does not know, and such a class that runs in
// an inactive segment.
class TreeBuiltInCode : public ::testing::Test {
protected:
    struct Controller {
        SimClock clock;
        CPU cpu{clock};
        MyIO panel;
        Controller() { cpu.setIO(&panel); }
    };

    // The same random program for any CPU: `seed` decides everything.
    static std::unique_ptr<Block> program(CPU& cpu, std::uint32_t seed) {
        std::mt19937 rng(seed);
        const auto pick = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };
        static constexpr const char* Lines[][3] = {
            {"LD", "E0.1", nullptr},   {"U", "M0.3", nullptr},     {"O", "T32", nullptr},
            {"=", "A0.0", nullptr},    {"TON", "T32", "20"},       {"TON", "T96", "MW2"},
            {"LPS", nullptr, nullptr}, {"LPP", nullptr, nullptr},  {"EU", nullptr, nullptr},
            {"LSCR", "S0.0", nullptr}, {"SCRE", nullptr, nullptr}, {"SCRT", "S0.1", nullptr},
            {"LD", "M99.7", nullptr},  {"MOVB", "EB0", "MB1"},     {"LD", "M100.0", nullptr},
        };
        auto block = std::make_unique<Block>();
        block->Type = Block::Organization;
        std::unique_ptr<Network>* net = &block->Networks;
        for (unsigned n = 1 + pick(6); n > 0; --n) {
            *net = std::make_unique<Network>();
            std::unique_ptr<OpList>* node = &(*net)->Ops;
            int line = 1;
            for (unsigned k = pick(60); k > 0; --k) {
                *node = std::make_unique<OpList>();
                (*node)->Line = ++line;
                const unsigned what = pick(20);
                if (what < 4) {
                    // an empty node
                } else if (what == 4) {
                    (*node)->Op = std::make_unique<LambdaOp>([](CPU& c) { c.push(1); });
                } else if (what == 5) {
                    // Runs in an inactive segment too, and opens one.
                    (*node)->Op = std::make_unique<LambdaOp>([](CPU& c) { c.scrval = 0; }, 1);
                } else {
                    const auto& l = Lines[pick(std::size(Lines))];
                    auto text = [](const char* t) {
                        return t ? std::optional<std::string_view>(t) : std::nullopt;
                    };
                    (*node)->Op = cpu.parserCommand(l[0], text(l[1]), text(l[2]));
                }
                node = &(*node)->Next;
            }
            net = &(*net)->Next;
        }
        return block;
    }
};

TEST_F(TreeBuiltInCode, EmptyNodesAndUnknownClassesAgree) {
    class Walk final : public ScanObserver {
        void executed(const OpList&, const CPU&) override {}
    } walk;
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        Controller observed;
        Controller plain;
        observed.cpu.setProgram(program(observed.cpu, seed));
        plain.cpu.setProgram(program(plain.cpu, seed));
        observed.cpu.reset();
        plain.cpu.reset();
        for (int scan = 0; scan < 60; ++scan) {
            const auto input = static_cast<int>(seed + static_cast<unsigned>(scan)) % 3 == 0;
            observed.panel.InState[1] = plain.panel.InState[1] = input;
            const std::string a = errorOf([&] { observed.cpu.runStep(&walk); });
            const std::string b = errorOf([&] { plain.cpu.runStep(); });
            ASSERT_EQ(a, b) << "seed " << seed << " scan " << scan;
            ASSERT_EQ(differential::stateOf(observed.cpu), differential::stateOf(plain.cpu))
                << "seed " << seed << " scan " << scan;
            const std::uint32_t step = static_cast<std::uint32_t>(scan % 7);
            observed.clock.advance(step);
            plain.clock.advance(step);
        }
    }
}

// A plain scan counts the nodes of the 1 ms rule only before the steps where they can show.
// 33 nodes into the program a 1 ms timer must have been counted on, whatever stands there,
// in both forms of the bit logic before it; more than 255 nodes before such a step in one
// network are counted as an observed scan counts them.
TEST(DecodedScan, OneMillisecondTimersAreCountedOnBeforeEveryStepThatMayShowIt) {
    for (const int length : {16, 300}) {
        std::string contacts = "LD M0.0\n";
        for (int i = 1; i < length; ++i) {
            contacts += "U M0.0\n";
        }
        for (const char* between : {"U T37", "UN T37", "O T37", "ON T37", "LD T37", "LDN T37",
                                    "R T37 1", "TON T37 5", "MOVW T37 VW2"}) {
            for (const auto form : {DecodedProgram::Form::Switch, DecodedProgram::Form::Tables}) {
                Session session;
                ASSERT_FALSE(session.loadText("ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n" +
                                              contacts + "NETWORK 2\n" + contacts + between +
                                              "\nLD T32\n= A0.0\nLD SM0.0\nTON T32 2\n" +
                                              "END_ORGANIZATION_BLOCK\n"));
                session.cpu().decodedForm()->keepForm(form);
                session.setStep(3);
                ASSERT_FALSE(session.scan());
                ASSERT_FALSE(session.scan());
                EXPECT_EQ(session.cpu().area(Parameter::AType).readBit(0, 0), 1)
                    << between << ", " << length << " contacts";
            }
        }
    }
}

// The decoded form is only worth having if ordinary programs decode completely; what cannot
// be decided at install time runs through the tree and faults exactly there.
// A trial ends in one form and runs again later; without bit logic there is nothing to try.
TEST(DecodedScan, TrialKeepsOneFormOfBitLogic) {
    const auto program = [](const char* body) {
        return std::string("ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n") + body +
               "END_ORGANIZATION_BLOCK\n";
    };
    Session logic;
    ASSERT_FALSE(logic.loadText(program("LD E0.0\nU E0.1\n= A0.0\n")));
    const DecodedProgram& tried = *logic.cpu().decodedForm();
    EXPECT_EQ(tried.form(), DecodedProgram::Form::Trying);
    for (int scan = 0; scan < DecodedProgram::TrialBlock * DecodedProgram::TrialBlocks; ++scan) {
        ASSERT_FALSE(logic.scan());
    }
    EXPECT_NE(tried.form(), DecodedProgram::Form::Trying);
    // and tries again later, unless a test chose the form
    for (std::uint32_t scan = 0; scan < DecodedProgram::TrialAgainAfter; ++scan) {
        ASSERT_FALSE(logic.scan());
    }
    EXPECT_EQ(tried.form(), DecodedProgram::Form::Trying);
    tried.keepForm(DecodedProgram::Form::Tables);
    for (std::uint32_t scan = 0; scan <= DecodedProgram::TrialAgainAfter; ++scan) {
        ASSERT_FALSE(logic.scan());
    }
    EXPECT_EQ(tried.form(), DecodedProgram::Form::Tables);
    Session moves;
    ASSERT_FALSE(moves.loadText(program("MOVB 5 MB0\n")));
    EXPECT_EQ(moves.cpu().decodedForm()->form(), DecodedProgram::Form::Switch);
}

TEST(DecodedScan, OrdinaryInstructionsDecodeAndFaultyOnesRunThroughTheTree) {
    struct Case {
        const char* body;
        std::size_t treeSteps;
    };
    const Case cases[] = {
        {"LD E0.0\nU M1.1\nO V2.2\nON SM0.0\nUN S0.0\nLPS\n= A0.0\nLRD\nS M3.0 1\nLPP\nR M3.1 "
         "1\n",
         0},
        {"LD E0.0\nLD E0.1\nOLD\nLDN E0.2\nULD\nNOT\nEU\nED\nTON T33 MW2\nMOVB 16#A5 MB1\n"
         "MOVW VW98 MW0\nXORB EB0 AB0\nLDW= 7 MW0\nUB= MB0 MB1\n",
         0},
        // only the bit beyond the area and the range reaching past it run through the tree
        {"LD M100.0\nO T37\nS M0.0 3\nR M99.6 3\nLD E0.0\nLD E0.1\nZVR Z1 5\n", 2},
        // a skip from the LSCR ends at the SCRE: the ULD after it may find an empty stack
        {"LSCR S0.0\nLD E0.0\n= A0.0\nLD E0.1\nSCRE\nULD\n", 1},
    };
    for (const Case& c : cases) {
        Session session;
        const std::string program = std::string("ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n") +
                                    c.body + "END_ORGANIZATION_BLOCK\n";
        ASSERT_FALSE(session.loadText(program)) << c.body;
        ASSERT_NE(session.cpu().decodedForm(), nullptr);
        EXPECT_EQ(session.cpu().decodedForm()->treeSteps(), c.treeSteps) << c.body;
    }
    Session session;
    ASSERT_FALSE(session.loadText("ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\nLD E0.0\n"
                                  "= A0.1\nNETWORK 2\nLD SM0.0\nMOVW 5 MW99\n"
                                  "END_ORGANIZATION_BLOCK\n"));
    const auto fault = session.scan();
    ASSERT_TRUE(fault);
    EXPECT_STREQ(fault->getText(), "Out of field write");
    EXPECT_EQ(fault->getLine(), std::optional<int>(8));
    EXPECT_EQ(fault->getInstruction(), "MOVW");
    // the leading byte of the word was written, as the tree does it
    EXPECT_EQ(session.cpu().area(Parameter::MType).readByte(99), 0);
    EXPECT_EQ(session.cpu().executedCount(), 4u);
}

} // namespace
} // namespace kvx
