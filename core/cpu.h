// The simulated controller: memory areas, timers, counters, logic stack and the scan cycle.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/observer.h"
#include "core/program.h"
#include "core/timer.h"

namespace kvx {

class Clock;
class Writer;
class DecodedProgram;

// One byte-addressed memory area. Words and double words are stored most significant byte
// first. Every failure throws CPUException: "Out of field read", "Out of field write" or
// "Field is writeprotected"; a word or double word that runs past the end keeps the leading
// bytes it already stored.
class MemField final {
public:
    MemField(int Length, bool IsWriteProtected);

    // The bit and byte accesses are inline: every contact and coil of a scan goes through
    // them, and the failures leave through out-of-line helpers so the fast path stays small.
    int readBit(int Addr, int bit) const { return (readByte(Addr) >> (bit & 7)) & 1; }
    std::uint8_t readByte(int Addr) const {
        if (!inField(Addr)) [[unlikely]] {
            failRead();
        }
        return data[static_cast<std::size_t>(Addr)];
    }
    std::uint16_t readWord(int Addr) const;
    std::uint32_t readLong(int Addr) const;
    // A bit write reads its byte first, so outside the field it fails as a read.
    void writeBit(int Addr, int bit, int val) {
        const unsigned mask = 1u << (bit & 7);
        std::uint8_t& byte = writable(Addr, &MemField::failRead);
        byte = static_cast<std::uint8_t>(val != 0 ? byte | mask : byte & ~mask);
    }
    void writeByte(int Addr, std::uint8_t val) { writable(Addr, &MemField::failWrite) = val; }
    void writeWord(int Addr, std::uint16_t val);
    void writeLong(int Addr, std::uint32_t val);
    // Every byte to 0, write protection or not: the controller's memory reset, not a write.
    void clear() noexcept { std::fill(data.begin(), data.end(), std::uint8_t{0}); }

    // The `width` bytes from Addr, for a scan that resolved its operands at install time; null
    // where any access to them would fail (outside the field, or protected).
    std::uint8_t* direct(int Addr, int width) noexcept {
        if (wp != 0 || Addr < 0 || Addr > len - width) {
            return nullptr;
        }
        return data.data() + Addr;
    }

private:
    bool inField(int Addr) const noexcept {
        return static_cast<unsigned>(Addr) < static_cast<unsigned>(len);
    }
    // The byte a write may change; a protected field refuses before the address is looked at.
    std::uint8_t& writable(int Addr, void (*outside)()) {
        if (wp != 0) [[unlikely]] {
            failProtected();
        }
        if (!inField(Addr)) [[unlikely]] {
            outside();
        }
        return data[static_cast<std::size_t>(Addr)];
    }
    [[noreturn, gnu::cold]] static void failRead();
    [[noreturn, gnu::cold]] static void failWrite();
    [[noreturn, gnu::cold]] static void failProtected();

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
    // The first `bits` bits of input byte Addr, as GetIBit gives them, and output byte Addr's
    // first `bits` bits to SetOBit: every scan moves the bits so, and a panel that holds its
    // bits together may answer without a call per bit.
    virtual std::uint8_t GetIByte(int Addr, int bits);
    virtual void SetOByte(int Addr, std::uint8_t value, int bits);
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

    // What operands point to: one CPU's memory areas, timers and counters. They are made with
    // the CPU and never move, so a copy of this table is all that building a program for the
    // CPU needs. Building takes their addresses and reads nothing of them, so it may run on
    // another thread while the CPU scans; what it builds must not outlive the CPU.
    class OperandTargets final {
    public:
        // One operand text to a new operand; throws the address syntax errors.
        std::unique_ptr<Parameter> parameter(std::string_view text) const;
        // One instruction line to a new instruction: operand texts first, then the mnemonic.
        // Throws the operand's error or "Unknown Operation".
        std::unique_ptr<Operation> command(std::string_view Opcode,
                                           std::optional<std::string_view> p1,
                                           std::optional<std::string_view> p2) const;
        // Whether what is built here belongs to `cpu`.
        bool belongTo(const CPU& cpu) const noexcept { return owner == &cpu; }

    private:
        friend class CPU;
        OperandTargets() = default;

        const CPU* owner = nullptr;
        // Indexed by Parameter::ParamClass; null for the classes that are no area.
        std::array<MemField*, Parameter::AType + 1> areas{};
        std::array<Timer*, TimerCount> timers{};
        std::array<Counter*, CounterCount> counters{};
    };

