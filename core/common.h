// The error type every layer raises, and the text sink that listings and traces write to.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace kvx {

// The one error of the simulator: load errors and run-time faults alike. Thrown by value,
// caught by const reference; getText() is the text shown to the user, unchanged. A load error
// that belongs to a line of the program file also carries that line as a number, and the text
// of the offending token as the file holds it where the loader knows it (empty at the end of
// the input), so a front end can point at both without reading the text.
class CPUException final {
public:
    explicit CPUException(std::string text, std::optional<int> line = std::nullopt,
                          std::optional<std::string> token = std::nullopt)
        : msg(std::move(text)), where(line), offending(std::move(token)) {}
    const char* getText() const noexcept { return msg.c_str(); }
    std::optional<int> getLine() const noexcept { return where; }
    // For a run-time fault: the mnemonic of the instruction that raised it, or empty.
    const std::string& getInstruction() const noexcept { return instruction; }

    // The same error, located at the instruction `mnemonic` on `line` (0: line unknown).
    CPUException locatedAt(int line, std::string mnemonic) const {
        CPUException located(msg, line > 0 ? std::optional<int>(line) : std::nullopt);
        located.instruction = std::move(mnemonic);
        return located;
    }
    // The text followed by where it arose, as a user reads it: "StackOverflow (line 12: LPS)".
    // Only the text when nothing is known.
    std::string describe() const;
    // What describe() adds to the text: " (line 12: LPS)", or nothing.
    std::string place() const;
    const std::optional<std::string>& getToken() const noexcept { return offending; }

private:
    std::string msg;
    std::optional<int> where;
    std::string instruction;
    std::optional<std::string> offending;
};

struct OpList;

// Abstract text sink. A concrete writer supplies only write(char); every other overload
// formats on top of it, so every character reaches write(char).
// Derived classes must say `using Writer::write;` to keep the overloads visible.
class Writer {
public:
    virtual ~Writer() = default;
    virtual void write(char c) = 0;
    // The listing is about to write the row of this instruction node; a writer that keeps
    // rows can tie the row to the node. It returns whether the listing writes the instruction:
    // a writer that can print it when it needs it spares the listing the text. Most writers
    // ignore it.
    virtual bool nodeStarts(const OpList& /*node*/) { return true; }

    // A null text writes nothing.
    void write(const char* text);
    void write(std::string_view text);
    // `value` in `base` (2..36), digits 0-9A-Z, most significant first, no sign or prefix;
    // 0 writes "0".
    void write(int base, std::uint32_t value);
    void write(std::uint32_t value);
    void write(int value);
    // Fixed notation with six decimals ("%f").
    void write(float value);
};

// Collects everything written, for listings into memory and for tests.
class StringWriter final : public Writer {
public:
    using Writer::write;
    void write(char c) override { text.push_back(c); }
    const std::string& str() const noexcept { return text; }
    void clear() noexcept { text.clear(); }

private:
    std::string text;
};

// Forwards to a C++ stream (the runner writes listings and traces to stdout with it).
class StreamWriter final : public Writer {
public:
    using Writer::write;
    explicit StreamWriter(std::ostream& out) : os(out) {}
    void write(char c) override { os.put(c); }

private:
    std::ostream& os;
};

} // namespace kvx
