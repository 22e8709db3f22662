// Runs every window test class in one application on the offscreen platform.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "tests/frontend/runners.h"

int main(int argc, char** argv) {
    // No window made here may read or write the user's settings, neither the window's own
    // nor Qt's (the file dialog keeps its history): their default place is a temporary
    // folder, before the first window exists.
    const QTemporaryDir settingsHome;
    if (!settingsHome.isValid()) {
        return 1;
    }
    for (const QSettings::Format format : {QSettings::IniFormat, QSettings::NativeFormat}) {
        QSettings::setPath(format, QSettings::UserScope, settingsHome.path());
    }
    QApplication app(argc, argv);
    int failed = 0;
    failed += kvx::runPanelTests(argc, argv);
    failed += kvx::runWindowTests(argc, argv);
    failed += kvx::runViewsTests(argc, argv);
    failed += kvx::runEditLoadTests(argc, argv);
    failed += kvx::runDesktopTests(argc, argv);
    failed += kvx::runPacingTests(argc, argv);
    return failed == 0 ? 0 : 1;
}
