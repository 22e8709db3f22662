#include <gtest/gtest.h>

#include <climits>

#include <functional>
#include <string>

#include "core/common.h"
#include "core/cpu.h"
#include "test_support.h"

namespace kvx {

namespace {

TEST(MemFieldTest, BoundsOfEveryWidth) {
    MemField f(100, false);
    struct Case {
        const char* what;
        std::function<void()> action;
        const char* error;
    } cases[] = {
        {"readByte 99", [&] { f.readByte(99); }, ""},
        {"readByte 100", [&] { f.readByte(100); }, "Out of field read"},
        {"readByte -1", [&] { f.readByte(-1); }, "Out of field read"},
        {"readWord 98", [&] { f.readWord(98); }, ""},
        {"readWord 99", [&] { f.readWord(99); }, "Out of field read"},
        {"readLong 96", [&] { f.readLong(96); }, ""},
        {"readLong 97", [&] { f.readLong(97); }, "Out of field read"},
        {"readWord INT_MAX", [&] { f.readWord(INT_MAX); }, "Out of field read"},
        {"writeByte 100", [&] { f.writeByte(100, 1); }, "Out of field write"},
        {"writeLong 97", [&] { f.writeLong(97, 1); }, "Out of field write"},
        {"writeLong INT_MAX", [&] { f.writeLong(INT_MAX, 1); }, "Out of field write"},
        {"writeBit 100", [&] { f.writeBit(100, 0, 1); }, "Out of field read"},
        {"readBit 100", [&] { f.readBit(100, 0); }, "Out of field read"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errorOf(c.action), c.error) << c.what;
    }
}

TEST(MemFieldTest, WordsAreStoredHighByteFirst) {
    MemField f(100, false);
    f.writeWord(10, 0x1234);
    EXPECT_EQ(f.readByte(10), 0x12);
    EXPECT_EQ(f.readByte(11), 0x34);
    EXPECT_EQ(f.readWord(10), 0x1234);
    f.writeLong(20, 0xA1B2C3D4);
    EXPECT_EQ(f.readByte(20), 0xA1);
    EXPECT_EQ(f.readByte(23), 0xD4);
    EXPECT_EQ(f.readWord(22), 0xC3D4);
    EXPECT_EQ(f.readLong(20), 0xA1B2C3D4u);
}

TEST(MemFieldTest, WordPastTheEndKeepsItsLeadingByte) {
    MemField f(100, false);
    EXPECT_EQ(errorOf([&] { f.writeWord(99, 0xABCD); }), "Out of field write");
    EXPECT_EQ(f.readByte(99), 0xAB);
    EXPECT_EQ(errorOf([&] { f.writeLong(98, 0x11223344); }), "Out of field write");
    EXPECT_EQ(f.readWord(98), 0x1122);
}

TEST(MemFieldTest, BitsAreNumberedFromTheLeastSignificant) {
    MemField f(4, false);
    f.writeBit(0, 7, 1);
    EXPECT_EQ(f.readByte(0), 0x80);
    f.writeBit(0, 0, 5);
    EXPECT_EQ(f.readByte(0), 0x81);
    f.writeBit(0, 7, 0);
    EXPECT_EQ(f.readByte(0), 0x01);
    EXPECT_EQ(f.readBit(0, 0), 1);
    EXPECT_EQ(f.readBit(0, 1), 0);
}

TEST(MemFieldTest, WriteProtectionComesBeforeTheAddressCheck) {
    MemField f(10, true);
    EXPECT_EQ(errorOf([&] { f.writeByte(0, 1); }), "Field is writeprotected");
    EXPECT_EQ(errorOf([&] { f.writeBit(500, 0, 1); }), "Field is writeprotected");
    EXPECT_EQ(errorOf([&] { f.writeWord(500, 1); }), "Field is writeprotected");
    EXPECT_EQ(errorOf([&] { f.writeLong(0, 1); }), "Field is writeprotected");
    EXPECT_EQ(f.readLong(0), 0u);
}

} // namespace

} // namespace kvx
