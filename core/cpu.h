// The simulated controller: memory areas, timers, counters, logic stack and the scan cycle.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "core/program.h"
#include "core/timer.h"

class Clock;
class Writer;

// One byte-addressed memory area. Words and double words are stored most significant byte
// first. Every failure throws CPUException: "Out of field read", "Out of field write" or
// "Field is writeprotected"; a word or double word that runs past the end keeps the leading
// bytes it already stored.
class MemField final {
public:
    MemField(int Length, bool IsWriteProtected);

    int readBit(int Addr, int bit) const;
    std::uint8_t readByte(int Addr) const;
    std::uint16_t readWord(int Addr) const;
    std::uint32_t readLong(int Addr) const;
    void writeBit(int Addr, int bit, int val);
    void writeByte(int Addr, std::uint8_t val);
    void writeWord(int Addr, std::uint16_t val);
    void writeLong(int Addr, std::uint32_t val);

private:
    void checkWritable() const;

    int len;
    std::vector<std::uint8_t> data;
    int wp;
};

// The CPU's outside world. Input and output bits are numbered from 0; bit i is bit i % 8 of
// byte i / 8. The base class is a controller without inputs and outputs.
class IO {
public:
    virtual ~IO() = default;
    virtual int GetIBit(int /*Addr*/, int /*Bit*/) { return 0; }
    virtual int GetIBitCnt() { return 0; }
    virtual void SetOBit(int /*Addr*/, int /*Bit*/, int /*val*/) {}
    virtual int GetOBitCnt() { return 0; }
};

// The digit value of one character in bases up to 35 (0-9, then a-z or A-Z as 10..35), or -1.
int decodebase(char c) noexcept;

class CPU final {
public:
    static constexpr int AreaSize = 100;
    static constexpr int TimerCount = 128;
    static constexpr int CounterCount = 256;
    static constexpr int StackSize = 200;
    // push() refuses once sp is above this: 151 entries fit above the bottom slot.
    static constexpr int StackLimit = 150;

    // The clock must outlive the CPU.
    explicit CPU(const Clock& clock);
    ~CPU();
    CPU(const CPU&) = delete;
    CPU& operator=(const CPU&) = delete;

    // Not owned; null means a controller without inputs and outputs.
    void setIO(IO* panel) noexcept { io = panel; }
    // Replaces (and frees) the installed program; resets nothing.
    void setProgram(std::unique_ptr<Block> program) noexcept;
    const Block* getProgram() const noexcept { return prog.get(); }

    // Clears every instruction's memory and sets SM0.0 and SM0.1; memory, timers and
    // counters keep their contents.
    void reset();

    // Logic stack. Entries below the bottom slot read as 0 and are never written, so a
    // program that pops more than it pushed cannot reach outside the stack.
    int CurrentStack() const noexcept { return stackAt(sp); }
    int LastCurrentStack() const noexcept { return stackAt(sp - 1); }
    // Throws "StackOverflow" (and changes nothing) when the stack is full.
    void push(int value);
    int pop() noexcept;

    // One scan cycle. A CPUException leaves the scan where it arose: the outputs then keep
    // the values of the previous scan. `trace`, if given, receives each executed step.
    void runStep(Writer* trace = nullptr);

    // Listing of the installed program; nothing when none is installed.
    void print(Writer& w) const;

    // One instruction line to a new instruction: operand texts first, then the mnemonic.
    // Throws the operand's error or "Unknown Operation".
    std::unique_ptr<Operation> parserCommand(std::string_view Opcode,
                                             std::optional<std::string_view> p1,
                                             std::optional<std::string_view> p2);
    // One operand text to a new operand bound to this CPU; throws the address syntax errors.
    std::unique_ptr<Parameter> parserParameter(std::string_view text);

    std::uint32_t getmsTime() const noexcept;

    // The memory area of a memory operand class (EType, AType, VType, MType, SMType, SType).
    MemField& area(Parameter::ParamClass cls);
    const MemField& area(Parameter::ParamClass cls) const;
    // Precondition: 0 <= no < TimerCount (resp. CounterCount).
    Timer& timer(int no) { return *t.at(static_cast<std::size_t>(no)); }
    Counter& counter(int no) { return *z.at(static_cast<std::size_t>(no)); }

    // Sequence-control state: -1 outside a segment, 1 active, 0 inactive.
    int scrval = -1;
    // Step bit of the last LSCR that ran; owned by that instruction, forgotten with its
    // program.
    Parameter* scrparam = nullptr;

private:
    int stackAt(int index) const noexcept;
    void updateTimer1ms() noexcept;
    void updateTimer10ms() noexcept;
    void transferInputs(IO& panel);
    void transferOutputs(IO& panel);
    void runBlock(const Block& block, std::uint32_t& incno, Writer* trace);
    void traceStep(const Operation& op, Writer& w) const;

    const Clock& clock;
    std::unique_ptr<Block> prog;
    std::unique_ptr<MemField> m, sm, v, s;
    std::array<std::unique_ptr<Timer>, TimerCount> t;
    std::array<std::unique_ptr<Counter>, CounterCount> z;
    IO* io = nullptr;
    int sp = 0;
    std::array<int, StackSize> stack{};
    std::unique_ptr<MemField> a, e;
};
