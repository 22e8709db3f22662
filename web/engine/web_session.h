// The browser edition's engine: one Session, driven from a Web Worker through the plain C
// functions below (exports.cpp), compiled to WebAssembly. It is the same session, loader and
// scenario code as the window and kvx, so every message is theirs byte for byte. Only numbers
// and strings cross into JavaScript; anything structured comes as one JSON text.
//
// Contract, for the worker:
// - kvx_create() makes an engine; kvx_destroy() frees it. Every other call takes it first.
// - kvx_load(e, name, text) loads `text` as the program named `name`. It returns "" when the
//   program is installed (reset and running, as a load in the window), else the `kvx check`
//   diagnostic "NAME:LINE: error: TEXT\n" (or "NAME: error: TEXT\n"); then the old program
//   keeps running as it was. kvx_load_line(e) is the failed load's line, 0 when it had none.
// - kvx_pace(e, nowMs) is the scan pacer: `nowMs` is the page's millisecond tick (e.g.
//   performance.now()). Each millisecond since the last call earns one scan, at most
//   MaxOwedScans of them, and each scan runs at its own millisecond of the simulated clock,
//   so a worker woken every few milliseconds still scans once a millisecond. Returns the
//   scans run.
// - kvx_command(e, cmd) with cmd one of WebCommand: Continue, Stop, Einzelschritt (one scan,
//   stopping), Reset, Langsamer, Schneller, Echtzeit, Urloeschen.
// - kvx_set_switch(e, bit, on) and kvx_toggle_switch(e, bit) for E0.<bit>, bit 0..7.
// - kvx_state(e) returns JSON:
//   {"running":true,"faulted":false,"fault":"","faultLine":0,"leds":5,"switches":1,
//    "timeMs":1234,"faktor":1,"scans":1234,"scanUs":2.1,"program":"lamps.awl"}
//   leds/switches are bytes, bit i = A0.i / E0.i. "fault" is the run-time error's text as
//   the window shows it ("TEXT (line N)"), faultLine its line. "scans" counts all scans since
//   the load; "scanUs" is the last scan's duration in microseconds.
// - kvx_capture(e, firstLine, lastLine) asks that the next scan be captured for the program
//   lines firstLine..lastLine (1-based, inclusive): the editor's visible lines.
//   kvx_status(e) then returns the last captured scan as JSON, one entry per instruction line:
//   {"scan":1234,"rows":[{"line":5,"state":"executed","vke":1,"ops":["1","0 (Sollwert 0)"]}]}
//   state is "executed", "skipped", "notrun" or "faulted"; ops hold each operand's value text
//   as the window's Programmstatus shows it. Without a new capture it returns the last one.
// - Returned strings stay valid until the next call on the same engine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/status.h"
#include "session/pace.h"
#include "session/session.h"

namespace kvx {

enum class WebCommand : int {
    Continue = 0,
    Stop = 1,
    Einzelschritt = 2,
    Reset = 3,
    Langsamer = 4,
    Schneller = 5,
    Echtzeit = 6,
    Urloeschen = 7,
};

class WebSession final {
public:
    // A worker woken every 4 ms (the browsers' clamp on repeated timers) owes four scans; a
    // tab in the background wakes once a second and should not race through a thousand.
    static constexpr std::uint32_t MaxOwedScans = 50;

    // "" when installed, else the diagnostic; see the contract above.
    std::string load(const std::string& name, const std::string& text);
    int loadLine() const noexcept { return failedLine; }
    int pace(double nowMs);
    void command(WebCommand cmd);
    void setSwitch(int bit, bool on);
    void toggleSwitch(int bit);
    std::string state() const;
    void capture(int firstLine, int lastLine);
    std::string status() const;

private:
    // One scan, captured when a capture was asked for; `step` for Einzelschritt.
    void scan(bool step);
    ScanObserver* observerForScan();

    // The page's tick moves `paced`, which the session reads as its machine tick.
    SimClock paced;
    Session session{paced};
    ScanPace pacer{0, MaxOwedScans};
    std::string programName;
    // The last scan's fault: the state shows it while the run stays stopped.
    std::optional<CPUException> lastFault;
    int failedLine = 0;
    double lastScanUs = 0;
    std::uint64_t scans = 0;
    // The installed program's instruction nodes, in the order of their lines.
    std::vector<const OpList*> instructions;
    // The lines asked for, and the nodes of the last capture.
    std::optional<std::pair<int, int>> captureWanted;
    std::vector<const OpList*> capturedNodes;
    StatusCapture captured;
    std::uint64_t capturedScan = 0;
};

} // namespace kvx