    // The clock must outlive the CPU.
    explicit CPU(const Clock& clock);
    ~CPU();
    CPU(const CPU&) = delete;
    CPU& operator=(const CPU&) = delete;

    // A program taken out of the CPU. A large one takes a while to free, which its owner may
    // do where it costs no scan.
    struct RetiredProgram final {
        RetiredProgram() noexcept;
        RetiredProgram(RetiredProgram&&) noexcept;
        RetiredProgram& operator=(RetiredProgram&&) noexcept;
        ~RetiredProgram();
        // Declared first, freed last: the decoded form points into the tree.
        std::unique_ptr<Block> tree;
        std::unique_ptr<DecodedProgram> form;
    };

    // Not owned; null means a controller without inputs and outputs.
    void setIO(IO* panel) noexcept { io = panel; }
    // Replaces the installed program and returns the old one; resets nothing. Also builds the
    // program's decoded form, which the plain runStep() executes; should that fail (out of
    // memory), the old program stays installed.
    RetiredProgram setProgram(std::unique_ptr<Block> program);
    const Block* getProgram() const noexcept { return prog.get(); }
    // The installed program's decoded form (core/decoded.h); null without a program.
    const DecodedProgram* decodedForm() const noexcept { return decoded.get(); }

    // Clears every instruction's memory, the logic stack and the step of the last LSCR, and
    // sets SM0.0 and SM0.1; memory, timers and counters keep their contents.
    void reset();
    // The memory reset: every memory area, timer and counter as a new CPU has them; the
    // program and the instructions' own memories stay (reset() clears those).
    void clearMemory() noexcept;

    // Logic stack. Entries below the bottom slot read as 0 and are never written, so a
    // program that pops more than it pushed cannot reach outside the stack.
    int CurrentStack() const noexcept { return stackAt(sp); }
    int LastCurrentStack() const noexcept { return stackAt(sp - 1); }
    // The entry `below` places under the top (0: the top), for views of the stack.
    int StackEntry(int below) const noexcept { return stackAt(sp - below); }
    // The entries pushed above the bottom slot, which each network starts from; 0 at the
    // bottom slot and below it.
    int StackDepth() const noexcept { return sp < 0 ? 0 : sp; }
    // Throws "StackOverflow" (and changes nothing) when the stack is full.
    void push(int value) {
        if (sp > StackLimit) [[unlikely]] {
            failStackOverflow();
        }
        ++sp;
        // Below the bottom slot a pushed value has nowhere to go; it reads back as 0.
        if (sp >= 0) [[likely]] {
            stack[static_cast<std::size_t>(sp)] = value;
        }
    }
    // pop() then push(value) in one step. It cannot overflow: push() never lets sp rise above
    // StackLimit + 1, so after the pop there is always room.
    void replaceTop(int value) noexcept {
        if (static_cast<unsigned>(sp) < static_cast<unsigned>(StackSize)) [[likely]] {
            stack[static_cast<std::size_t>(sp)] = value;
        }
    }
    int pop() noexcept {
        const int value = stackAt(sp);
        --sp;
        return value;
    }

    // One scan cycle. A CPUException leaves the scan where it arose: the outputs then keep
    // the values of the previous scan. A fault raised by an instruction is rethrown located at
    // it (CPUException::getLine, getInstruction). `trace`, if given, receives each executed
    // step as text; `observer`, if given, each node of the scan. Both run the decoded form and
    // leave the same state, so a session may attach and detach them from scan to scan.
    void runStep(Writer* trace = nullptr);
    void runStep(ScanObserver* observer);

    // A scan that may halt before an instruction, for a debugger. beginScan() begins a scan as
    // runStep() does (a scan halted before is forgotten) and runs it until `halt` stops it
    // before an instruction (true) or it ends (false); resumeScan() runs a halted scan on from
    // the instruction it halted before, which runs first, as far as that; without a halted
    // scan it does nothing and returns false. While halted the CPU keeps the scan's place, its
    // 1 ms phase and its logic stack; the outputs reach the panel only when the scan ends. A
    // fault ends the scan exactly as in runStep(). reset() and setProgram() forget a halted
    // scan, as does abandonScan().
    bool beginScan(HaltCheck& halt, ScanObserver* observer = nullptr);
    bool resumeScan(HaltCheck& halt, ScanObserver* observer = nullptr);
    bool isHalted() const noexcept { return halted.has_value(); }
    // The instruction node a halted scan goes on with; null when none is halted.
    const OpList* haltedBefore() const noexcept;
    void abandonScan() noexcept { halted.reset(); }

