// The window's run control on a simulated clock: menu and enabling, commands, loading,
// scan faults, and the panel as the running program drives it. Scans run by calling tick().
#include <memory>
#include <optional>

#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "core/clock.h"
#include "frontend/mainwindow.h"
#include "frontend/panel.h"
#include "tests/frontend/panel_helpers.h"
#include "tests/frontend/runners.h"
#include "tests/frontend/window_helpers.h"

namespace kvx {

using namespace panelprobe;

namespace {

const QString Lamps = QStringLiteral(KVX_EXAMPLES_DIR "/lamps.awl");

QByteArray oneNetwork(const QByteArray& body) {
    return "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n" + body + "END_ORGANIZATION_BLOCK\n";
}

// A0.0 flips on every scan, so the LED tells an odd number of scans from an even one.
const QByteArray Blinker = oneNetwork("LDN A0.0\n= A0.0\n");
// Lights A0.0, then overflows the logic stack in the second network.
QByteArray overflowing() {
    QByteArray text =
        "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\nLD SM0.0\n= A0.0\nNETWORK 2\n";
    for (int i = 0; i < 152; ++i) {
        text += "LD E0.0\n";
    }
    return text + "END_ORGANIZATION_BLOCK\n";
}

std::uint32_t elapsed(const Session& session) {
    return session.now();
}

} // namespace

class WindowTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        ticks.set(0);
        errors.clear();
        window = std::make_unique<MainWindow>(ticks);
        // Each test starts without recent files.
        window->setSettings(Settings(files.filePath(QString("settings%1.ini").arg(++written))));
        // Scans run only when a test calls tick(); the real timer would add stray ones.
        timer()->stop();
        window->setErrorReport([this](QWidget*, const QString& text) { errors << text; });
        window->setOpenDialog([](QWidget*) -> std::optional<QString> {
            QTest::qFail("no file dialog expected", __FILE__, __LINE__);
            return std::nullopt;
        });
    }
    void cleanup() { window.reset(); }

    // The window starts with the panel at its own size and may grow from there.
    void windowIsTheSimulatorWindow() {
        auto fresh = std::make_unique<MainWindow>(ticks);
        QCOMPARE(fresh->windowTitle(), QStringLiteral("KVX-Simulator"));
        QVERIFY(!fresh->windowIcon().isNull());
        const Qt::WindowFlags flags = fresh->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
        fresh->show();
        QVERIFY(QTest::qWaitForWindowExposed(fresh.get()));
        QCOMPARE(fresh->panel().size(), QSize(PanelWidget::Width, PanelWidget::Height));
        QTimer* scans = fresh->findChild<QTimer*>(QStringLiteral("scanTimer"));
        QVERIFY(scans != nullptr);
        QVERIFY(scans->isActive());
        QCOMPARE(scans->interval(), 1);
        QCOMPARE(scans->timerType(), Qt::PreciseTimer);
    }

    void menuHasTheItemsAndIds() {
        const QList<QAction*> popups = window->menuBar()->actions();
        QCOMPARE(popups.size(), 6);
        const QStringList titles{"&Datei", "&Timer", "&Run", "De&buggen", "&Ansicht", "&Hilfe"};
        // The recent files fill their (hidden) entries 131..138 once the menu opens.
        const QList<QList<std::pair<QString, int>>> items{
            {{"&Laden", 101},
             {"&Neu laden", 120},
             {"&Aufzeichnen...", 140},
             {"", 0},
             {"", 131},
             {"", 132},
             {"", 133},
             {"", 134},
             {"", 135},
             {"", 136},
             {"", 137},
             {"", 138},
             {"", 0},
             {"&Beenden", 103}},
            {{"Faktor 1:1", 122},
             {"", 0},
             {"&Langsamer", 102},
             {"&Schneller", 104},
             {"&Echtzeit", 121}},
            {{"&Continue", 105},
             {"&Stop", 106},
             {"&Einzelschriit", 107},
             {"", 0},
             {"&Reset", 109},
             {"&Urlöschen", 110}},
            {{"&Anweisung", 150},
             {"&Bis Zyklusende", 151},
             {"", 0},
             {"Haltepunkt &umschalten", 152},
             {"Be&dingung...", 153},
             {"Alle Haltepunkte &löschen", 154}},
            {{"&Programmstatus", 201},
             {"&Variablen", 202},
             {"Verl&auf", 206},
             {"Variablen spei&chern...", 204},
             {"Variablen &laden...", 205},
             {"", 0},
             {"Alles &entforcen", 203}},
            {{"&Kurzanleitung", 123}, {"&Über KVX-Simulator", 124}},
        };
        for (qsizetype p = 0; p < popups.size(); ++p) {
            QCOMPARE(popups[p]->text(), titles[p]);
            const QList<QAction*> actions = popups[p]->menu()->actions();
            QCOMPARE(actions.size(), items[p].size());
            for (qsizetype i = 0; i < actions.size(); ++i) {
                QCOMPARE(actions[i]->isSeparator(), items[p][i].second == 0);
                QCOMPARE(actions[i]->text(), items[p][i].first);
                QCOMPARE(actions[i]->data().toInt(), items[p][i].second);
            }
        }
    }

    // Where two items of one menu share a mnemonic, the key only moves between them. Checked
    // with every text the menus take: recording or not, recent files shown.
    void eachMenuItemHasItsOwnMnemonic() {
        window->load(writeProgram(Blinker));
        window->setSaveDialog([this](QWidget*) -> std::optional<QString> {
            return files.filePath(QStringLiteral("r.scn"));
        });
        const auto checkDistinct = [](const QList<QAction*>& items) {
            QHash<QKeySequence, QString> seen;
            for (const QAction* item : items) {
                const QKeySequence key = QKeySequence::mnemonic(item->text());
                if (!item->isVisible() || key.isEmpty()) {
                    continue;
                }
                QVERIFY2(!seen.contains(key), qPrintable(seen[key] + " / " + item->text()));
                seen.insert(key, item->text());
            }
        };
        for (const bool recording : {false, true}) {
            if (recording) {
                window->command(MainWindow::Aufzeichnen);
            }
            QCOMPARE(window->isRecording(), recording);
            checkDistinct(window->menuBar()->actions());
            for (QAction* popup : window->menuBar()->actions()) {
                emit popup->menu()->aboutToShow();
                checkDistinct(popup->menu()->actions());
            }
        }
        window->command(MainWindow::Aufzeichnen);
    }

    void menuEnablingFollowsState_data() {
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<int>("running");
        QTest::addColumn<int>("faktor");
        QTest::newRow("stopped, fastest") << true << 0 << 1;
        QTest::newRow("running, fastest") << true << 1 << 1;
        QTest::newRow("stopped, between") << true << 0 << 2;
        QTest::newRow("running, slowest") << true << 1 << 1000;
        QTest::newRow("stopped, slowest") << true << 0 << 1000;
        QTest::newRow("no program, stopped") << false << 0 << 1;
        QTest::newRow("no program, running") << false << 1 << 3;
    }
    void menuEnablingFollowsState() {
        QFETCH(bool, loaded);
        QFETCH(int, running);
        QFETCH(int, faktor);
        if (loaded) {
            window->load(writeProgram(Blinker));
        }
        window->command(running ? MainWindow::Continue : MainWindow::Stop);
        for (int i = 1; i < faktor; ++i) {
            window->command(MainWindow::Langsamer);
        }
        QCOMPARE(window->faktor(), faktor);
        // Without a program nothing can run or step; the one recent file is the loaded one.
        const QMap<int, bool> expected{
            {101, true},
            {103, true},
            {102, faktor < 1000},
            {104, faktor > 1},
            {105, running == 0 && loaded},
            {106, running != 0},
            {107, running == 0 && loaded},
            {109, true},
            {110, true},
            {120, loaded},
            {140, loaded},
            {121, faktor > 1},
            {122, false},
            {123, true},
            {124, true},
            {131, loaded},
            {201, true},
            {202, true},
            {206, true},
            {203, true},
            {204, true},
            {205, true},
            // Nothing is halted and no breakpoint is set.
            {150, false},
            {151, false},
            {152, loaded},
            {153, loaded},
            {154, false},
            {0, true}, // separators
        };
        for (QAction* popup : window->menuBar()->actions()) {
            QMenu* menu = popup->menu();
            // A stale state from before must not survive the next opening.
            for (QAction* item : menu->actions()) {
                item->setEnabled(!expected.value(item->data().toInt()));
            }
            emit menu->aboutToShow();
            for (QAction* item : menu->actions()) {
                const int id = item->data().toInt();
                QVERIFY2(item->isEnabled() == expected.value(id), qPrintable(QString::number(id)));
                QCOMPARE(window->isCommandEnabled(id), expected.value(id));
            }
        }
    }

    void faktorStaysWithinOneAndThousand() {
        QCOMPARE(window->faktor(), 1);
        window->command(MainWindow::Schneller);
        QCOMPARE(window->faktor(), 1);
        for (int i = 0; i < 999; ++i) {
            window->command(MainWindow::Langsamer);
        }
        QCOMPARE(window->faktor(), 1000);
        window->command(MainWindow::Langsamer);
        QCOMPARE(window->faktor(), 1000);
        window->command(MainWindow::Schneller);
        QCOMPARE(window->faktor(), 999);
    }

    // A new factor applies from the moment it is chosen: the time never jumps.
    void faktorSlowsTheClockFromNowOn() {
        ticks.set(4'000'000'000u);
        catchUp(*window);
        QCOMPARE(elapsed(window->session()), 4'000'000'000u);
        window->command(MainWindow::Langsamer);
        QCOMPARE(elapsed(window->session()), 4'000'000'000u);
        ticks.set(4'000'002'000u);
        catchUp(*window);
        QCOMPARE(elapsed(window->session()), 4'000'001'000u);
        window->command(MainWindow::Schneller);
        ticks.set(4'000'003'000u);
        catchUp(*window);
        QCOMPARE(elapsed(window->session()), 4'000'002'000u);
    }

    void continueAndStopSetTheRunFlag() {
        window->command(MainWindow::Continue);
        QCOMPARE(window->isRunning(), 1);
        window->command(MainWindow::Stop);
        QCOMPARE(window->isRunning(), 0);
    }

    void unknownCommandsDoNothing_data() {
        QTest::addColumn<int>("id");
        QTest::newRow("108") << 108;
        QTest::newRow("0") << 0;
        QTest::newRow("100") << 100;
        QTest::newRow("110") << 110;
        QTest::newRow("-101") << -101;
    }
    void unknownCommandsDoNothing() {
        QFETCH(int, id);
        window->load(writeProgram(Blinker));
        window->command(MainWindow::Stop);
        window->show();
        const Block* program = window->cpu().getProgram();
        window->command(id);
        QCOMPARE(window->isRunning(), 0);
        QCOMPARE(window->faktor(), 1);
        QCOMPARE(window->cpu().getProgram(), program);
        QCOMPARE(window->panelIO().OutState[0], 0); // no scan
        QVERIFY(window->isVisible());
        QVERIFY(errors.isEmpty());
    }

    void singleStepRunsExactlyOneScan() {
        window->load(writeProgram(Blinker));
        window->command(MainWindow::Stop);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCoreApplication::processEvents();
        PaintCounter paints(window->panel());
        window->command(MainWindow::Einzelschritt);
        QCOMPARE(window->panelIO().OutState[0], 1);
        QTRY_VERIFY(paints.count > 0);
        window->command(MainWindow::Einzelschritt);
        QCOMPARE(window->panelIO().OutState[0], 0);
        QCOMPARE(window->isRunning(), 0);
    }

    void ticksScanOnlyWhileRunning() {
        window->load(writeProgram(Blinker));
        QCOMPARE(window->isRunning(), 1);
        window->tick();
        QCOMPARE(window->panelIO().OutState[0], 1);
        window->tick();
        QCOMPARE(window->panelIO().OutState[0], 0);
        window->command(MainWindow::Stop);
        window->tick();
        window->tick();
        window->tick();
        QCOMPARE(window->panelIO().OutState[0], 0);
    }

    void resetKeepsRunningAndRaisesTheFirstScanBit() {
        window->load(writeProgram(Blinker));
        window->tick();
        const MemField& sm = window->cpu().area(Parameter::SMType);
        QCOMPARE(sm.readBit(0, 1), 0);
        window->command(MainWindow::Reset);
        QCOMPARE(sm.readBit(0, 1), 1);
        QCOMPARE(window->isRunning(), 1);
        window->command(MainWindow::Stop);
        window->command(MainWindow::Reset);
        QCOMPARE(window->isRunning(), 0);
    }

    void beendenClosesWithoutADialog() {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->command(MainWindow::Beenden);
        QVERIFY(!window->isVisible());
        QVERIFY(!timer()->isActive());
        QVERIFY(errors.isEmpty());
    }

    void ladenLoadsTheChosenFile() {
        QList<QWidget*> owners;
        window->setOpenDialog([&](QWidget* owner) -> std::optional<QString> {
            owners << owner;
            return Lamps;
        });
        window->command(MainWindow::Laden);
        QCOMPARE(owners, QList<QWidget*>{window.get()});
        QVERIFY(window->cpu().getProgram() != nullptr);
        QCOMPARE(window->isRunning(), 1);
        QVERIFY(errors.isEmpty());
    }

    void cancelledDialogChangesNothing() {
        window->load(writeProgram(Blinker));
        window->command(MainWindow::Stop);
        const Block* program = window->cpu().getProgram();
        window->setOpenDialog([](QWidget*) { return std::optional<QString>(); });
        window->command(MainWindow::Laden);
        QCOMPARE(window->cpu().getProgram(), program);
        QCOMPARE(window->isRunning(), 0);
        QVERIFY(errors.isEmpty());
    }

    void successfulLoadResetsAndRuns() {
        window->load(Lamps);
        QVERIFY(errors.isEmpty());
        QVERIFY(window->cpu().getProgram() != nullptr);
        QCOMPARE(window->isRunning(), 1);
        const MemField& sm = window->cpu().area(Parameter::SMType);
        QCOMPARE(sm.readBit(0, 0), 1);
        QCOMPARE(sm.readBit(0, 1), 1);
        // A second load replaces the first program and starts it afresh.
        window->tick();
        const Block* first = window->cpu().getProgram();
        window->command(MainWindow::Stop);
        window->load(writeProgram(Blinker));
        QVERIFY(window->cpu().getProgram() != first);
        QCOMPARE(sm.readBit(0, 1), 1);
        QCOMPARE(window->isRunning(), 1);
    }

    void failedLoadKeepsProgramAndRunState_data() {
        QTest::addColumn<QByteArray>("text"); // empty: the file does not exist
        QTest::addColumn<int>("running");
        QTest::addColumn<QString>("error"); // start of the reported text
        const QByteArray unknown = oneNetwork("LD E0.0\nXYZ E0.1\n");
        QTest::newRow("missing file, stopped") << QByteArray() << 0 << "File ";
        QTest::newRow("missing file, running") << QByteArray() << 1 << "File ";
        QTest::newRow("unknown mnemonic, stopped") << unknown << 0 << "Parse-error(5)";
        QTest::newRow("unknown mnemonic, running") << unknown << 1 << "Parse-error(5)";
        QTest::newRow("bad operand") << oneNetwork("LD Q9.9\n") << 1 << "Parse-error(4)";
        QTest::newRow("no block") << QByteArray("BEGIN\n") << 0 << "Parse-error(1)";
    }
    void failedLoadKeepsProgramAndRunState() {
        QFETCH(QByteArray, text);
        QFETCH(int, running);
        QFETCH(QString, error);
        window->load(writeProgram(Blinker));
        window->command(running ? MainWindow::Continue : MainWindow::Stop);
        const Block* program = window->cpu().getProgram();
        const QString path = text.isEmpty() ? files.filePath("missing.awl") : writeProgram(text);

        window->load(path);

        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].startsWith(error), qPrintable(errors[0]));
        if (text.isEmpty()) {
            QCOMPARE(errors[0], "File " + path + " not found");
        }
        QCOMPARE(window->cpu().getProgram(), program);
        QCOMPARE(window->isRunning(), running);
    }

    void scanFaultStopsAndReportsOnce() {
        window->load(writeProgram(overflowing()));
        QCOMPARE(window->isRunning(), 1);
        // A report that keeps the event loop going (as a modal box does) sees the timer
        // still ticking: those ticks must not scan or report again.
        window->setErrorReport([this](QWidget*, const QString& text) {
            errors << text;
            window->tick();
            window->tick();
        });
        window->tick();
        QCOMPARE(errors, QStringList{"StackOverflow (line 158: LD)"});
        QCOMPARE(window->isRunning(), 0);
        // The faulty scan never reached the output transfer.
        QCOMPARE(window->panelIO().OutState[0], 0);
        window->tick();
        QCOMPARE(errors.size(), 1);

        window->command(MainWindow::Continue);
        QCOMPARE(window->isRunning(), 1);
        window->tick();
        QCOMPARE(errors.size(), 2);
        QCOMPARE(window->isRunning(), 0);
    }

    void singleStepFaultIsReported() {
        window->load(writeProgram(overflowing()));
        window->command(MainWindow::Stop);
        window->command(MainWindow::Einzelschritt);
        QCOMPARE(errors, QStringList{"StackOverflow (line 158: LD)"});
        QCOMPARE(window->isRunning(), 0);
        QVERIFY(window->cpu().getProgram() != nullptr);
    }

    // The two-lamp example: LED A0.1 burns while switch E0.2 is off.
    void panelShowsTheRunningProgram() {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->load(Lamps);
        window->tick();
        QImage image = shot(window->panel());
        QCOMPARE(ledCentre(image, 1), LitRed);
        QCOMPARE(ledCentre(image, 0), DarkGrey);
        QCOMPARE(upperKnob(image, 2), Knob);

        QTest::keyClick(&window->panel(), '2');
        window->tick();
        image = shot(window->panel());
        QCOMPARE(ledCentre(image, 1), DarkGrey);
        QCOMPARE(lowerKnob(image, 2), Knob);

        // Lamp 1 needs switches 0 and 1: one by key, one by mouse.
        QTest::keyClick(&window->panel(), '0');
        QTest::mouseClick(&window->panel(), Qt::LeftButton, {}, QPoint(columnX(1) + 5, 200));
        window->tick();
        image = shot(window->panel());
        QCOMPARE(ledCentre(image, 0), LitRed);
        QCOMPARE(window->cpu().area(Parameter::EType).readByte(0), 0x07);
    }

private:
    QTimer* timer() const { return window->findChild<QTimer*>(QStringLiteral("scanTimer")); }

    QString writeProgram(const QByteArray& text) {
        const QString path = files.filePath(QString("p%1.awl").arg(++written));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
            qFatal("cannot write %s", qPrintable(path));
        }
        return path;
    }

    SimClock ticks;
    std::unique_ptr<MainWindow> window;
    QStringList errors;
    QTemporaryDir files;
    int written = 0;
};

int runWindowTests(int argc, char** argv) {
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kvx
#include "window_test.moc"
