#include "frontend/session_views.h"

#include <utility>

#include <QString>

#include "frontend/panel.h"
#include "frontend/status_view.h"
#include "session/session.h"

namespace kvx {

SessionViews::SessionViews(Session& s, PanelWidget& p, ProgramStatusView& v)
    : session(s), panel(p), status(v), shownLeds(s.panel().OutState) {
    session.addListener(*this);
}

SessionViews::~SessionViews() {
    session.removeListener(*this);
}

ScanObserver* SessionViews::observer() {
    if (!std::exchange(captureNext, false)) {
        return nullptr;
    }
    capturing = true;
    return status.observer();
}

void SessionViews::loaded(std::uint32_t, const std::string&) {
    // The old program's nodes are gone: the status view takes the new listing at once.
    status.setProgram(session.cpu());
    showingHalt = false;
    shownLeds = session.panel().OutState;
    panel.update();
}

void SessionViews::scanned(std::uint32_t, const std::optional<CPUException>&) {
    // A halted scan ends as the session recorded it, whole; a capture saw only its start.
    if (std::exchange(showingHalt, false)) {
        status.showHalted(session.haltedStatus(), std::nullopt);
    } else if (std::exchange(capturing, false)) {
        status.showScan();
    }
    // A scan changes only the LEDs; repainting a thousand unchanged panels a second would
    // cost the timer its ticks.
    if (session.panel().OutState != shownLeds) {
        shownLeds = session.panel().OutState;
        panel.update();
    }
}

void SessionViews::faulted(std::uint32_t, const CPUException& fault) {
    status.markFault(fault.getLine(), QString::fromStdString(fault.describe()), session.cpu());
}

void SessionViews::halted(std::uint32_t, int line, bool) {
    capturing = false;
    showingHalt = true;
    status.showHalted(session.haltedStatus(), line);
    // The outputs reach the panel only when the scan ends: the LEDs stay as they are.
}

// A reset abandons a halted scan without ending it.
void SessionViews::runChanged(std::uint32_t, RunChange change) {
    if ((change == RunChange::Reset || change == RunChange::MemoryCleared) &&
        std::exchange(showingHalt, false)) {
        status.showHalted(session.haltedStatus(), std::nullopt);
    }
}

void SessionViews::forceChanged(std::uint32_t, const std::string&, std::optional<std::uint32_t>) {
    panel.update();
    status.forcesChanged();
}

} // namespace kvx
