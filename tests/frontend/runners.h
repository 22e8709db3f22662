// Each test file runs its own QTest class; main() runs one of them by name, or all.
#pragma once

namespace kvx {

int runPanelTests(int argc, char** argv);
int runWindowTests(int argc, char** argv);
int runViewsTests(int argc, char** argv);
int runEditLoadTests(int argc, char** argv);
int runDesktopTests(int argc, char** argv);
int runScanPacerTests(int argc, char** argv);
int runTrendViewTests(int argc, char** argv);

} // namespace kvx