    // The logic stack after the last instruction: how many entries it holds above the bottom
    // slot (a network starts with none, or with its open segment's state), and the entry
    // `fromTop` places below the top (0 is the top, the result of logic operation).
    int stackDepth() const noexcept { return sp < 0 ? 0 : sp; }
    int stackFromTop(int fromTop) const noexcept { return stackAt(sp - fromTop); }

    // Not owned; null (the default) forces nothing. Applied in every scan while set.
    void setForceHook(ForceHook* hook) noexcept { forces = hook; }

    // Listing of the installed program; nothing when none is installed.
    void print(Writer& w) const;

    const OperandTargets& operandTargets() noexcept { return targets; }
    // OperandTargets::command and ::parameter for this CPU.
    std::unique_ptr<Operation> parserCommand(std::string_view Opcode,
                                             std::optional<std::string_view> p1,
                                             std::optional<std::string_view> p2) {
        return targets.command(Opcode, p1, p2);
    }
    std::unique_ptr<Parameter> parserParameter(std::string_view text) {
        return targets.parameter(text);
    }

    std::uint32_t getmsTime() const noexcept;

    // Totals since construction, for statistics: scans begun, and instructions whose
    // execute() ran (those skipped in an inactive segment do not count; one that threw does).
    std::uint64_t scanCount() const noexcept { return scans; }
    std::uint64_t executedCount() const noexcept { return executed; }

    // The memory areas, each with the letters that name it in an operand ("SM" for SMType).
    struct AreaName {
        std::string_view letters;
        Parameter::ParamClass cls;
    };
    static std::span<const AreaName> areaNames() noexcept;

    // The memory area of a memory operand class (EType, AType, VType, MType, SMType, SType).
    MemField& area(Parameter::ParamClass cls);
    const MemField& area(Parameter::ParamClass cls) const;
    // Precondition: 0 <= no < TimerCount (resp. CounterCount).
    Timer& timer(int no) { return *t.at(static_cast<std::size_t>(no)); }
    const Timer& timer(int no) const { return *t.at(static_cast<std::size_t>(no)); }
    Counter& counter(int no) { return *z.at(static_cast<std::size_t>(no)); }
    const Counter& counter(int no) const { return *z.at(static_cast<std::size_t>(no)); }

    // Sequence-control state: -1 outside a segment, 1 active, 0 inactive.
    int scrval = -1;
    // Step bit of the last LSCR that ran; owned by that instruction, forgotten with its
    // program.
    Parameter* scrparam = nullptr;

private:
    int stackAt(int index) const noexcept {
        if (static_cast<unsigned>(index) >= static_cast<unsigned>(StackSize)) [[unlikely]] {
            return 0;
        }
        return stack[static_cast<std::size_t>(index)];
    }
    [[noreturn, gnu::cold]] static void failStackOverflow();
    void updateTimer1ms() noexcept;
    void updateTimer10ms() noexcept;
    void transferInputs(IO& panel);
    void transferOutputs(IO& panel);
    // The parts of a scan around its instructions; startScan() returns the 1 ms phase.
    std::uint32_t startScan();
    void endScan();
    bool runOn(HaltedScan at, bool resuming, HaltCheck& halt, ScanObserver* observer);

    friend class TraceObserver;
    void traceStep(const Operation& op, Writer& w) const;
    friend class DecodedProgram;

    const Clock& clock;
    std::unique_ptr<Block> prog;
    // The installed program's decoded form; null without a program.
    std::unique_ptr<DecodedProgram> decoded;
    std::unique_ptr<MemField> m, sm, v, s;
    std::array<std::unique_ptr<Timer>, TimerCount> t;
    std::array<std::unique_ptr<Counter>, CounterCount> z;
    IO* io = nullptr;
    ForceHook* forces = nullptr;
    int sp = 0;
    std::array<int, StackSize> stack{};
    std::uint64_t scans = 0;
    std::uint64_t executed = 0;
    std::optional<HaltedScan> halted;
    std::unique_ptr<MemField> a, e;
    OperandTargets targets;
};

} // namespace kvx
