#include <gtest/gtest.h>

#include <string>

#include "session/session.h"
#include "session/watch.h"

namespace kvx {
namespace {

// A0.0 follows E0.0; MB2 counts scans; T37 times E0.1; Z1 counts E0.2's edges.
const std::string Program = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\n"
                            "NETWORK 1\nLD E0.0\n= A0.0\n"
                            "NETWORK 2\nLD SM0.0\nMOVB 5 VB3\n"
                            "NETWORK 3\nLD E0.1\nTON T37 2\n"
                            "NETWORK 4\nLD E0.2\nLD SM0.1\nLD SM0.1\nZVR Z1 2\n"
                            "END_ORGANIZATION_BLOCK\n";

class Watch : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(session.loadText(Program), std::nullopt); }
    void scans(int n) {
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(session.scan(), std::nullopt);
        }
    }
    Session session;
    WatchList watch{session};
};

TEST_F(Watch, ValuesInEachFormat) {
    session.cpu().area(Parameter::VType).writeLong(4, 0x0102A0FFu);
    const struct {
        const char* operand;
        WatchFormat format;
        const char* shown;
    } rows[] = {
        {"VB3", WatchFormat::Decimal, "5"},
        {"VB3", WatchFormat::Binary, "2#00000101"},
        {"VB3", WatchFormat::Hex, "16#05"},
        {"VW6", WatchFormat::Decimal, "41215"},
        {"VW6", WatchFormat::Hex, "16#A0FF"},
        {"VD4", WatchFormat::Hex, "16#0102A0FF"},
        {"VD4", WatchFormat::Binary, "2#00000001000000101010000011111111"},
        {"V7.7", WatchFormat::Hex, "1"},
        {"SM0.0", WatchFormat::Binary, "1"},
        {"T37", WatchFormat::Decimal, "0 (Q=0)"},
        {"Z1", WatchFormat::Decimal, "0 (Q=0)"},
    };
    scans(1);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.operand);
        const std::size_t row = watch.size();
        ASSERT_EQ(watch.setOperand(row, r.operand), "");
        watch.setFormat(row, r.format);
        EXPECT_EQ(watch.valueText(row), r.shown);
    }
}

