// Keeps the panel and the program status view in step with the session's events: the LEDs
// repainted when a scan changed them, the listing of a new program, a fault marked where it
// was raised, the status of a scan captured when the view asked for one, and a halted scan as
// far as it went, after every step.
#pragma once

#include <array>

#include "session/myio.h"
#include "session/session_listener.h"

namespace kvx {

class PanelWidget;
class ScanObserver;
class ProgramStatusView;
class Session;

class SessionViews final : public SessionListener {
public:
    // All must outlive this.
    SessionViews(Session& session, PanelWidget& panel, ProgramStatusView& status);
    ~SessionViews() override;
    SessionViews(const SessionViews&) = delete;
    SessionViews& operator=(const SessionViews&) = delete;

    // Whether the next scan is captured for the status view.
    void captureNextScan(bool capture) noexcept { captureNext = capture; }
    // What the next scan reports to: the capture when one was asked for, else nothing.
    ScanObserver* observer();

    void loaded(std::uint32_t now, const std::string& source) override;
    void scanned(std::uint32_t now, const std::optional<CPUException>& fault) override;
    void faulted(std::uint32_t now, const CPUException& fault) override;
    void halted(std::uint32_t now, int line, bool step) override;
    void runChanged(std::uint32_t now, RunChange change) override;
    void forceChanged(std::uint32_t now, const std::string& name,
                      std::optional<std::uint32_t> value) override;

private:
    Session& session;
    PanelWidget& panel;
    ProgramStatusView& status;
    bool captureNext = false;
    bool capturing = false;
    // The view shows a halted scan, which has not ended yet.
    bool showingHalt = false;
    std::array<int, MyIO::Size> shownLeds{};
};

} // namespace kvx
