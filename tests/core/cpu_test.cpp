#include <gtest/gtest.h>

#include "core/clock.h"
#include "core/cpu.h"
#include "operands/parameter.h"
#include "session/myio.h"
#include "test_support.h"

namespace kvx {

namespace {

class CPUTest : public ::testing::Test {
protected:
    CPUTest() { cpu.setIO(&panel); }
    int bit(Parameter::ParamClass area, int addr, int b) { return cpu.area(area).readBit(addr, b); }
    std::unique_ptr<Operation> pushing(int value) {
        return opDoing([value](CPU& c) { c.push(value); });
    }
    std::unique_ptr<Operation> copyTopTo(int outBit) {
        return opDoing(
            [outBit](CPU& c) { c.area(Parameter::AType).writeBit(0, outBit, c.CurrentStack()); });
    }

    SimClock clock;
    CPU cpu{clock};
    MyIO panel;
};

TEST_F(CPUTest, FirstScanAndAlwaysOnBitsAroundReset) {
    std::vector<int> seen;
    cpu.setProgram(makeBlock(
        ops(opDoing([&](CPU& c) { seen.push_back(c.area(Parameter::SMType).readBit(0, 1)); }))));
    EXPECT_EQ(bit(Parameter::SMType, 0, 0), 0);
    cpu.reset();
    EXPECT_EQ(bit(Parameter::SMType, 0, 0), 1);
    cpu.runStep();
    cpu.runStep();
    EXPECT_EQ(seen, (std::vector<int>{1, 0}));
    EXPECT_EQ(bit(Parameter::SMType, 0, 0), 1);
    EXPECT_EQ(bit(Parameter::SMType, 0, 1), 0);
}

TEST_F(CPUTest, ResetClearsInstructionMemoryInEveryBlockButNoData) {
    auto organization = std::make_unique<LambdaOp>([](CPU&) {});
    auto subroutine = std::make_unique<LambdaOp>([](CPU&) { FAIL() << "subroutines never run"; });
    LambdaOp* org = organization.get();
    LambdaOp* sub = subroutine.get();
    auto program = makeBlock(ops(std::move(organization)));
    program->Next = makeTypedBlock(Block::Subroutine, ops(std::move(subroutine)));
    program->Next->Next = makeTypedBlock(Block::Interrupt, ops(opDoing([](CPU&) { FAIL(); })));
    cpu.setProgram(std::move(program));
    cpu.area(Parameter::MType).writeByte(0, 0x5A);
    cpu.counter(1).setValue(9);
    cpu.reset();
    EXPECT_EQ(org->resets, 1);
    EXPECT_EQ(sub->resets, 1);
    EXPECT_EQ(cpu.area(Parameter::MType).readByte(0), 0x5A);
    EXPECT_EQ(cpu.counter(1).getValue(), 9);
    cpu.runStep();
}

TEST_F(CPUTest, StackHolds151PushesPerNetwork) {
    std::vector<std::unique_ptr<Operation>> net;
    for (int i = 0; i < 151; ++i) {
        net.push_back(pushing(1));
    }
    cpu.setProgram(makeBlock(std::move(net)));
    EXPECT_EQ(errorOf([&] { cpu.runStep(); }), "");
    std::vector<std::unique_ptr<Operation>> tooMany;
    for (int i = 0; i < 152; ++i) {
        tooMany.push_back(pushing(1));
    }
    cpu.setProgram(makeBlock(std::move(tooMany)));
    EXPECT_EQ(errorOf([&] { cpu.runStep(); }), "StackOverflow");
    // The next scan starts afresh with an empty stack and fails at the same place again.
    EXPECT_EQ(errorOf([&] { cpu.runStep(); }), "StackOverflow");
}

TEST_F(CPUTest, BelowTheBottomReadsZeroAndTouchesNothingOutside) {
    std::vector<int> seen;
    auto record = [&](CPU& c) { seen.push_back(c.CurrentStack()); };
    cpu.setProgram(makeBlock(ops(
        // one pop on the empty stack then a push: reads and writes slot 0
        opDoing([](CPU& c) { c.pop(); }), pushing(1), opDoing(record),
        // far below the bottom: pushes vanish, reads are 0
        opDoing([](CPU& c) {
            for (int i = 0; i < 500; ++i) {
                c.pop();
            }
        }),
        pushing(1), opDoing(record),
        opDoing([&](CPU& c) { seen.push_back(c.LastCurrentStack()); }))));
    cpu.runStep();
    EXPECT_EQ(seen, (std::vector<int>{1, 0, 0}));
}

TEST_F(CPUTest, EachNetworkStartsWithAnEmptyStackOnSlotZero) {
    std::vector<int> seen;
    cpu.setProgram(makeBlock(ops(pushing(1), pushing(0)),
                             ops(opDoing([&](CPU& c) { seen.push_back(c.CurrentStack()); }))));
    cpu.runStep();
    // Slot 0 was never written: the second network reads it as the empty stack's bottom.
    EXPECT_EQ(seen, (std::vector<int>{0}));
}

TEST_F(CPUTest, InputsInOutputsOutEveryScan) {
    cpu.setProgram(makeBlock(ops(opDoing([](CPU& c) {
        MemField& e = c.area(Parameter::EType);
        c.area(Parameter::AType).writeByte(0, static_cast<std::uint8_t>(~e.readByte(0)));
    }))));
    panel.ChangeInput(0);
    panel.ChangeInput(7);
    cpu.runStep();
    EXPECT_EQ(cpu.area(Parameter::EType).readByte(0), 0x81);
    EXPECT_EQ(panel.OutState, (std::array<int, 8>{0, 1, 1, 1, 1, 1, 1, 0}));
}

TEST_F(CPUTest, ErrorInMidScanLeavesThePreviousOutputs) {
    bool fail = false;
    cpu.setProgram(makeBlock(ops(copyTopTo(0), opDoing([&](CPU& c) {
                                     c.area(Parameter::AType).writeByte(0, 0xFF);
                                     if (fail) {
                                         c.area(Parameter::AType).readByte(100);
                                     }
                                 }))));
    cpu.reset();
    cpu.runStep();
    EXPECT_EQ(panel.OutState[3], 1);
    cpu.area(Parameter::AType).writeByte(0, 0);
    cpu.reset();
    fail = true;
    EXPECT_EQ(errorOf([&] { cpu.runStep(); }), "Out of field read");
    EXPECT_EQ(panel.OutState[3], 1);
    // SM0.1 is still set: the scan never reached its end.
    EXPECT_EQ(bit(Parameter::SMType, 0, 1), 1);
}

TEST_F(CPUTest, NoProgramStillTransfersAndUpdatesSystemBits) {
    cpu.reset();
    panel.ChangeInput(2);
    cpu.area(Parameter::AType).writeBit(0, 5, 1);
    clock.set(1700);
    cpu.runStep();
    EXPECT_EQ(bit(Parameter::EType, 0, 2), 1);
    EXPECT_EQ(panel.OutState[5], 1);
    EXPECT_EQ(bit(Parameter::SMType, 0, 1), 0);
    EXPECT_EQ(bit(Parameter::SMType, 0, 5), 1);
    clock.set(2499);
    cpu.runStep();
    EXPECT_EQ(bit(Parameter::SMType, 0, 5), 0);
}

// A panel that answers bit by bit, with a byte and a half: the bits beyond it keep what the
// program wrote there.
TEST_F(CPUTest, PanelOfTwelveBitsMovesOnlyItsBits) {
    struct Twelve final : IO {
        int GetIBit(int Addr, int Bit) override { return Addr * 8 + Bit == 9 ? 1 : 0; }
        int GetIBitCnt() override { return 12; }
        void SetOBit(int Addr, int Bit, int val) override { out[Addr * 8 + Bit] = val; }
        int GetOBitCnt() override { return 12; }
        std::array<int, 16> out{};
    } twelve;
    cpu.setIO(&twelve);
    cpu.area(Parameter::EType).writeByte(1, 0xF1);
    cpu.area(Parameter::AType).writeByte(1, 0x21);
    cpu.runStep();
    EXPECT_EQ(cpu.area(Parameter::EType).readByte(1), 0xF2);
    EXPECT_EQ(twelve.out, (std::array<int, 16>{0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(CPUTest, WithoutPanelBehavesAsBareIO) {
    cpu.setIO(nullptr);
    cpu.setProgram(makeBlock(ops(pushing(1))));
    EXPECT_EQ(errorOf([&] { cpu.runStep(); }), "");
}

TEST_F(CPUTest, TenMsTimersAdvanceOncePerScanBeforeTheProgram) {
    Timer& t = cpu.timer(33);
    t.setActive(1);
    std::vector<int> seen;
    cpu.setProgram(
        makeBlock(ops(opDoing([&](CPU& c) { seen.push_back(c.timer(33).getValue()); }))));
    clock.set(25);
    cpu.runStep();
    clock.set(45);
    cpu.runStep();
    EXPECT_EQ(seen, (std::vector<int>{2, 4}));
}

TEST_F(CPUTest, OneMsTimersAdvanceEvery33InstructionNodes) {
    Timer& t = cpu.timer(0);
    t.setActive(1);
    std::vector<int> seen;
    std::vector<std::unique_ptr<Operation>> net;
    for (int i = 0; i < 40; ++i) {
        net.push_back(opDoing([&](CPU& c) { seen.push_back(c.timer(0).getValue()); }));
    }
    cpu.setProgram(makeBlock(std::move(net)));
    // Phase from the clock: 30 % 33 = 30, so the update comes at the third node.
    clock.set(30);
    cpu.runStep();
    ASSERT_EQ(seen.size(), 40u);
    EXPECT_EQ(seen[1], 0);
    EXPECT_EQ(seen[2], 30);
}

TEST_F(CPUTest, NodesWithoutInstructionCountTowardsTheOneMsUpdate) {
    Timer& t = cpu.timer(96);
    clock.set(100);
    t.setActive(1);
    std::vector<int> seen;
    auto program = makeBlock(ops(opDoing([&](CPU& c) { seen.push_back(c.timer(96).getValue()); })));
    auto empty = std::make_unique<OpList>();
    empty->Next = std::move(program->Networks->Ops);
    program->Networks->Ops = std::move(empty);
    cpu.setProgram(std::move(program));
    // 130 % 33 = 31: the empty node brings the count to 32, the instruction's node to 0.
    clock.set(130);
    cpu.runStep();
    EXPECT_EQ(seen, (std::vector<int>{30}));
}

TEST_F(CPUTest, InactiveSegmentRunsOnlySingleTypeInstructions) {
    std::vector<std::string> ran;
    auto note = [&](const char* what, int single = 0) {
        return std::make_unique<LambdaOp>([&ran, what](CPU&) { ran.push_back(what); }, single);
    };
    std::vector<int> firstEntries;
    cpu.setProgram(
        makeBlock(ops(opDoing([](CPU& c) { c.scrval = 1; })),
                  ops(opDoing([&](CPU& c) { firstEntries.push_back(c.CurrentStack()); }),
                      opDoing([](CPU& c) { c.scrval = 0; }), note("skipped")),
                  ops(opDoing([&](CPU& c) { firstEntries.push_back(c.CurrentStack()); }),
                      std::make_unique<LambdaOp>([](CPU& c) { c.scrval = -1; }, 1), note("after")),
                  ops(opDoing([&](CPU& c) { firstEntries.push_back(c.CurrentStack()); }))));
    cpu.runStep();
    EXPECT_EQ(ran, (std::vector<std::string>{"after"}));
    EXPECT_EQ(firstEntries, (std::vector<int>{1, 0}));
    EXPECT_EQ(cpu.scrval, -1);
}

TEST_F(CPUTest, EveryOrganizationBlockStartsOutsideASegment) {
    std::vector<int> seen;
    auto program = makeBlock(ops(opDoing([](CPU& c) { c.scrval = 0; })));
    program->Next = makeBlock(ops(opDoing([&](CPU& c) { seen.push_back(c.scrval); })));
    cpu.setProgram(std::move(program));
    cpu.runStep();
    EXPECT_EQ(seen, (std::vector<int>{-1}));
}

TEST_F(CPUTest, TraceShowsEachStepWithTheTopThreeEntries) {
    auto load = std::make_unique<LambdaOp>("LD", cpu.parserParameter("E0.0"));
    cpu.setProgram(makeBlock(ops(pushing(1), std::move(load), pushing(1))));
    StringWriter trace;
    cpu.runStep(&trace);
    EXPECT_EQ(trace.str(), "TEST\nStack: 001->LD E0.0 [0:::]\nStack: 001->TEST\nStack: 011->");
}

// The totals behind the runner's statistics: empty lines and lines of an inactive segment are
// not executed; an instruction that fails was, and its scan was begun.
TEST_F(CPUTest, CountsScansAndExecutedInstructions) {
    bool fail = false;
    cpu.setProgram(
        makeBlock(ops(opDoing([](CPU&) {}), std::unique_ptr<Operation>(), opDoing([](CPU&) {})),
                  ops(opDoing([](CPU& c) { c.scrval = 0; }), opDoing([](CPU&) { FAIL(); }),
                      std::make_unique<LambdaOp>([](CPU& c) { c.scrval = -1; }, 1)),
                  ops(opDoing([&](CPU&) {
                      if (fail) {
                          throw CPUException("Out of field read");
                      }
                  }))));
    const struct {
        bool failing;
        std::uint64_t scans;
        std::uint64_t executed;
    } steps[] = {{false, 1, 5}, {false, 2, 10}, {true, 3, 15}, {false, 4, 20}};
    for (const auto& step : steps) {
        fail = step.failing;
        EXPECT_EQ(errorOf([&] { cpu.runStep(); }), step.failing ? "Out of field read" : "");
        EXPECT_EQ(cpu.scanCount(), step.scans) << "scan " << step.scans;
        EXPECT_EQ(cpu.executedCount(), step.executed) << "scan " << step.scans;
    }
}

TEST_F(CPUTest, SetProgramForgetsTheStepBitOfTheOldProgram) {
    auto step = cpu.parserParameter("S0.1");
    cpu.scrparam = step.get();
    cpu.setProgram(nullptr);
    EXPECT_EQ(cpu.scrparam, nullptr);
}

TEST(ProgramTreeTest, MillionNodeChainsAreReleasedWithoutDeepRecursion) {
    auto block = std::make_unique<Block>();
    std::unique_ptr<OpList>* tail = nullptr;
    block->Networks = std::make_unique<Network>();
    tail = &block->Networks->Ops;
    for (int i = 0; i < 1'000'000; ++i) {
        *tail = std::make_unique<OpList>();
        tail = &(*tail)->Next;
    }
    std::unique_ptr<Network>* netTail = &block->Networks->Next;
    for (int i = 0; i < 1'000'000; ++i) {
        *netTail = std::make_unique<Network>();
        netTail = &(*netTail)->Next;
    }
    std::unique_ptr<Block>* blockTail = &block->Next;
    for (int i = 0; i < 1'000'000; ++i) {
        *blockTail = std::make_unique<Block>();
        blockTail = &(*blockTail)->Next;
    }
    block.reset();
    SUCCEED();
}

} // namespace

} // namespace kvx
