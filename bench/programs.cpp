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

// The realistic mix: the native statements work on `x` (a NativeMix) and `m` (its areas).
class MixBuilder final {
public:
    explicit MixBuilder(std::uint32_t seed) : b(seed) {}

    void network() {
        switch (b.pick(12)) {
        case 0:
            timer();
            break;
        case 1:
            counter();
            break;
        case 2:
        case 3:
            transfer();
            break;
        default:
            rung();
            break;
        }
    }

    Builder b;

private:
    std::string top() const { return slot(b.depth - 1); }

    // A condition of one to three levels: a series of contacts, with branches combined by
    // ULD/OLD, an edge now and then, and compares as contacts.
    void condition(int level) {
        if (b.pick(6) == 0) {
            compareLoad();
        } else {
            b.load(b.pick(4) == 0);
        }
        for (unsigned n = b.pick(3); n > 0; --n) {
            element(level);
        }
        if (b.pick(8) == 0) {
            edge();
        }
    }

    void element(int level) {
        const unsigned kind = b.pick(10);
        if (kind < 5) {
            b.contact();
        } else if (kind < 7 && level < 3) {
            condition(level + 1);
            b.combine();
        } else if (kind == 7) {
            timerContact();
        } else if (kind == 8) {
            byteCompare();
        } else {
            b.add("NOT", cat(top(), " = !", top(), ";"));
        }
    }

    void edge() {
        const bool rising = b.pick(2) == 0;
        const std::size_t k = edges++;
        b.add(rising ? "EU" : "ED",
              cat("{ const bool v = ", top(), "; ", top(), " = ", rising ? "v && !" : "!v && ",
                  "x.edge[", k, "]; x.edge[", k, "] = v; }"));
    }

    void timerContact() {
        const bool counterBit = b.pick(2) == 0;
        const unsigned no = counterBit ? b.pick(32) : timerNo();
        const char* op = b.pick(2) == 0 ? " && " : " || ";
        b.add(cat(op[1] == '&' ? "U " : "O ", counterBit ? "Z" : "T", no),
              cat(top(), " = ", top(), op, "x.", counterBit ? "Z[" : "T[", no, "].IsActive();"));
    }

    void compareLoad() {
        const unsigned x = word(), y = word();
        b.add(cat("LDW= MW", x, " VW", y),
              cat(slot(b.depth), " = rw(m.M, ", x, ") == rw(m.V, ", y, ");"));
        ++b.depth;
    }
    void byteCompare() {
        const unsigned x = byte(), y = byte();
        b.add(cat("UB= MB", x, " VB", y),
              cat(top(), " = ", top(), " && rb(m.M, ", x, ") == rb(m.V, ", y, ");"));
    }

    // One output, or several on an LPS/LRD/LPP branch.
    void output() {
        const unsigned kind = b.pick(8);
        if (kind < 3) {
            b.coil();
        } else if (kind < 6) {
            range(kind == 3 ? "S " : "R ", kind == 3 ? 1 : 0);
        } else if (kind == 6) {
            const unsigned no = timerNo();
            b.add(cat("R T", no, " 1"), cat("if (", top(), ") x.T[", no, "].reset();"));
        } else {
            move();
        }
    }

    void range(const char* mnemonic, int value) {
        const Bit bit = b.coilBit();
        const unsigned count = b.pick(4) == 0 ? 1 : 2 + b.pick(15);
        b.add(cat(mnemonic, bit.il(), " ", count),
              cat("if (", top(), ") setRange(", bit.native(), ", ", count, ", ", value, ");"));
    }

    void move() {
        switch (b.pick(3)) {
        case 0: {
            const unsigned x = byte(), y = byte();
            b.add(cat("MOVB MB", x, " VB", y),
                  cat("if (", top(), ") wb(m.V, ", y, ", rb(m.M, ", x, "));"));
            break;
        }
        case 1: {
            const unsigned x = word(), y = word();
            b.add(cat("MOVW VW", x, " MW", y),
                  cat("if (", top(), ") ww(m.M, ", y, ", rw(m.V, ", x, "));"));
            break;
        }
        default: {
            const unsigned k = b.pick(256), y = byte();
            b.add(cat("XORB ", k, " MB", y),
                  cat("if (", top(), ") wb(m.M, ", y, ", rb(m.M, ", y, ") ^ ", k, ");"));
            break;
        }
        }
    }

    void rung() {
        b.open();
        condition(1);
        if (b.pick(3) != 0) {
            output();
            return;
        }
        b.lps();
        element(2);
        output();
        for (unsigned n = b.pick(3); n > 0; --n) {
            b.lrd();
            element(2);
            output();
        }
        b.lpp();
        output();
    }

    void timer() {
        b.open();
        condition(2);
        const unsigned no = timerNo();
        const unsigned preset = 2 + b.pick(30);
        b.add(cat("TON T", no, " ", preset), cat("ton(x.T[", no, "], ", preset, ", ", top(), ");"));
    }

    // Reset, count down and count up, the order in which ZVR finds them on the stack.
    void counter() {
        b.open();
        b.load(false);
        b.load(b.pick(2) == 0);
        b.load(false);
        const unsigned no = b.pick(32);
        const unsigned preset = 1 + b.pick(20);
        const std::size_t k = counters++;
        b.add(cat("ZVR Z", no, " ", preset),
              cat("count(x.Z[", no, "], ", preset, ", x.inputs[", k, "], ", slot(b.depth - 1), ", ",
                  slot(b.depth - 2), ", ", slot(b.depth - 3), ");"));
    }

    void transfer() {
        b.open();
        condition(2);
        move();
        if (b.pick(2) == 0) {
            move();
        }
    }

    unsigned timerNo() { return b.pick(2) == 0 ? 37 + b.pick(27) : 101 + b.pick(27); }
    unsigned byte() { return 16 + b.pick(16); }
    unsigned word() { return 32 + 2 * b.pick(8); }
    static std::string slot(unsigned d) { return cat("s", d); }

public:
    std::size_t edges = 0;
    std::size_t counters = 0;
};

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
        body += "    {\n        bool s0 = false, s1 = false, s2 = false, s3 = false, s4 = false, "
                "s5 = false,"
                " s6 = false, s7 = false, s8 = false;\n";
        for (const GeneratedInstruction& op : net.ops) {
            if (!op.native.empty()) {
                body += cat("        ", op.native, "\n");
            }
        }
        body += "        (void)s0; (void)s1; (void)s2; (void)s3; (void)s4; (void)s5; (void)s6; "
                "(void)s7;"
                " (void)s8;\n    }\n";
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

GeneratedProgram loadProgram(std::size_t lines) {
    return mixedProgram(lines - lines / 7, 99);
}

GeneratedProgram realisticMix(std::size_t instructions, std::uint32_t seed) {
    MixBuilder mix(seed);
    while (mix.b.program.instructions < instructions) {
        mix.network();
    }
    return std::move(mix.b.program);
}

NativeMix::NativeMix() {
    T.reserve(128);
    for (int no = 0; no < 128; ++no) {
        T.emplace_back(static_cast<std::uint16_t>(100), clock);
    }
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
