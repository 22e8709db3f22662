#include <gtest/gtest.h>

#include <cstdint>

#include "core/common.h"

namespace kvx {

namespace {

struct BaseCase {
    int base;
    std::uint32_t value;
    const char* text;
};

TEST(WriterTest, BaseFormattedWrite) {
    const BaseCase cases[] = {
        {16, 255, "FF"},
        {2, 5, "101"},
        {10, 0, "0"},
        {2, 0, "0"},
        {36, 35, "Z"},
        {35, 34, "Y"},
        {16, 0xFFFFFFFF, "FFFFFFFF"},
        {10, 2147483648u, "2147483648"},
        {2, 0x80000000u, "10000000000000000000000000000000"},
    };
    for (const auto& c : cases) {
        StringWriter w;
        w.write(c.base, c.value);
        EXPECT_EQ(w.str(), c.text) << "base " << c.base << " value " << c.value;
    }
}

TEST(WriterTest, SignedUnsignedAndText) {
    StringWriter w;
    w.write(-5);
    w.write('|');
    w.write(std::numeric_limits<int>::min());
    w.write('|');
    w.write(4294967295u);
    w.write('|');
    w.write(static_cast<const char*>(nullptr));
    w.write("ab");
    w.write('|');
    w.write(1.5f);
    EXPECT_EQ(w.str(), "-5|-2147483648|4294967295|ab|1.500000");
}

} // namespace

} // namespace kvx
