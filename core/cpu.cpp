#include "core/cpu.h"

#include <algorithm>
#include <utility>

#include "core/clock.h"
#include "core/common.h"
#include "core/decoded.h"

namespace kvx {

// ---- MemField --------------------------------------------------------------------------

MemField::MemField(int Length, bool IsWriteProtected)
    : len(Length < 0 ? 0 : Length), data(static_cast<std::size_t>(len), 0),
      wp(IsWriteProtected ? 1 : 0) {}

void MemField::failRead() {
    throw CPUException("Out of field read");
}

void MemField::failWrite() {
    throw CPUException("Out of field write");
}

void MemField::failProtected() {
    throw CPUException("Field is writeprotected");
}

// The multi-byte accesses go byte by byte through readByte/writeByte so each byte gets its
// own bound check; the address of a following byte is formed only after the one before it
// passed, so Addr + 1 cannot overflow.
std::uint16_t MemField::readWord(int Addr) const {
    const unsigned high = readByte(Addr);
    const unsigned low = readByte(Addr + 1);
    return static_cast<std::uint16_t>(high << 8 | low);
}

std::uint32_t MemField::readLong(int Addr) const {
    std::uint32_t value = readByte(Addr);
    for (int i = 1; i < 4; ++i) {
        value = value << 8 | readByte(Addr + i);
    }
    return value;
}

void MemField::writeWord(int Addr, std::uint16_t val) {
    writeByte(Addr, static_cast<std::uint8_t>(val >> 8));
    writeByte(Addr + 1, static_cast<std::uint8_t>(val));
}

void MemField::writeLong(int Addr, std::uint32_t val) {
    for (int i = 0; i < 4; ++i) {
        writeByte(Addr + i, static_cast<std::uint8_t>(val >> (24 - 8 * i)));
    }
}

// ---- CPU -------------------------------------------------------------------------------

namespace {
std::uint16_t timeBase(int no) noexcept {
    const int inQuarter = no % 32;
    if (inQuarter == 0) {
        return 1;
    }
    return inQuarter <= 4 ? 10 : 100;
}

constexpr int SystemByte = 0;
constexpr int AlwaysOnBit = 0;
constexpr int FirstScanBit = 1;
constexpr int SecondPulseBit = 5;
} // namespace

CPU::CPU(const Clock& source) : clock(source) {
    for (auto* field : {&m, &sm, &v, &s, &a, &e}) {
        *field = std::make_unique<MemField>(AreaSize, false);
    }
    for (int no = 0; no < TimerCount; ++no) {
        t[static_cast<std::size_t>(no)] = std::make_unique<Timer>(timeBase(no), clock);
    }
    for (auto& counter : z) {
        counter = std::make_unique<Counter>();
    }
    targets.owner = this;
    for (const auto cls : {Parameter::EType, Parameter::AType, Parameter::VType, Parameter::MType,
                           Parameter::SMType, Parameter::SType}) {
        targets.areas[static_cast<std::size_t>(cls)] = &area(cls);
    }
    for (std::size_t no = 0; no < t.size(); ++no) {
        targets.timers[no] = t[no].get();
    }
    for (std::size_t no = 0; no < z.size(); ++no) {
        targets.counters[no] = z[no].get();
    }
}

CPU::~CPU() {
    decoded.reset();
    prog.reset();
}

std::uint32_t CPU::getmsTime() const noexcept {
    return clock.getmsTime();
}

CPU::RetiredProgram::RetiredProgram() noexcept = default;
CPU::RetiredProgram::RetiredProgram(RetiredProgram&&) noexcept = default;
CPU::RetiredProgram& CPU::RetiredProgram::operator=(RetiredProgram&&) noexcept = default;
CPU::RetiredProgram::~RetiredProgram() = default;

CPU::RetiredProgram CPU::setProgram(std::unique_ptr<Block> program) {
    std::unique_ptr<DecodedProgram> form =
        program ? std::make_unique<DecodedProgram>(program.get(), *this) : nullptr;
    // The step bit of the last LSCR belongs to the old program and goes with it, and so does
    // a scan halted in it.
    scrparam = nullptr;
    halted.reset();
    RetiredProgram old;
    old.form = std::exchange(decoded, std::move(form));
    old.tree = std::exchange(prog, std::move(program));
    return old;
}

MemField& CPU::area(Parameter::ParamClass cls) {
    return const_cast<MemField&>(std::as_const(*this).area(cls));
}

const MemField& CPU::area(Parameter::ParamClass cls) const {
    switch (cls) {
    case Parameter::EType:
        return *e;
    case Parameter::AType:
        return *a;
    case Parameter::VType:
        return *v;
    case Parameter::MType:
        return *m;
    case Parameter::SMType:
        return *sm;
    case Parameter::SType:
        return *s;
    default:
        throw CPUException("Unknown Parameter Type");
    }
}

void CPU::reset() {
    for (Block* block = prog.get(); block != nullptr; block = block->Next.get()) {
        for (Network* net = block->Networks.get(); net != nullptr; net = net->Next.get()) {
            for (OpList* node = net->Ops.get(); node != nullptr; node = node->Next.get()) {
                if (node->Op) {
                    node->Op->reset();
                }
            }
        }
    }
    // What a scan leaves behind outside memory, which a program can carry into the next only
    // by a quirk (reading below an empty stack, SCRT outside a segment), starts afresh too:
    // after a reset the CPU scans exactly as a new one with the same memory would.
    stack = {};
    sp = 0;
    scrparam = nullptr;
    halted.reset();
    sm->writeBit(SystemByte, AlwaysOnBit, 1);
    sm->writeBit(SystemByte, FirstScanBit, 1);
}

void CPU::clearMemory() noexcept {
    for (auto* field : {&m, &sm, &v, &s, &a, &e}) {
        (*field)->clear();
    }
    for (auto& timer : t) {
        timer->clear();
    }
    for (auto& counter : z) {
        *counter = Counter();
    }
}

// ---- logic stack -----------------------------------------------------------------------

void CPU::failStackOverflow() {
    throw CPUException("StackOverflow");
}

// ---- scan cycle ------------------------------------------------------------------------

// An idle timer counts nothing; asking first saves the call for each of them, which is most
// of an empty scan.
void CPU::updateTimer1ms() noexcept {
    for (int no : {0, 32, 64, 96}) {
        Timer& timer = *t[static_cast<std::size_t>(no)];
        if (timer.isRunning()) {
            timer.Increment();
        }
    }
}

void CPU::updateTimer10ms() noexcept {
    for (int first : {1, 33, 65, 97}) {
        for (int no = first; no < first + 4; ++no) {
            Timer& timer = *t[static_cast<std::size_t>(no)];
            if (timer.isRunning()) {
                timer.Increment();
            }
        }
    }
}

std::uint8_t IO::GetIByte(int Addr, int bits) {
    unsigned byte = 0;
    for (int bit = 0; bit < bits; ++bit) {
        byte |= GetIBit(Addr, bit) != 0 ? 1u << bit : 0u;
    }
    return static_cast<std::uint8_t>(byte);
}

void IO::SetOByte(int Addr, std::uint8_t value, int bits) {
    for (int bit = 0; bit < bits; ++bit) {
        SetOBit(Addr, bit, value >> bit & 1);
    }
}

// A byte at a time: the area's checks then run once per byte, where bit by bit they were most
// of an empty scan's cost.
void CPU::transferInputs(IO& panel) {
    const int count = panel.GetIBitCnt();
    for (int addr = 0; addr * 8 < count; ++addr) {
        const int bits = std::min(8, count - addr * 8);
        const unsigned mask = (1u << bits) - 1;
        const unsigned kept = e->readByte(addr) & ~mask;
        e->writeByte(addr, static_cast<std::uint8_t>(kept | (panel.GetIByte(addr, bits) & mask)));
    }
}

void CPU::transferOutputs(IO& panel) {
    const int count = panel.GetOBitCnt();
    for (int addr = 0; addr * 8 < count; ++addr) {
        panel.SetOByte(addr, a->readByte(addr), std::min(8, count - addr * 8));
    }
}

void CPU::traceStep(const Operation& op, Writer& w) const {
    op.debugout(w);
    w.write("Stack: ");
    for (int i = sp - 2; i <= sp; ++i) {
        w.write(stackAt(i));
    }
    w.write("->");
}

// The text trace of the runner: each executed step with its operand values and the top of the
// stack.
class TraceObserver final : public ScanObserver {
public:
    explicit TraceObserver(Writer& out) noexcept : w(out) {}
    void executed(const OpList& node, const CPU& cpu) override { cpu.traceStep(*node.Op, w); }

private:
    Writer& w;
};

void CPU::runStep(Writer* trace) {
    if (trace == nullptr) {
        runStep(static_cast<ScanObserver*>(nullptr));
        return;
    }
    TraceObserver tracer(*trace);
    runStep(&tracer);
}

std::uint32_t CPU::startScan() {
    ++scans;
    const std::uint32_t phase = getmsTime() % 33;
    if (io != nullptr) {
        transferInputs(*io);
    }
    if (forces != nullptr) [[unlikely]] {
        forces->afterInputs(*this);
    }
    updateTimer10ms();
    return phase;
}

void CPU::endScan() {
    sm->writeBit(SystemByte, FirstScanBit, 0);
    sm->writeBit(SystemByte, SecondPulseBit, getmsTime() % 1000 >= 500 ? 1 : 0);
    if (forces != nullptr) [[unlikely]] {
        forces->beforeOutputs(*this);
    }
    if (io != nullptr) {
        transferOutputs(*io);
    }
}

void CPU::runStep(ScanObserver* observer) {
    halted.reset();
    std::uint32_t incno = startScan();
    if (decoded) [[likely]] {
        decoded->run(*this, incno, observer);
    }
    endScan();
}

bool CPU::beginScan(HaltCheck& halt, ScanObserver* observer) {
    halted.reset();
    return runOn(HaltedScan{0, startScan(), 0}, false, halt, observer);
}

bool CPU::resumeScan(HaltCheck& halt, ScanObserver* observer) {
    if (!halted) {
        return false;
    }
    const HaltedScan at = *std::exchange(halted, std::nullopt);
    return runOn(at, true, halt, observer);
}

// A fault leaves the scan not halted: it ended where it arose, as a plain scan does.
bool CPU::runOn(HaltedScan at, bool resuming, HaltCheck& halt, ScanObserver* observer) {
    if (decoded && decoded->run(*this, at, resuming, observer, halt)) {
        halted = at;
        return true;
    }
    endScan();
    return false;
}

const OpList* CPU::haltedBefore() const noexcept {
    return halted && decoded ? decoded->nodeAt(*halted) : nullptr;
}

} // namespace kvx
