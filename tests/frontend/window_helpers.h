// What the window tests share beyond the panel's pixels.
#pragma once

#include "frontend/mainwindow.h"
#include "frontend/scan_pacer.h"

namespace kvx {

// The window's time moves only with its scan timer, which the tests stop: this lets it catch
// up with the tick clock, scanning for what it owes if it runs.
inline void catchUp(MainWindow& window) {
    auto* pacer = window.findChild<ScanPacer*>();
    pacer->pace();
    pacer->pace();
}

} // namespace kvx
