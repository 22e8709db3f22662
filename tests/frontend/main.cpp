// Runs the window test classes in one application on the offscreen platform: the class named
// as the first argument (each is a test of its own in CTest, so a failure names its class),
// or every class when the first argument names none. The other arguments go to QTest.
#include <cstring>
#include <vector>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "tests/frontend/runners.h"

namespace {

struct TestClass {
    const char* name;
    int (*run)(int argc, char** argv);
};

constexpr TestClass Classes[] = {
    {"PanelTest", kvx::runPanelTests},         {"WindowTest", kvx::runWindowTests},
    {"ViewsTest", kvx::runViewsTests},         {"EditLoadTest", kvx::runEditLoadTests},
    {"DesktopTest", kvx::runDesktopTests},     {"ScanPacerTest", kvx::runScanPacerTests},
    {"TrendViewTest", kvx::runTrendViewTests},
};

} // namespace

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
    if (argc > 1) {
        for (const TestClass& test : Classes) {
            if (std::strcmp(argv[1], test.name) == 0) {
                // QTest reads the program name first: the class name takes its place.
                std::vector<char*> args(argv + 1, argv + argc);
                args.front() = argv[0];
                return test.run(static_cast<int>(args.size()), args.data()) == 0 ? 0 : 1;
            }
        }
    }
    int failed = 0;
    for (const TestClass& test : Classes) {
        failed += test.run(argc, argv);
    }
    return failed == 0 ? 0 : 1;
}
