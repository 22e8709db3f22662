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
    shownLeds = session.panel().OutState;
    panel.update();
}

void SessionViews::scanned(std::uint32_t, const std::optional<CPUException>&) {
    if (std::exchange(capturing, false)) {
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

void SessionViews::forceChanged(std::uint32_t, const std::string&, std::optional<std::uint32_t>) {
    panel.update();
    status.forcesChanged();
}

} // namespace kvx
