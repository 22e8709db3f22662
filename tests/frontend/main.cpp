// Runs every window test class in one application on the offscreen platform.
#include <QApplication>

#include "tests/frontend/runners.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failed = 0;
    failed += kvx::runPanelTests(argc, argv);
    failed += kvx::runWindowTests(argc, argv);
    failed += kvx::runViewsTests(argc, argv);
    failed += kvx::runPacingTests(argc, argv);
    return failed == 0 ? 0 : 1;
}