TEST_F(Watch, BadOperandsAreMessagesNotExceptions) {
    const struct {
        const char* text;
        const char* message;
    } rows[] = {
        {"X0.0", "X0.0: Unknown Parameter Type"},
        {"16#FF", "16#FF: is a constant, not an operand"},
        {"VB100", "VB100: Out of field read"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        const std::size_t row = watch.size();
        EXPECT_EQ(watch.setOperand(row, r.text), r.message);
        EXPECT_EQ(watch.message(row), r.message);
        EXPECT_EQ(watch.valueText(row), "");
        EXPECT_EQ(watch.operandText(row), r.text) << "kept for correction";
        EXPECT_EQ(watch.write(row, "1"), "no operand in this row");
        EXPECT_EQ(watch.force(row, "1"), "no operand in this row");
    }
    ASSERT_EQ(watch.setOperand(0, "MB1"), "");
    EXPECT_EQ(watch.write(0, "256"), "value 256 does not fit in the byte MB1");
    EXPECT_EQ(watch.write(0, "A0.0"), "A0.0: is an operand, not a constant value");
    ASSERT_EQ(watch.setOperand(1, "T37"), "");
    EXPECT_EQ(watch.force(1, "5"), "T37: a timer can only be forced to 0, which holds it reset");
}

TEST_F(Watch, WriteOnceActsLikeTheSwitchOrTheProgram) {
    ASSERT_EQ(watch.setOperand(0, "E0.0"), "");
    ASSERT_EQ(watch.setOperand(1, "MB2"), "");
    EXPECT_EQ(watch.write(0, "1"), "");
    EXPECT_EQ(session.panel().InState[0], 1) << "an input bit sets its switch";
    EXPECT_EQ(watch.write(1, "16#7F"), "");
    scans(1);
    EXPECT_EQ(watch.valueText(1), "127");
    EXPECT_EQ(session.panel().OutState[0], 1);
    session.panel().ChangeInput(0);
    scans(1);
    EXPECT_EQ(session.panel().OutState[0], 0) << "written once: the switch rules again";
}

TEST_F(Watch, ForcedOperandsHoldUntilUnforced) {
    ASSERT_EQ(watch.setOperand(0, "E0.0"), "");
    ASSERT_EQ(watch.setOperand(1, "VB3"), "");
    EXPECT_EQ(watch.force(0, "1"), "");
    EXPECT_EQ(watch.force(1, "9"), "");
    EXPECT_TRUE(watch.anyForced());
    EXPECT_TRUE(session.forces().coversPanelBit(false, 0));
    scans(1);
    EXPECT_EQ(session.panel().OutState[0], 1) << "forced input beats the switch that is off";
    EXPECT_EQ(watch.valueText(1), "5") << "the program's move comes after the force";

    watch.unforce(0);
    EXPECT_FALSE(watch.isForced(0));
    EXPECT_TRUE(watch.isForced(1));
    scans(1);
    EXPECT_EQ(session.panel().OutState[0], 0);

    // Changing a forced row's operand releases its force.
    ASSERT_EQ(watch.setOperand(1, "A0.5"), "");
    EXPECT_FALSE(watch.anyForced());
    EXPECT_TRUE(session.forces().empty());

    EXPECT_EQ(watch.force(1, "1"), "");
    scans(1);
    EXPECT_EQ(session.panel().OutState[5], 1) << "forced output reaches its LED";
    watch.unforceAll();
    EXPECT_TRUE(session.forces().empty());
    EXPECT_EQ(watch.operandTexts(), (std::vector<std::string>{"E0.0", "A0.5"}));
}

// A row shows what the session's force table holds, however the force came or went.
TEST_F(Watch, RowsShowTheSessionsForces) {
    for (std::size_t row : {0u, 1u}) {
        ASSERT_EQ(watch.setOperand(row, "M0.0"), "");
        EXPECT_EQ(watch.force(row, "1"), "");
    }
    watch.unforce(0);
    EXPECT_FALSE(watch.isForced(1)) << "M0.0 is no longer forced";
    EXPECT_FALSE(watch.anyForced());
    ASSERT_EQ(session.force("M0.0", 1), std::nullopt);
    EXPECT_TRUE(watch.isForced(0) && watch.isForced(1)) << "forced without the list";
}

TEST_F(Watch, UnforceAllAlsoReleasesForcesNoRowMade) {
    ASSERT_EQ(watch.setOperand(0, "A0.1"), "");
    EXPECT_EQ(watch.force(0, "1"), "");
    ASSERT_EQ(session.force("MB5", 7), std::nullopt);
    watch.unforceAll();
    EXPECT_TRUE(session.forces().empty());
}

TEST_F(Watch, ForcesEndWithTheList) {
    {
        WatchList temporary(session);
        ASSERT_EQ(temporary.setOperand(0, "A0.3"), "");
        ASSERT_EQ(temporary.force(0, "1"), "");
        EXPECT_FALSE(session.forces().empty());
    }
    EXPECT_TRUE(session.forces().empty());
}

// A saved table reads back as it was, forces included; a row that cannot be read back is
// refused before any row changes.
TEST_F(Watch, TextRoundTripsAndMalformedTextChangesNothing) {
    ASSERT_EQ(watch.setOperand(0, "VW6"), "");
    watch.setFormat(0, WatchFormat::Hex);
    watch.setControl(0, "16#0102");
    ASSERT_EQ(watch.setOperand(1, "A0.1"), "");
    watch.setFormat(1, WatchFormat::Binary);
    watch.setControl(1, "1");
    ASSERT_EQ(watch.force(1, "1"), "");
    EXPECT_NE(watch.setOperand(2, "XY1"), "") << "kept for the user to correct";
    const std::string saved = watch.text();
    EXPECT_EQ(saved, "VW6 Hex 16#0102\nA0.1 Binär 1 forciert\nXY1 Dezimal\n");

    WatchList other(session);
    watch.unforceAll();
    EXPECT_EQ(other.setText("# head\n\r\n" + saved), "");
    EXPECT_EQ(other.text(), saved);
    EXPECT_TRUE(other.isForced(1));
    EXPECT_EQ(other.message(2), "XY1: Unknown Parameter Type");

    const struct {
        const char* text;
        const char* error;
    } bad[] = {
        {"A0.0\n", "line 1: expected OPERAND FORMAT [VALUE [forciert]]"},
        {"A0.0 Dezimal\nA0.1 Oktal 1", "line 2: unknown format \"Oktal\" (Dezimal, Binär or Hex)"},
        {"A0.0 hex 1 immer", "line 1: expected \"forciert\" after the value, not \"immer\""},
        {"A0.0 Hex 1 forciert x", "line 1: expected OPERAND FORMAT [VALUE [forciert]]"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.text);
        EXPECT_EQ(other.setText(b.text), b.error);
    }
    EXPECT_EQ(other.text(), saved);
    std::string tooMany;
    for (std::size_t i = 0; i <= WatchList::MaxRows; ++i) {
        tooMany += "M0.0 Hex\n";
    }
    EXPECT_EQ(other.setText(tooMany), "line 1001: more than 1000 rows");
}

TEST_F(Watch, WriteAllWritesEveryRowWithAValueAndMoveKeepsRows) {
    const char* rows[][2] = {{"MB1", "7"}, {"MB2", ""}, {"XY", "1"}, {"MB3", "300"}, {"MB4", "9"}};
    for (const auto& [operand, value] : rows) {
        (void)watch.setOperand(watch.size(), operand);
        watch.setControl(watch.size() - 1, value);
    }
    EXPECT_EQ(watch.writeAll(), 1u) << "300 does not fit a byte";
    const MemField& m = session.cpu().area(Parameter::MType);
    EXPECT_EQ(m.readByte(1), 7);
    EXPECT_EQ(m.readByte(2), 0);
    EXPECT_EQ(m.readByte(4), 9);
    EXPECT_NE(watch.message(3), "");
    watch.move(0, 4);
    watch.move(3, 1);
    EXPECT_EQ(watch.operandTexts(), (std::vector<std::string>{"MB2", "MB4", "XY", "MB3", "MB1"}));
    EXPECT_EQ(watch.control(4), "7");
}

} // namespace
} // namespace kvx
