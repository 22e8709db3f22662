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
//   {"scan":1234,"rows":[{"line":5,"state":"executed","vke":1,"stack":"10",
//                         "ops":["1","0 (Sollwert 0)"]}]}
//   state is "executed", "skipped", "notrun" or "faulted"; "stack" is the logic stack after
//   the instruction as the window's Stack column shows it (the top eight entries as 0/1, the
//   top first, and the depth in parentheses when deeper: "10110010 (12)"); ops hold each
//   operand's value text as the window's Programmstatus shows it. Without a new capture it returns
//   the last one.
// - Watch table (the window's "Variablen"); rows count from 0:
//   kvx_watch_set_text(e, text) replaces the rows with a watch file's text, as the window's
//   "Variablen laden"; returns "" or the error ("line 3: ..."), the rows then unchanged.
//   kvx_watch_text(e) is the table as a watch file, as "Variablen speichern" writes it.
//   kvx_watch_set_operand(e, row, text) sets the row's operand (row == the row count appends
//   one; "" clears it) and returns its message or "". kvx_watch_remove(e, row) drops a row
//   and releases its force. kvx_watch_set_format(e, row, name): "Dezimal", "Binär" or "Hex".
//   kvx_watch_set_control(e, row, value) sets the value to write or force; a forced row is
//   forced to it at once. kvx_watch_write(e, row) writes the row's value once and
//   kvx_watch_force(e, row) forces it; both return the error or "". kvx_watch_write_all(e)
//   writes every row's value and returns how many failed. kvx_watch_release(e, row) releases
//   the row's operand; kvx_watch_release_all(e) is "Alles entforcen". A row number outside the
//   table does nothing. kvx_watch_values(e) returns JSON:
//   {"rows":[{"operand":"E0.0","format":"Binär","value":"1","control":"1","forced":true,
//             "message":""}]}
//   "message" is the row's problem as the window shows it.
// - The state also tells the forces: "forced" (anything forced), "forcedSwitches" and
//   "forcedLeds" (bytes, bit i set when E0.i / A0.i is forced), and "recording". The status
//   rows carry "forced":[...], one flag per entry of "ops": whether a force writes it.
// - kvx_test(e, programName, programText, scenarioName, scenarioText, coverage) runs the
//   scenario as `kvx test PROGRAM SCENARIO [--coverage] [--vcd]` does, on a fresh session (the
//   engine's own program runs on untouched), and returns JSON:
//   {"output":"s.txt:7: expected ...\n0 passed, 1 failed\n","passed":0,"failed":1,
//    "failures":[{"line":7,"text":"expected ..."}],"error":"",
//    "coverage":{"linesNeverRun":[9],"contactsOneWay":[5],
//                "totals":", lines executed: 4 of 5, contacts seen both ways: 1 of 2"},
//    "vcd":"$date ..."}
//   "output" is what kvx test prints on standard output; "failures" the failures kept (their
//   text without the "SCENARIO:LINE: " before it; "failed" counts all); "error" the program's
//   load diagnostic, which kvx prints on standard error; "coverage" is null without coverage;
//   "vcd" the waveform kvx test --vcd writes, "" when the program did not load.
// - kvx_record_start(e, date) records the engine's session from now on into a scenario, as
//   the window's "Aufzeichnen" does (it resets the session; nothing without a program or
//   while recording); `date` is the day for its head,
//   e.g. "2026-12-09". Loading another program ends the recording. kvx_record_stop(e) ends it
//   and returns the scenario text; after a recording that a load ended it returns that one's
//   text, else "".
// - Returned strings stay valid until the next call on the same engine.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/status.h"
#include "session/pace.h"
#include "session/session.h"
#include "session/session_listener.h"
#include "session/watch.h"

namespace kvx {

class SessionRecorder;

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

class WebSession final : private SessionListener {
public:
    WebSession();
    ~WebSession() override;
    WebSession(const WebSession&) = delete;
    WebSession& operator=(const WebSession&) = delete;

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

    // The watch table; see the contract above.
    std::string setWatchText(const std::string& text);
    std::string watchText() const { return watch.text(); }
    std::string watchSetOperand(int row, const std::string& text);
    void watchRemove(int row);
    void watchSetFormat(int row, const std::string& name);
    void watchSetControl(int row, const std::string& value);
    std::string watchWrite(int row);
    int watchWriteAll();
    std::string watchForce(int row);
    void watchRelease(int row);
    void watchReleaseAll();
    std::string watchValues() const;

    // A scenario test on a session of its own; see the contract above.
    static std::string test(const std::string& programName, const std::string& programText,
                            const std::string& scenarioName, const std::string& scenarioText,
                            bool coverage);

    void recordStart(const std::string& date);
    std::string recordStop();

private:
    // One scan, captured when a capture was asked for; `step` for Einzelschritt.
    void scan(bool step);
    ScanObserver* observerForScan();
    bool isRow(int row) const noexcept;
    // The byte of the panel's switches (or LEDs) with bit i set when a force covers it.
    int forcedBits(bool output) const noexcept;
    // A load of another program ends the recording, as in the window.
    void loaded(std::uint32_t now, const std::string& source) override;
    void endRecording();

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
    WatchList watch{session};
    std::ostringstream recording;
    std::unique_ptr<SessionRecorder> recorder;
    // The text of a recording that a load ended, until it is fetched.
    std::string ended;
};

} // namespace kvx
