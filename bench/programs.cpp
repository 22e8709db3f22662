#include "bench/programs.h"

#include <concepts>
#include <random>
#include <string_view>

namespace kvx {

namespace {

void append(std::string& out, std::string_view text) {
    out += text;
}
template <std::integral N>
void append(std::string& out, N number) {
    out += std::to_string(number);
}
// Joins texts and numbers into one string.
template <typename... Parts>
std::string cat(const Parts&... parts) {
    std::string out;
    (append(out, parts), ...);
    return out;
}

constexpr std::string_view Areas[] = {"E", "A", "M", "V"};
// Coils never write E: the input copy owns it in a real scan.
constexpr std::string_view CoilAreas[] = {"A", "M", "V"};
// Bytes 0..15 keep the working set small, as in a real program.
constexpr unsigned ByteSpan = 16;

struct Bit {
    std::string_view area;
    unsigned byte;
    unsigned bit;

    std::string il() const { return cat(area, byte, ".", bit); }
    std::string native() const { return cat("m.", area, ", ", byte, ", ", bit); }
};

// Builds networks while tracking the logic stack depth, so each instruction's native statement
// names the stack slot it works on.
class Builder final {
public:
    explicit Builder(std::uint32_t seed) : rng(seed) {}

    unsigned pick(unsigned n) { return static_cast<unsigned>(rng() % n); }

    Bit anyBit() { return {Areas[pick(4)], pick(ByteSpan), pick(8)}; }
    Bit coilBit() { return {CoilAreas[pick(3)], pick(ByteSpan), pick(8)}; }

    void open() {
        program.networks.emplace_back();
        depth = 0;
    }
    void add(std::string il, std::string native = {}) {
        program.networks.back().ops.push_back({std::move(il), std::move(native)});
        ++program.instructions;
    }

    // LD / LDN
    void load(bool negate) {
        const Bit b = anyBit();
        add(cat(negate ? "LDN " : "LD ", b.il()),
            cat(slot(depth), " = ", negate ? "!" : "", "rd(", b.native(), ");"));
        ++depth;
    }
    // U / UN / O / ON
    void contact() {
        static constexpr std::string_view Names[] = {"U ", "UN ", "O ", "ON "};
        const unsigned kind = pick(4);
        const Bit b = anyBit();
        const std::string top = slot(depth - 1);
        const char* op = kind < 2 ? " && " : " || ";
        const char* neg = kind % 2 == 1 ? "!" : "";
        add(cat(Names[kind], b.il()), cat(top, " = ", top, op, neg, "rd(", b.native(), ");"));
    }
    // ULD / OLD
    void combine() {
        const bool isOr = pick(2) == 1;
        const std::string below = slot(depth - 2);
        add(isOr ? "OLD" : "ULD",
            cat(below, " = ", below, isOr ? " || " : " && ", slot(depth - 1), ";"));
        --depth;
    }
    void coil() {
        const Bit b = coilBit();
        add(cat("= ", b.il()), cat("wr(", b.native(), ", ", slot(depth - 1), ");"));
    }
    void lps() {
        add("LPS", cat(slot(depth), " = ", slot(depth - 1), ";"));
        ++depth;
    }
    void lrd() { add("LRD", cat(slot(depth - 1), " = ", slot(depth - 2), ";")); }
    void lpp() {
        add("LPP", "");
        --depth;
    }

    // A rung: a series/parallel condition, optionally a parallel branch merged by ULD/OLD,
    // then one coil or a three-way LPS/LRD/LPP output branch. At most 22 instructions.
    void rung() {
        open();
        load(pick(4) == 0);
        for (unsigned n = 1 + pick(3); n > 0; --n) {
            contact();
        }
        if (pick(2) == 0) {
            load(pick(3) == 0);
            for (unsigned n = 1 + pick(2); n > 0; --n) {
                contact();
            }
            combine();
        }
        if (pick(2) == 0) {
            coil();
            return;
        }
        lps();
        contact();
        coil();
        lrd();
        contact();
        coil();
        lpp();
        coil();
    }

    // Exactly `n` >= 3 instructions: a load, contacts and one coil.
    void filler(std::size_t n) {
        open();
        load(false);
        for (; n > 2; --n) {
            contact();
        }
        coil();
    }

    void bitLogic(std::size_t total) {
        while (total - program.instructions > 25) {
            rung();
        }
        filler(total - program.instructions);
    }

