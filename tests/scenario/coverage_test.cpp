#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "scenario/coverage.h"
#include "session/session.h"

namespace kvx {
namespace {

// KVX_PARTLY_AWL: E0.0 (line 4) drives A0.0; SM0.0 (line 7) is always 1, so its contact is
// never seen 0; the segment of S0.5 (lines 10 to 13) never becomes active.
bool loadPartly(Session& s) {
    return !s.loadFile(KVX_PARTLY_AWL);
}

TEST(Coverage, CountsLinesAndBothWaysOfContacts) {
    Session s;
    ASSERT_TRUE(loadPartly(s));
    CoverageCounter coverage;
    coverage.addProgram(s.cpu());
    for (int scan = 0; scan < 4; ++scan) {
        if (scan == 2) {
            s.panel().ChangeInput(0);
        }
        ASSERT_EQ(s.scan(&coverage), std::nullopt);
    }
    const CoverageSummary summary = coverage.summary();
    EXPECT_EQ(summary.lines, 8);
    EXPECT_EQ(summary.linesExecuted, 6) << "the two lines inside the inactive segment ran never";
    EXPECT_EQ(summary.contacts, 3);
    EXPECT_EQ(summary.contactsBothWays, 1) << "only LD E0.0 was seen 0 and 1";

    std::ostringstream lcov;
    coverage.writeLcov(lcov, "/x/prog.awl");
    const std::string text = lcov.str();
    for (const char* line : {"SF:/x/prog.awl\n", "DA:4,4\n", "DA:11,0\n", "DA:13,4\n",
                             "BRDA:4,0,0,2\n", "BRDA:4,0,1,2\n", "BRDA:7,0,0,0\n", "BRDA:7,0,1,4\n",
                             "BRDA:11,0,0,-\n", "BRF:6\nBRH:3\n", "LF:8\nLH:6\nend_of_record\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    }
}

TEST(Coverage, CountsAddUpOverRunsOfTheSameProgram) {
    CoverageCounter coverage;
    for (int run = 0; run < 2; ++run) {
        Session s;
        ASSERT_TRUE(loadPartly(s));
        coverage.addProgram(s.cpu());
        if (run == 1) {
            s.panel().ChangeInput(1);
        }
        ASSERT_EQ(s.scan(&coverage), std::nullopt);
    }
    std::ostringstream lcov;
    coverage.writeLcov(lcov, "p.awl");
    EXPECT_NE(lcov.str().find("DA:4,2\n"), std::string::npos);
    EXPECT_NE(lcov.str().find("BRDA:4,0,0,2\n"), std::string::npos);
    EXPECT_EQ(coverage.summary().contactsBothWays, 0);
}

TEST(Coverage, TheInstructionThatRaisedRanAndNothingAfterIt) {
    Session s;
    ASSERT_EQ(s.loadText("ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\nLD SM0.0\n"
                         "MOVB MB100 MB0\n= A0.0\nEND_ORGANIZATION_BLOCK\n"),
              std::nullopt);
    CoverageCounter coverage;
    coverage.addProgram(s.cpu());
    ASSERT_TRUE(s.scan(&coverage).has_value());
    std::ostringstream lcov;
    coverage.writeLcov(lcov, "p.awl");
    EXPECT_NE(lcov.str().find("DA:5,1\nDA:6,0\n"), std::string::npos) << lcov.str();
}

TEST(Coverage, ContactsAreTheConditionReadingInstructions) {
    for (const char* contact : {"LD", "LDN", "U", "UN", "O", "ON", "LDW=", "UB="}) {
        EXPECT_TRUE(isContact(contact)) << contact;
    }
    for (const char* other : {"=", "S", "R", "NOT", "EU", "ULD", "TON", "ZVR", "LSCR", "LDX"}) {
        EXPECT_FALSE(isContact(other)) << other;
    }
}

} // namespace
} // namespace kvx
