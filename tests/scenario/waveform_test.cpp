#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "scenario/waveform.h"
#include "session/operand_access.h"
#include "session/session.h"

namespace kvx {
namespace {

const std::string Motor = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\nLD E0.0\nTON T37 3\n"
                          "NETWORK 2\nLD T37\n= A0.0\nEND_ORGANIZATION_BLOCK\n";

TEST(Waveform, HeaderThenOnlyChangesAtTheirTimes) {
    Session s;
    ASSERT_EQ(s.loadText(Motor), std::nullopt);
    s.setStep(100);
    std::ostringstream vcd;
    WaveformWriter writer(vcd, s, {"T37", "MB1"});
    writer.sample(s.now());
    s.panel().ChangeInput(0);
    // Each sample is stamped with the time its scan ran at, as the trace shows it.
    for (int i = 0; i < 6; ++i) {
        const auto at = s.now();
        ASSERT_EQ(s.scan(), std::nullopt);
        writer.sample(at);
    }
    const std::string text = vcd.str();
    // Inputs E0.0.. use ! to (, outputs A0.0.. ) to 0, T37 1, T37.Q 2, MB1 3.
    for (const char* part : {"$timescale 1ms $end", "$var wire 1 ! E0_0 $end",
                             "$var wire 1 ) A0_0 $end", "$var reg 16 1 T37 [15:0] $end",
                             "$var wire 1 2 T37_Q $end", "$var reg 8 3 MB1 [7:0] $end",
                             "$enddefinitions $end\n#0\n$dumpvars\n0!\n", "\nb0 3\n$end\n1!\n"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
    }
    // The timer counts whole intervals and leaves the one under way uncounted, so the preset
    // of 3 is reached, and A0.0 comes on, in the scan at 400 ms: the same scan in which
    // `kvx run --step 100` first shows the LED lit.
    const auto on = text.find("1)");
    ASSERT_NE(on, std::string::npos) << text;
    const auto stamp = text.rfind('#', on);
    EXPECT_EQ(std::stoull(text.substr(stamp + 1)), 400u) << text;
    EXPECT_EQ(text.find("b0 3", text.find("$end\n", text.find("$dumpvars")) + 5), std::string::npos)
        << "MB1 never changed after the dump";
}

// A scan that raises leaves the LEDs as they were, though the program already wrote A0.0.
TEST(Waveform, OutputsShowTheLedsAndTheOutputMemoryIsAProbe) {
    Session s;
    ASSERT_EQ(s.loadText("ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\nLD SM0.0\n= A0.0\n"
                         "MOVB MB100 MB0\nEND_ORGANIZATION_BLOCK\n"),
              std::nullopt);
    std::ostringstream vcd;
    WaveformWriter writer(vcd, s, {"AB0"});
    writer.sample(s.now());
    for (int i = 0; i < 2; ++i) {
        const auto at = s.now();
        ASSERT_TRUE(s.scan().has_value());
        writer.sample(at);
    }
    EXPECT_EQ(s.leds(), "A0.7..A0.0 00000000");
    // A0.0 is `)`, the probe AB0 `1`.
    EXPECT_EQ(vcd.str().find("\n1)\n"), std::string::npos) << vcd.str();
    EXPECT_NE(vcd.str().find("$end\nb1 1\n"), std::string::npos) << vcd.str();
}

TEST(Waveform, BadProbesAreInputErrors) {
    Session s;
    ASSERT_EQ(s.loadText(Motor), std::nullopt);
    for (const char* probe : {"X1", "16#FF", "VB200"}) {
        std::ostringstream vcd;
        EXPECT_THROW(WaveformWriter(vcd, s, {probe}), InputError) << probe;
    }
}

TEST(Waveform, TimeNeverRunsBackwards) {
    Session s;
    ASSERT_EQ(s.loadText(Motor), std::nullopt);
    std::ostringstream vcd;
    WaveformWriter writer(vcd, s, {});
    writer.sample(50);
    s.panel().ChangeInput(0);
    ASSERT_EQ(s.scan(), std::nullopt);
    writer.sample(20);
    // The change joins the stamp already written instead of repeating it.
    EXPECT_NE(vcd.str().find("#50\n$dumpvars\n"), std::string::npos) << vcd.str();
    EXPECT_NE(vcd.str().find("$end\n1!\n"), std::string::npos) << vcd.str();
    EXPECT_EQ(vcd.str().find("#20"), std::string::npos) << vcd.str();
    EXPECT_EQ(vcd.str().find("#50", vcd.str().find("#50") + 1), std::string::npos) << vcd.str();
}

} // namespace
} // namespace kvx
