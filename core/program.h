// The loaded program as a tree of chains: Block -> Network -> OpList -> Operation, and the two
// abstract bases every instruction and every operand derives from.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kvx {

class CPU;
class Writer;
struct InstructionRow;

// An operand: a bit, byte, word or double word of a memory area, a constant, a timer or a
// counter. Instructions reach memory only through these eight accesses; an access whose
// SupOps flag is clear throws CPUException.
class Parameter {
public:
    enum ParamClass : std::int32_t {
        NumType = 0,
        VType = 1,
        SType = 2,
        SMType = 3,
        MType = 4,
        EType = 5,
        AType = 6,
        TType = 7,
        ZType = 8,
    };
    struct SupOps {
        std::uint8_t RBit : 1 = 0;
        std::uint8_t RByte : 1 = 0;
        std::uint8_t RWord : 1 = 0;
        std::uint8_t RLong : 1 = 0;
        std::uint8_t WBit : 1 = 0;
        std::uint8_t WByte : 1 = 0;
        std::uint8_t WWord : 1 = 0;
        std::uint8_t WLong : 1 = 0;
    };

    virtual ~Parameter() = default;
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    SupOps getOperations() const noexcept { return ops; }
    ParamClass getClass() const noexcept { return static_cast<ParamClass>(clas); }

    // Source form with one leading blank, e.g. " E0.3", " 16#FF".
    virtual void print(Writer& w) const = 0;
    // print() followed by " [bit:byte:word:long]", each value only where the operand has that
    // width, and "?" where the read raised: looking at an operand never raises its faults.
    virtual void debugout(Writer& w) const;

    enum class Read : std::uint8_t { Bit, Byte, Word, Long };
    // The value in width `what` for a view that looks on (trace, program status), or nothing
    // when the read raised (an address outside its area, a width the operand lacks). Looking
    // must never change the scan, so nothing is thrown.
    std::optional<std::uint32_t> peek(Read what) const noexcept;

    // An operand class overrides exactly the accesses its SupOps flags name. The defaults are
    // the refusal of all others: "get<width> not supported" for a read, "setbit not supported"
    // for a write of any width.
    virtual int readBit() const;
    virtual std::uint8_t readByte() const;
    virtual std::uint16_t readWord() const;
    virtual std::uint32_t readLong() const;
    virtual void writeBit(int val);
    virtual void writeByte(std::uint8_t val);
    virtual void writeWord(std::uint16_t val);
    virtual void writeLong(std::uint32_t val);

protected:
    Parameter() noexcept = default;
    // One byte each: a memory operand's own fields then fit in the rest of its first 16
    // bytes, which matters with a million of them.
    std::uint8_t clas = NumType;
    SupOps ops{};
};

// One instruction with up to two operands, which it owns.
class Operation {
public:
    Operation(std::unique_ptr<Parameter> first, std::unique_ptr<Parameter> second) noexcept
        : p1(std::move(first)), p2(std::move(second)) {}
    virtual ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Mnemonic and operands, no line end.
    virtual void print(Writer& w) const;
    // Mnemonic, operands with their current values, line feed.
    virtual void debugout(Writer& w) const;
    virtual void execute(CPU& c) = 0;
    // Nonzero for the one instruction that runs even inside an inactive segment.
    virtual int IsSingleType() const noexcept = 0;
    virtual const char* getName() const noexcept = 0;
    // Declared stack effect; nothing in the simulator enforces it.
    virtual int getPopCount() const noexcept = 0;
    virtual int getKeepCount() const noexcept = 0;
    virtual int getPushCount() const noexcept = 0;
    // Forgets what the instruction remembers between scans (edge memories).
    virtual void reset() noexcept {}
    // Load-time validation of the operands; throws CPUException with the first failed rule.
    virtual void check() const = 0;
    // The instruction table's row (instructions/instruction_table.h); null for a class that has
    // none, which the scan then treats as able to do anything.
    virtual const InstructionRow* row() const noexcept { return nullptr; }

    Parameter* getP1() const noexcept { return p1.get(); }
    Parameter* getP2() const noexcept { return p2.get(); }

protected:
    std::unique_ptr<Parameter> p1;
    std::unique_ptr<Parameter> p2;
};

// A text that may be absent, like std::optional<std::string>, in the eight bytes of a pointer:
// a network's title and comment are usually absent, and a large program has tens of thousands
// of networks.
class OptionalText final {
public:
    OptionalText() noexcept = default;
    OptionalText(std::nullopt_t) noexcept {}
    OptionalText(std::string text) : value(std::make_unique<std::string>(std::move(text))) {}
    OptionalText(const char* text) : OptionalText(std::string(text)) {}
    OptionalText(std::optional<std::string> text)
        : value(text ? std::make_unique<std::string>(std::move(*text)) : nullptr) {}
    OptionalText(const OptionalText& other)
        : value(other ? std::make_unique<std::string>(*other) : nullptr) {}
    OptionalText(OptionalText&&) noexcept = default;
    OptionalText& operator=(OptionalText other) noexcept {
        value = std::move(other.value);
        return *this;
    }
    ~OptionalText() = default;

    bool has_value() const noexcept { return value != nullptr; }
    explicit operator bool() const noexcept { return has_value(); }
    // Only where has_value().
    const std::string& operator*() const noexcept { return *value; }
    const std::string* operator->() const noexcept { return value.get(); }
    const std::string* get() const noexcept { return value.get(); }

    friend bool operator==(const OptionalText& a, std::nullopt_t) noexcept { return !a; }
    friend bool operator==(const OptionalText& a, std::string_view b) noexcept {
        return a && *a == b;
    }

private:
    std::unique_ptr<std::string> value;
};

// The chains below release their successors iteratively, so a chain of any length is freed
// without deep recursion.

struct OpList final {
    OpList() = default;
    OpList(const OpList&) = delete;
    OpList& operator=(const OpList&) = delete;
    ~OpList();
    // This node and all that follow, one line each; a node without Op is an empty line.
    void print(Writer& w) const;

    std::unique_ptr<Operation> Op;
    std::unique_ptr<OpList> Next;
    // The line of the program file the instruction stands on; 0 for a node made in code.
    std::int32_t Line = 0;
};

struct Network final {
    Network() = default;
    Network(const Network&) = delete;
    Network& operator=(const Network&) = delete;
    ~Network();
    // This network and all that follow it in the block.
    void print(Writer& w) const;

    std::unique_ptr<OpList> Ops;
    OptionalText Title;
    OptionalText Kommentar;
    std::int32_t ID = 0;
    std::unique_ptr<Network> Next;
};

struct Block final {
    enum : std::int32_t { Organization = 1, Interrupt = 2, Subroutine = 3 };

    Block() = default;
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    ~Block();
    // This block and all that follow it in the program.
    void print(Writer& w) const;

    std::int32_t Type = 0;
    std::unique_ptr<Network> Networks;
    std::optional<std::string> Title;
    std::optional<std::string> Kommentar;
    std::optional<std::string> Name;
    std::optional<std::string> AddInfo;
    std::unique_ptr<Block> Next;
};

// A comment in listing form: every line prefixed with "//", then a line feed; nothing when
// there is no comment.
void PrintKomm(Writer& w, const std::optional<std::string>& text);
void PrintKomm(Writer& w, const OptionalText& text);

} // namespace kvx
