#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/common.h"
#include "session/session.h"
#include "session/text.h"

namespace kvx {

namespace {

// Lines: 4 LD E0.0, 5 = A0.0, 6 = M0.1, 8 LD SM0.1 (second network), 9 = A0.1, 10 LD E0.7, 11 S
// V99.0 9 when E0.7 (line 11 faults).
const std::string Program = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n"
                            "LD E0.0\n= A0.0\n= M0.1\nNETWORK 2\nLD SM0.1\n= A0.1\n"
                            "LD E0.7\nS V99.0 9\nEND_ORGANIZATION_BLOCK\n";

const OpList* nodeAt(const Session& s, int line) {
    for (const Network* n = s.cpu().getProgram()->Networks.get(); n; n = n->Next.get()) {
        for (const OpList* node = n->Ops.get(); node; node = node->Next.get()) {
            if (node->Line == line) {
                return node;
            }
        }
    }
    return nullptr;
}

struct Halted {
    int line = 0;
    bool step = false;
    int scans = 0;
};

class Events final : public SessionListener {
public:
    void halted(std::uint32_t, int line, bool step) override { last = {line, step, scans}; }
    void scanned(std::uint32_t, const std::optional<CPUException>&) override { ++scans; }
    Halted last;
    int scans = 0;
};

TEST(Debugger, HaltsMidScanStepsAndShowsTheScanSoFar) {
    Session s;
    ASSERT_EQ(s.loadText(Program), std::nullopt);
    Events events;
    s.addListener(events);
    ASSERT_EQ(s.setBreakpoint(5), std::nullopt);
    s.panel().ChangeInput(0);
    EXPECT_EQ(s.tick(), std::nullopt);
    ASSERT_TRUE(s.isHalted());
    EXPECT_EQ(s.haltedLine(), 5);
    EXPECT_EQ(haltedText(*s.haltedLine()), "Angehalten: Zeile 5");
    EXPECT_EQ(events.last.line, 5);
    EXPECT_EQ(events.scans, 0) << "a halted scan has not ended";
    EXPECT_EQ(s.cpu().CurrentStack(), 1) << "LD E0.0 ran";
    EXPECT_EQ(s.haltedStatus().of(*nodeAt(s, 4)).state, StepState::Executed);
    EXPECT_EQ(s.haltedStatus().of(*nodeAt(s, 5)).state, StepState::NotRun) << "pending";
    EXPECT_EQ(s.tick(), std::nullopt);
    EXPECT_EQ(s.cpu().scanCount(), 1u) << "no scan runs while halted";

    EXPECT_EQ(s.stepInstruction(), std::nullopt);
    EXPECT_EQ(s.haltedLine(), 6);
    EXPECT_TRUE(events.last.step);
    EXPECT_EQ(s.cpu().area(Parameter::AType).readBit(0, 0), 1) << "= A0.0 ran";
    EXPECT_EQ(s.leds(), "A0.7..A0.0 00000000") << "outputs reach the panel at the end";
    EXPECT_EQ(s.finishScan(), std::nullopt);
    EXPECT_FALSE(s.isHalted());
    EXPECT_EQ(events.scans, 1);
    EXPECT_EQ(s.leds(), "A0.7..A0.0 00000011") << "first-scan bit seen by the halted scan";
    EXPECT_EQ(s.cpu().area(Parameter::SMType).readBit(0, 1), 0);
    EXPECT_EQ(s.cpu().executedCount(), 7u);

    // Continue halts at the next breakpoint, in a later scan; Stop ends the scan and stops.
    EXPECT_EQ(s.resume(), std::nullopt);
    EXPECT_EQ(s.tick(), std::nullopt);
    EXPECT_EQ(s.haltedLine(), 5);
    EXPECT_EQ(s.stopHalted(), std::nullopt);
    EXPECT_FALSE(s.isHalted());
    EXPECT_FALSE(s.isRunning());
    s.removeListener(events);
}

TEST(Debugger, AFaultWhileSteppingEndsTheScanAsAPlainRun) {
    Session plain;
    Session stepped;
    for (Session* s : {&plain, &stepped}) {
        ASSERT_EQ(s->loadText(Program), std::nullopt);
        s->panel().ChangeInput(7);
    }
    const auto expected = plain.tick();
    ASSERT_TRUE(expected.has_value());
    ASSERT_EQ(stepped.setBreakpoint(11), std::nullopt);
    EXPECT_EQ(stepped.tick(), std::nullopt);
    EXPECT_EQ(stepped.haltedLine(), 11);
    const auto fault = stepped.stepInstruction();
    ASSERT_TRUE(fault.has_value());
    EXPECT_STREQ(fault->getText(), expected->getText());
    EXPECT_EQ(fault->getLine(), 11);
    EXPECT_FALSE(stepped.isHalted());
    EXPECT_FALSE(stepped.isRunning());
    EXPECT_EQ(stepped.cpu().executedCount(), plain.cpu().executedCount());
    EXPECT_EQ(stepped.haltedStatus().of(*nodeAt(stepped, 11)).state, StepState::Faulted);
}

TEST(Debugger, RefusesLinesAndConditionsThatDoNotRead) {
    Session s;
    ASSERT_EQ(s.loadText(Program), std::nullopt);
    const struct {
        int line;
        const char* condition;
        const char* error;
    } cases[] = {
        {3, "", "line 3 holds no instruction"},
        {5, "M0.3", "condition 'M0.3': write OPERAND OP VALUE, with OP one of = <> < > <= >="},
        {5, "M0.3 == 1",
         "condition 'M0.3 == 1': write OPERAND OP VALUE, with OP one of = <> < > <= >="},
        {5, "XY0 = 1", nullptr},
        {5, "M0.3 = 2", nullptr},
        {5, "MW4 > 100", ""},
        {5, "MB0<>-1", ""},
        {6, "M0.0 = 1", ""},
    };
    for (const auto& c : cases) {
        const auto error = s.setBreakpoint(c.line, c.condition);
        if (c.error == nullptr) {
            EXPECT_TRUE(error && error->starts_with("condition '")) << c.condition;
        } else if (*c.error == '\0') {
            EXPECT_EQ(error, std::nullopt) << c.condition;
        } else {
            EXPECT_EQ(error, c.error);
        }
    }
    ASSERT_EQ(s.breakpoints().size(), 2u);
    EXPECT_EQ(s.breakpoints()[0].condition, "MB0<>-1");
    // MB0 is 0, not -1 (255): line 5 halts; M0.0 is 0: line 6 does not.
    EXPECT_EQ(s.tick(), std::nullopt);
    EXPECT_EQ(s.haltedLine(), 5);
    EXPECT_EQ(s.resume(), std::nullopt);
    EXPECT_FALSE(s.isHalted());
    EXPECT_EQ(s.toggleBreakpoint(5), std::nullopt);
    EXPECT_EQ(s.breakpoints().size(), 1u);
}

TEST(Debugger, ResetUrloeschenAndLoadAbandonTheHaltedScanAndTheClockRunsOn) {
    const std::function<void(Session&)> abandons[] = {
        [](Session& s) { s.reset(); },
        [](Session& s) { s.clearMemory(); },
        [](Session& s) { ASSERT_EQ(s.loadText(Program), std::nullopt); },
    };
    for (const auto& abandon : abandons) {
        Session s;
        ASSERT_EQ(s.loadText(Program), std::nullopt);
        ASSERT_EQ(s.setBreakpoint(9), std::nullopt);
        EXPECT_EQ(s.tick(), std::nullopt);
        ASSERT_TRUE(s.isHalted());
        s.advance(600);
        EXPECT_EQ(s.now(), 600u) << "the clock runs on";
        EXPECT_EQ(s.cpu().getmsTime(), 0u) << "the scan reads the time it started at";
        abandon(s);
        EXPECT_FALSE(s.isHalted());
        EXPECT_EQ(s.cpu().getmsTime(), 600u);
        EXPECT_EQ(s.tick(), std::nullopt);
        EXPECT_EQ(s.haltedLine(), 9) << "the breakpoint stays";
        EXPECT_EQ(s.cpu().scanCount(), 2u);
    }
}

} // namespace
} // namespace kvx
