// Faults raised during a scan end that scan only. The program stays installed, the outputs
// keep the previous scan's values, and the next scan starts clean: the same fault again while
// its cause lasts, and behaviour indistinguishable from a program that never faulted once the
// cause is gone.

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/program.h"
#include "robustness_support.h"

namespace kvx {

namespace {

// Switch 0 arms the fault in network 2; switches 1 and 2 drive LEDs 1 and 2 before and
// after it. Network 4 reads the top of an empty stack, which must be the bottom slot, 0.
std::string programAround(const std::string& faultNetwork) {
    return "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\n"
           "NETWORK 1 // before the fault\nLD E0.1\n= A0.1\n"
           "NETWORK 2 // armed by switch 0\n" +
           faultNetwork +
           "NETWORK 3 // after the fault\nLD E0.2\n= A0.2\n"
           "NETWORK 4 // empty stack\n= A0.3\n"
           "END_ORGANIZATION_BLOCK\n";
}

std::string repeated(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += line;
    }
    return text;
}

struct FaultCase {
    const char* error;
    std::string program;
};

std::vector<FaultCase> loadableFaults() {
    return {
        {"Out of field read", programAround("LD E0.0\nU V100.0\n= M1.0\n")},
        // A word across the end of the area stores its high byte first.
        {"Out of field write", programAround("LD E0.0\nMOVW 16#1234 VW99\n")},
        // Inside an open sequence segment, so the aborted scan also leaves the segment state
        // behind.
        {"StackOverflow", programAround("LD E0.0\n= S0.0\nNETWORK 21\nLSCR S0.0\nNETWORK 22\n" +
                                        repeated("LD M0.0\n", 160) + "NETWORK 23\nSCRE\n")},
    };
}

void setSwitches(Session& sim, int fault, int one, int two) {
    sim.panel().InState = {fault, one, two, 0, 0, 0, 0, 0};
}

// Everything a scan can leave behind that the next scan or the user can see.
std::string observable(const Session& sim) {
    std::ostringstream out;
    for (int led : sim.panel().OutState) {
        out << led;
    }
    for (auto area : {Parameter::AType, Parameter::MType, Parameter::SType, Parameter::SMType}) {
        out << '|';
        for (int addr = 0; addr < 4; ++addr) {
            out << static_cast<int>(sim.cpu().area(area).readByte(addr)) << ',';
        }
    }
    return out.str();
}

void expectRecovery(Session& sim, const std::string& expectedError, const std::string& label) {
    SCOPED_TRACE(label);
    sim.cpu().reset();
    setSwitches(sim, 0, 1, 0);
    ASSERT_EQ(textOf(sim.scan()), std::nullopt);
    const auto healthy = sim.panel().OutState;
    EXPECT_EQ(healthy[1], 1);

    // The fault ends the scan before the outputs and the system bits are written: LED 1 keeps
    // its value although switch 1 went off and network 1 already ran.
    sim.cpu().reset();
    setSwitches(sim, 1, 0, 1);
    EXPECT_EQ(textOf(sim.scan()), expectedError);
    EXPECT_EQ(sim.panel().OutState, healthy);
    EXPECT_EQ(sim.cpu().area(Parameter::AType).readBit(0, 1), 0);
    EXPECT_EQ(sim.cpu().area(Parameter::SMType).readBit(0, 1), 1) << "first-scan bit cleared";

    // The next scan runs the whole program again and meets the same fault, nothing else.
    sim.advance(10);
    EXPECT_EQ(textOf(sim.scan()), expectedError);

    // With the cause gone the program runs exactly as a program that never faulted.
    setSwitches(sim, 0, 0, 1);
    sim.advance(10);
    EXPECT_EQ(textOf(sim.scan()), std::nullopt);
    EXPECT_EQ(sim.panel().OutState[1], 0);
    EXPECT_EQ(sim.panel().OutState[2], 1);
    EXPECT_EQ(sim.panel().OutState[3], 0) << "stack bottom slot disturbed";
    EXPECT_EQ(sim.cpu().area(Parameter::SMType).readBit(0, 1), 0);

    // A traced scan walks the stack slots around the top and reads every operand, also the
    // faulty one of an instruction that did not act; that read may fail, nothing worse.
    StringWriter trace;
    try {
        sim.cpu().runStep(&trace);
    } catch (const CPUException& error) {
        EXPECT_EQ(std::string(error.getText()).find("Out of field"), 0u) << error.getText();
    }
    EXPECT_NE(trace.str().find("Stack: "), std::string::npos);
    EXPECT_EQ(textOf(sim.scan()), std::nullopt);
}

TEST(RuntimeFaults, ScanAfterFaultStartsClean) {
    for (const FaultCase& c : loadableFaults()) {
        Session sim;
        standStill(sim);
        ASSERT_EQ(textOf(sim.loadText(c.program)), std::nullopt) << c.error;
        expectRecovery(sim, c.error, c.error);

        // Compare with a CPU that ran the same program and inputs without ever faulting.
        Session reference;
        standStill(reference);
        ASSERT_EQ(reference.loadText(c.program), std::nullopt);
        setSwitches(reference, 0, 0, 1);
        ASSERT_EQ(reference.scan(), std::nullopt);
        ASSERT_EQ(reference.scan(), std::nullopt);
        EXPECT_EQ(observable(sim), observable(reference)) << c.error;
    }
}

TEST(RuntimeFaults, PartialWordWriteKeepsItsLeadingByte) {
    Session sim;
    standStill(sim);
    ASSERT_EQ(textOf(sim.loadText(loadableFaults()[1].program)), std::nullopt);
    setSwitches(sim, 1, 0, 0);
    EXPECT_EQ(textOf(sim.scan()), "Out of field write");
    EXPECT_EQ(sim.cpu().area(Parameter::VType).readByte(99), 0x12);
}

// The loader's checks refuse "= T37", so only a program assembled in code can ask a timer to
// be set. The scan must survive that as well.
TEST(RuntimeFaults, TimerSetByProgramBuiltInCode) {
    Session sim;
    standStill(sim);
    auto block = std::make_unique<Block>();
    block->Type = Block::Organization;
    auto net = [&](std::int32_t id, std::vector<std::array<const char*, 2>> lines) {
        auto network = std::make_unique<Network>();
        network->ID = id;
        std::unique_ptr<OpList>* tail = &network->Ops;
        for (const auto& [mnemonic, operand] : lines) {
            *tail = std::make_unique<OpList>();
            (*tail)->Op = sim.cpu().parserCommand(
                mnemonic, operand ? std::optional<std::string_view>(operand) : std::nullopt,
                std::nullopt);
            tail = &(*tail)->Next;
        }
        return network;
    };
    block->Networks = net(1, {{"LD", "E0.1"}, {"=", "A0.1"}});
    block->Networks->Next = net(2, {{"LD", "E0.0"}, {"=", "T37"}});
    block->Networks->Next->Next = net(3, {{"LD", "E0.2"}, {"=", "A0.2"}});
    block->Networks->Next->Next->Next = net(4, {{"=", "A0.3"}});
    sim.cpu().setProgram(std::move(block));
    expectRecovery(sim, "Timer can only be reseted", "timer set");
    // Writing 0 is the one timer write there is: it resets, and the scans above did that.
    EXPECT_EQ(sim.cpu().timer(37).getValue(), 0);
}

} // namespace

} // namespace kvx
