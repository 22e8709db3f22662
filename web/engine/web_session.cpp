#include "web/engine/web_session.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "core/program.h"
#include "scenario/program_file.h"

namespace kvx {

namespace {

// A JSON string literal of `text`, which may hold anything a program file or message holds.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + '"';
}

const char* stateName(StepState state) noexcept {
    switch (state) {
    case StepState::Executed:
        return "executed";
    case StepState::Skipped:
        return "skipped";
    case StepState::Faulted:
        return "faulted";
    case StepState::NotRun:
        break;
    }
    return "notrun";
}

bool lineBefore(const OpList* node, int line) noexcept {
    return node->Line < line;
}

} // namespace

std::string WebSession::load(const std::string& name, const std::string& text) {
    const auto failure = ProgramFile::fromText(name, text).loadInto(session);
    if (failure) {
        failedLine = failure->getLine().value_or(0);
        return loadDiagnostic(name, *failure);
    }
    failedLine = 0;
    programName = name;
    lastFault.reset();
    scans = 0;
    lastScanUs = 0;
    instructions.clear();
    const Listing listing(session.cpu());
    for (std::size_t row = 0; row < listing.size(); ++row) {
        if (const OpList* node = listing.node(row); node != nullptr && node->Op) {
            instructions.push_back(node);
        }
    }
    std::stable_sort(instructions.begin(), instructions.end(),
                     [](const OpList* a, const OpList* b) { return a->Line < b->Line; });
    capturedNodes.clear();
    captured.clear();
    capturedScan = 0;
    return {};
}

int WebSession::pace(double nowMs) {
    // The page's tick is a double of milliseconds; the session counts them in 32 bits.
    const auto now = static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::fmax(nowMs, 0)));
    int ran = 0;
    while (const auto at = pacer.next(now, session.isRunning())) {
        paced.set(*at);
        scan(false);
        ++ran;
    }
    if (!session.isRunning()) {
        paced.set(now);
    }
    return ran;
}

ScanObserver* WebSession::observerForScan() {
    if (!captureWanted) {
        return nullptr;
    }
    const auto [first, last] = *captureWanted;
    captureWanted.reset();
    const auto begin =
        std::lower_bound(instructions.begin(), instructions.end(), first, lineBefore);
    const auto end = std::lower_bound(begin, instructions.end(), last + 1, lineBefore);
    capturedNodes.assign(begin, end);
    captured.clear();
    captured.restrictTo(capturedNodes);
    return &captured;
}

void WebSession::scan(bool step) {
    ScanObserver* observer = observerForScan();
    const auto start = std::chrono::steady_clock::now();
    auto fault = step ? session.singleStep(observer) : session.tick(observer);
    if (fault) {
        lastFault = std::move(fault);
    }
    lastScanUs =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    ++scans;
    if (observer != nullptr) {
        capturedScan = scans;
    }
}

void WebSession::command(WebCommand cmd) {
    switch (cmd) {
    case WebCommand::Continue:
        // A new run: the fault that stopped the last one is no longer the reason it stands.
        lastFault.reset();
        session.run();
        break;
    case WebCommand::Stop:
        session.stop();
        break;
    case WebCommand::Einzelschritt:
        if (session.hasProgram()) {
            scan(true);
        }
        break;
    case WebCommand::Reset:
        session.reset();
        break;
    case WebCommand::Langsamer:
        session.slower();
        break;
    case WebCommand::Schneller:
        session.faster();
        break;
    case WebCommand::Echtzeit:
        session.realTime();
        break;
    case WebCommand::Urloeschen:
        session.clearMemory();
        break;
    }
}

void WebSession::setSwitch(int bit, bool on) {
    session.setSwitch(bit, on ? 1 : 0);
}

void WebSession::toggleSwitch(int bit) {
    if (bit >= 0 && bit < 8) {
        session.setSwitch(bit, session.panel().InState[static_cast<std::size_t>(bit)] == 0);
    }
}

std::string WebSession::state() const {
    const auto byteOf = [](const auto& bits) {
        int byte = 0;
        for (std::size_t i = 0; i < 8; ++i) {
            byte |= (bits[i] != 0 ? 1 : 0) << i;
        }
        return byte;
    };
    const CPUException* fault = session.isRunning() || !lastFault ? nullptr : &*lastFault;
    char scanUs[32];
    std::snprintf(scanUs, sizeof scanUs, "%.1f", lastScanUs);
    return std::string("{\"running\":") + (session.isRunning() ? "true" : "false") +
           ",\"faulted\":" + (fault ? "true" : "false") +
           ",\"fault\":" + quoted(fault ? fault->describe() : std::string()) +
           ",\"faultLine\":" + std::to_string(fault ? fault->getLine().value_or(0) : 0) +
           ",\"leds\":" + std::to_string(byteOf(session.panel().OutState)) +
           ",\"switches\":" + std::to_string(byteOf(session.panel().InState)) +
           ",\"timeMs\":" + std::to_string(session.now()) +
           ",\"faktor\":" + std::to_string(session.faktor()) +
           ",\"scans\":" + std::to_string(scans) + ",\"scanUs\":" + scanUs +
           ",\"program\":" + quoted(programName) + "}";
}

void WebSession::capture(int firstLine, int lastLine) {
    captureWanted = std::pair(firstLine, lastLine);
}

std::string WebSession::status() const {
    std::string out = "{\"scan\":" + std::to_string(capturedScan) + ",\"rows\":[";
    const char* separator = "";
    for (const OpList* node : capturedNodes) {
        const StepStatus step = captured.of(*node);
        out += separator;
        separator = ",";
        out += "{\"line\":" + std::to_string(node->Line) + ",\"state\":\"" + stateName(step.state) +
               "\",\"vke\":" + std::to_string(step.top) + ",\"ops\":[";
        const char* opSeparator = "";
        for (const OperandStatus& operand : step.operands) {
            if (operand.present) {
                out += opSeparator + quoted(operand.text());
                opSeparator = ",";
            }
        }
        out += "]}";
    }
    return out + "]}";
}

} // namespace kvx