    GeneratedProgram program;
    unsigned depth = 0;

private:
    static std::string slot(unsigned d) { return cat("s", d); }
    std::mt19937 rng;
};

// The word-sized operand texts stay even so that words never overlap the bytes they are
// compared with by chance.
std::string byteOp(Builder& b, std::string_view area) {
    return cat(area, "B", 16 + b.pick(16));
}
std::string wordOp(Builder& b, std::string_view area) {
    return cat(area, "W", 32 + 2 * b.pick(8));
}

void timers(Builder& b) {
    // T33..T36 count 10 ms, T37..T63 100 ms.
    const unsigned fast = 33 + b.pick(4);
    const unsigned slow = 37 + b.pick(27);
    b.open();
    b.add(cat("LD E", b.pick(16), ".", b.pick(8)));
    b.add(cat("TON T", fast, " ", 5 + b.pick(20)));
    b.open();
    b.add(cat("LDN M", b.pick(16), ".", b.pick(8)));
    b.add(cat("TON T", slow, " ", 2 + b.pick(10)));
    b.open();
    b.add(cat("LD T", fast));
    b.add(cat("O T", slow));
    b.add(cat("= A", b.pick(16), ".", b.pick(8)));
}

void counter(Builder& b) {
    const std::string z = cat("Z", b.pick(256));
    b.open();
    for (int i = 0; i < 3; ++i) {
        b.add(cat("LD ", b.anyBit().il()));
    }
    b.add(cat("ZVR ", z, " ", 1 + b.pick(50)));
    b.open();
    b.add(cat("LD ", z));
    b.add(cat("= ", b.coilBit().il()));
}

void moves(Builder& b) {
    b.open();
    b.add("LD SM0.0");
    b.add(cat("MOVB ", byteOp(b, "M"), " ", byteOp(b, "V")));
    b.add(cat("MOVW ", wordOp(b, "M"), " ", wordOp(b, "V")));
    b.add(cat("XORB 16#5A ", byteOp(b, "M")));
    b.open();
    b.add(cat("LDW= ", wordOp(b, "M"), " ", wordOp(b, "V")));
    b.add(cat("UB= ", byteOp(b, "M"), " ", byteOp(b, "V")));
    b.add(cat("= ", b.coilBit().il()));
}

// A segment guarded by `step`, with `body` rungs inside.
void segment(Builder& b, const std::string& step, int body) {
    b.open();
    b.add(cat("LSCR ", step));
    for (int i = 0; i < body; ++i) {
        b.rung();
    }
    b.open();
    b.add("SCRE");
}

} // namespace

std::string GeneratedProgram::source() const {
    std::string text = "ORGANIZATION_BLOCK MAIN:OB1\nTITLE=Generated\nBEGIN\n";
    int id = 0;
    for (const GeneratedNetwork& net : networks) {
        text += cat("NETWORK ", ++id, "\n");
        for (const GeneratedInstruction& op : net.ops) {
            text += op.il;
            text += '\n';
        }
    }
    text += "END_ORGANIZATION_BLOCK\n";
    return text;
}

std::string GeneratedProgram::nativeBody() const {
    std::string body;
    for (const GeneratedNetwork& net : networks) {
        body += "    {\n        bool s0 = false, s1 = false, s2 = false, s3 = false;\n";
        for (const GeneratedInstruction& op : net.ops) {
            if (!op.native.empty()) {
                body += cat("        ", op.native, "\n");
            }
        }
        body += "        (void)s0; (void)s1; (void)s2; (void)s3;\n    }\n";
    }
    return body;
}

GeneratedProgram GeneratedProgram::repeated(std::size_t times) const {
    GeneratedProgram out;
    out.networks.reserve(networks.size() * times);
    for (std::size_t k = 0; k < times; ++k) {
        out.networks.insert(out.networks.end(), networks.begin(), networks.end());
    }
    out.instructions = instructions * times;
    return out;
}

GeneratedProgram bitLogicProgram(std::size_t instructions, std::uint32_t seed) {
    Builder b(seed);
    b.bitLogic(instructions);
    return std::move(b.program);
}

GeneratedProgram mixedProgram(std::size_t instructions, std::uint32_t seed) {
    Builder b(seed);
    // The first scan activates step S0.0; S1.0 is never set, so its segment stays inactive.
    b.open();
    b.add("LD SM0.1");
    b.add("S S0.0 1");
    for (bool active = true; instructions - b.program.instructions > 140; active = !active) {
        timers(b);
        counter(b);
        moves(b);
        b.rung();
        segment(b, active ? "S0.0" : "S1.0", 2);
    }
    b.bitLogic(instructions);
    return std::move(b.program);
}

void fillPattern(NativeAreas& m) noexcept {
    for (int k = 0; k < 4; ++k) {
        for (int i = 0; i < static_cast<int>(sizeof m.E); ++i) {
            nativeArea(m, k)[i] = patternByte(k, i);
        }
    }
}

std::uint8_t patternByte(int area, int addr) noexcept {
    const auto x = static_cast<std::uint32_t>(area * 131 + addr) * 2654435761u;
    return static_cast<std::uint8_t>(x >> 24);
}

} // namespace kvx
