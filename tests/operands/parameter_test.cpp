#include <gtest/gtest.h>

#include "core/clock.h"
#include "core/cpu.h"
#include "operands/parameter.h"
#include "tests/core/test_support.h"

namespace kvx {

namespace {

class ParameterTest : public ::testing::Test {
protected:
    SimClock clock;
    CPU cpu{clock};
    MemField& m = cpu.area(Parameter::MType);
};

// Each access of each operand class: the value read, or the error text.
TEST_F(ParameterTest, UnsupportedAccessesThrowTheirWidthsText) {
    BitParameter bit(&m, 0, 0, Parameter::MType);
    ByteParameter byte(&m, 0, Parameter::MType);
    WordParameter word(&m, 0, Parameter::MType);
    LongParameter dword(&m, 0, Parameter::MType);
    NumParameter num(1, 10);
    CounterParameter ctr(&cpu.counter(1), 1);
    TimerParameter tim(&cpu.timer(37), 37);
    struct Row {
        const char* name;
        Parameter& p;
    } rows[] = {{"bit", bit}, {"byte", byte}, {"word", word}, {"long", dword},
                {"num", num}, {"ctr", ctr},   {"tim", tim}};
    for (auto& row : rows) {
        const auto ops = row.p.getOperations();
        auto& p = row.p;
        EXPECT_EQ(errorOf([&] { p.readBit(); }).empty(), ops.RBit == 1) << row.name;
        EXPECT_EQ(errorOf([&] { p.readByte(); }), ops.RByte ? "" : "getbyte not supported")
            << row.name;
        EXPECT_EQ(errorOf([&] { p.readWord(); }), ops.RWord ? "" : "getword not supported")
            << row.name;
        EXPECT_EQ(errorOf([&] { p.readLong(); }), ops.RLong ? "" : "getlong not supported")
            << row.name;
        if (!ops.RBit) {
            EXPECT_EQ(errorOf([&] { p.readBit(); }), "getbit not supported") << row.name;
        }
        EXPECT_EQ(errorOf([&] { p.writeByte(0); }), ops.WByte ? "" : "setbit not supported")
            << row.name;
        EXPECT_EQ(errorOf([&] { p.writeWord(0); }), ops.WWord ? "" : "setbit not supported")
            << row.name;
        EXPECT_EQ(errorOf([&] { p.writeLong(0); }), ops.WLong ? "" : "setbit not supported")
            << row.name;
        EXPECT_EQ(errorOf([&] { p.writeBit(0); }), ops.WBit ? "" : "setbit not supported")
            << row.name;
    }
    EXPECT_EQ(num.getClass(), Parameter::NumType);
    EXPECT_EQ(ctr.getClass(), Parameter::ZType);
    EXPECT_EQ(tim.getClass(), Parameter::TType);
    EXPECT_EQ(word.getClass(), Parameter::MType);
}

TEST_F(ParameterTest, ConstantsReadAsTruncations) {
    NumParameter n(0x1FF, 16);
    EXPECT_EQ(n.readBit(), 1);
    EXPECT_EQ(n.readByte(), 0xFF);
    EXPECT_EQ(n.readWord(), 0x1FF);
    EXPECT_EQ(n.readLong(), 0x1FFu);
    NumParameter minusOne(-1, 10);
    EXPECT_EQ(minusOne.readByte(), 255);
    EXPECT_EQ(minusOne.readWord(), 65535);
    EXPECT_EQ(minusOne.readLong(), 4294967295u);
    EXPECT_EQ(NumParameter(2, 10).readBit(), 0);
}

TEST_F(ParameterTest, TimerBitWriteOnlyResets) {
    Timer& t = cpu.timer(32);
    TimerParameter tim(&t, 32);
    t.setLimit(6);
    t.setActive(1);
    clock.set(10);
    t.Increment();
    ASSERT_EQ(t.getValue(), 10);
    EXPECT_EQ(errorOf([&] { tim.writeBit(1); }), "Timer can only be reseted");
    EXPECT_EQ(t.getValue(), 10);
    EXPECT_TRUE(t.isRunning());
    tim.writeBit(0);
    EXPECT_EQ(t.getValue(), 0);
    EXPECT_FALSE(t.isRunning());
    EXPECT_EQ(t.getLimit(), 6);
}

TEST_F(ParameterTest, CounterWordWriteSetsOnlyTheCount) {
    Counter& c = cpu.counter(3);
    CounterParameter ctr(&c, 3);
    c.setLimit(5);
    EXPECT_EQ(ctr.readBit(), 0);
    ctr.writeWord(7);
    EXPECT_EQ(ctr.readWord(), 7);
    EXPECT_EQ(ctr.readBit(), 1);
    EXPECT_EQ(c.getLimit(), 5);
}

TEST_F(ParameterTest, SetBitRangeRunsIntoTheNextByte) {
    BitParameter from6(&m, 0, 6, Parameter::MType);
    from6.SetBitRange(4, 1);
    EXPECT_EQ(m.readByte(0), 0xC0);
    EXPECT_EQ(m.readByte(1), 0x03);
    from6.SetBitRange(0, 0);
    from6.SetBitRange(-3, 0);
    EXPECT_EQ(m.readByte(0), 0xC0);
    from6.SetBitRange(3, 0);
    EXPECT_EQ(m.readByte(0), 0x00);
    EXPECT_EQ(m.readByte(1), 0x02);
}

TEST_F(ParameterTest, SetBitRangeStopsAtTheEndOfTheArea) {
    BitParameter last(&m, 99, 6, Parameter::MType);
    EXPECT_EQ(errorOf([&] { last.SetBitRange(255, 1); }), "Out of field read");
    EXPECT_EQ(m.readByte(99), 0xC0);
}

TEST_F(ParameterTest, PrintAndDebugoutTexts) {
    m.writeWord(2, 300);
    struct Case {
        std::unique_ptr<Parameter> p;
        const char* printed;
        const char* traced;
    } cases[] = {
        {std::make_unique<BitParameter>(&m, 0, 3, Parameter::MType), " M0.3", " M0.3 [0:::]"},
        {std::make_unique<ByteParameter>(&m, 3, Parameter::VType), " VB3", " VB3 [:44::]"},
        {std::make_unique<WordParameter>(&m, 2, Parameter::MType), " MW2", " MW2 [::300:]"},
        {std::make_unique<LongParameter>(&m, 4, Parameter::SMType), " SMD4", " SMD4 [:::0]"},
        {std::make_unique<NumParameter>(255, 16), " 16#FF", " 16#FF [1:255:255:255]"},
        {std::make_unique<NumParameter>(25, 10), " 25", " 25 [1:25:25:25]"},
        {std::make_unique<NumParameter>(-5, 10), " -5", " -5 [1:251:65531:4294967291]"},
        {std::make_unique<NumParameter>(-1, 16), " 16#FFFFFFFF",
         " 16#FFFFFFFF [1:255:65535:4294967295]"},
        {std::make_unique<CounterParameter>(&cpu.counter(3), 3), " Z3", " Z3 [1::0:]"},
        {std::make_unique<TimerParameter>(&cpu.timer(37), 37), " T37", " T37 [1::0:]"},
        // Past the end of the area: the trace must not raise what the instruction did not.
        {std::make_unique<BitParameter>(&m, 100, 0, Parameter::MType), " M100.0", " M100.0 [?:::]"},
        {std::make_unique<ByteParameter>(&m, 100, Parameter::VType), " VB100", " VB100 [:?::]"},
        {std::make_unique<LongParameter>(&m, 97, Parameter::MType), " MD97", " MD97 [:::?]"},
    };
    for (const auto& c : cases) {
        StringWriter printed;
        c.p->print(printed);
        EXPECT_EQ(printed.str(), c.printed);
        StringWriter traced;
        c.p->debugout(traced);
        EXPECT_EQ(traced.str(), c.traced) << c.printed;
    }
}

} // namespace

} // namespace kvx
