#include <gtest/gtest.h>

#include <string>

#include "core/clock.h"
#include "core/cpu.h"
#include "operands/parameter.h"
#include "tests/core/test_support.h"

namespace kvx {

namespace {

// What parserParameter makes of a text: the operand's listing text, or the error.
std::string parse(CPU& cpu, std::string_view text) {
    try {
        auto p = cpu.parserParameter(text);
        StringWriter w;
        p->print(w);
        return w.str();
    } catch (const CPUException& ex) {
        return std::string("error: ") + ex.getText();
    }
}

struct Case {
    const char* text;
    const char* result;
};

TEST(OperandSyntaxTest, AcceptedFormsAndEveryMessage) {
    const Case cases[] = {
        // bit addresses
        {"E0.7", " E0.7"},
        {"E0.8", "error: Bitnumber out of range"},
        {"E0.12", "error: Syntax error in Bit Address"},
        {"E0.", "error: Bitnumber out of range"},
        {"E0", "error: Bit Address missing"},
        {"E", "error: Address expected"},
        {"E.3", " E0.3"},
        {"A12.0", " A12.0"},
        {"SM0.1", " SM0.1"},
        {"S0.1", " S0.1"},
        {"Vb0", "error: Bit Address missing"},
        {"M0x1", "error: Bit Address missing"},
        {"M0.1x", "error: Syntax error in Bit Address"},
        // byte, word, double word
        {"VB10", " VB10"},
        {"EB0", " EB0"},
        {"SMB0", " SMB0"},
        {"SB3", " SB3"},
        {"MW2", " MW2"},
        {"SMD4", " SMD4"},
        {"VB", "error: Address expected"},
        {"SM", "error: Address expected"},
        {"VBx", "error: Wrong Parameter Address"},
        {"VW1.0", "error: Wrong Parameter Address"},
        {"VB99999", " VB99999"},
        {"VB99999999999", " VB2147483647"},
        // timers and counters
        {"T127", " T127"},
        {"T128", "error: Timer not present"},
        {"T99999999999", "error: Timer not present"},
        {"T", "error: Number expected"},
        {"TB0", "error: Wrong Timer/Counter Address"},
        {"T3x", "error: Wrong Timer/Counter Address"},
        {"Z255", " Z255"},
        {"Z256", "error: Counter not present"},
        {"Z99999999999", "error: Counter not present"},
        {"Z", "error: Number expected"},
        // constants
        {"25", " 25"},
        {"+25", " 25"},
        {"-5", " -5"},
        {"+-5", " -5"},
        {"+", " 0"},
        {"-", " 0"},
        {"16#FF", " 16#FF"},
        {"16#ff", " 16#FF"},
        {"2#1010", " 2#1010"},
        {"35#Y", " 35#Y"},
        {"16#", " 16#0"},
        {"36#Z", "error: Wrong base"},
        {"1#0", "error: Wrong base"},
        {"4294967312#1", "error: Wrong base"},
        {"16#FG", "error: Syntax error in number"},
        {"-16#FF", "error: Syntax error in number"},
        {"++5", "error: Syntax error in number"},
        {"0.5", "error: Syntax error in number"},
        {"4294967295", " -1"},
        {"4294967296", " 0"},
        {"16#FFFFFFFF", " 16#FFFFFFFF"},
        {"16#1FFFFFFFF", " 16#FFFFFFFF"},
        {"-2147483648", " -2147483648"},
        // anything else
        {"", "error: Unknown Parameter Type"},
        {"e0.0", "error: Unknown Parameter Type"},
        {"X0.0", "error: Unknown Parameter Type"},
        {"#5", "error: Unknown Parameter Type"},
    };
    SimClock clock;
    CPU cpu(clock);
    for (const auto& c : cases) {
        EXPECT_EQ(parse(cpu, c.text), c.result) << "operand text '" << c.text << "'";
    }
    // An embedded NUL is a character like any other, not the end of the text.
    EXPECT_EQ(parse(cpu, std::string_view("E0.1\0", 5)), "error: Syntax error in Bit Address");
}

TEST(OperandSyntaxTest, OperandsAreBoundToTheirArea) {
    SimClock clock;
    CPU cpu(clock);
    auto sm = cpu.parserParameter("SM0.1");
    auto s = cpu.parserParameter("S0.1");
    sm->writeBit(1);
    EXPECT_EQ(cpu.area(Parameter::SMType).readBit(0, 1), 1);
    EXPECT_EQ(cpu.area(Parameter::SType).readBit(0, 1), 0);
    EXPECT_EQ(sm->getClass(), Parameter::SMType);
    EXPECT_EQ(s->getClass(), Parameter::SType);
    auto t = cpu.parserParameter("T37");
    EXPECT_EQ(dynamic_cast<TimerParameter&>(*t).getTimer(), &cpu.timer(37));
    auto z = cpu.parserParameter("Z255");
    EXPECT_EQ(dynamic_cast<CounterParameter&>(*z).getCounter(), &cpu.counter(255));
    auto far = cpu.parserParameter("VB99999");
    EXPECT_EQ(errorOf([&] { far->readByte(); }), "Out of field read");
}

TEST(OperandSyntaxTest, DecodeBaseIgnoresCaseOnlyForLetters) {
    EXPECT_EQ(decodebase('0'), 0);
    EXPECT_EQ(decodebase('9'), 9);
    EXPECT_EQ(decodebase('a'), 10);
    EXPECT_EQ(decodebase('Z'), 35);
    EXPECT_EQ(decodebase('z'), 35);
    EXPECT_EQ(decodebase('#'), -1);
    EXPECT_EQ(decodebase('\0'), -1);
}

} // namespace

} // namespace kvx
