// Desktop conventions of the shown, active window: shortcuts as the user types them, the
// switches' keys after the menu bar had the keyboard, where error boxes appear, the Hilfe
// pages and the speed shown in the Timer menu.
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include <QAbstractItemView>
#include <QDialog>
#include <QDockWidget>
#include <QExposeEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProxyStyle>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>

#include "core/clock.h"
#include "frontend/dialogs.h"
#include "frontend/help.h"
#include "frontend/mainwindow.h"
#include "frontend/menus.h"
#include "frontend/panel.h"
#include "frontend/settings.h"
#include "frontend/status_model.h"
#include "frontend/status_view.h"
#include "frontend/watch_view.h"
#include "tests/frontend/runners.h"
#include "tests/frontend/window_helpers.h"

namespace kvx {

namespace {

// A0.0 flips on every scan.
const QByteArray Blinker =
    "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\nLDN A0.0\n= A0.0\nEND_ORGANIZATION_BLOCK\n";
const QByteArray Broken =
    "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\nLDX E0.0\nEND_ORGANIZATION_BLOCK\n";

// Where the keyboard goes: an open menu, else the focused widget, as the window system sends.
QWidget* keyboardTarget(QWidget& window) {
    if (QWidget* popup = QApplication::activePopupWidget()) {
        return popup;
    }
    return QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &window;
}

void type(QWidget& window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(keyboardTarget(window), key, modifiers);
}

void type(QWidget& window, const QKeySequence& keys) {
    for (int i = 0; i < keys.count(); ++i) {
        type(window, keys[i].key(), keys[i].keyboardModifiers());
    }
}

// Desktops whose style lets Alt alone give the menu bar the keyboard.
class AltNavigationStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* answer) const override {
        if (hint == SH_MenuBar_AltKeyNavigation) {
            return 1;
        }
        return QProxyStyle::styleHint(hint, option, widget, answer);
    }
};

// Passes a window's first expose on once more, as a window manager may.
class ExposeTwice final : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && !sent) {
            sent = true;
            QExposeEvent again(QRegion(0, 0, 1, 1));
            QCoreApplication::sendEvent(watched, &again);
        }
        return false;
    }

private:
    bool sent = false;
};

QPoint centreOf(const QRect& frame) {
    return frame.topLeft() + QPoint(frame.width() / 2, frame.height() / 2);
}

} // namespace

class DesktopTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        errors.clear();
        files = std::make_unique<QTemporaryDir>();
        window = std::make_unique<MainWindow>(ticks);
        window->findChild<QTimer*>(QStringLiteral("scanTimer"))->stop();
        window->setSettings(Settings(files->filePath(QStringLiteral("kvx-sim.ini"))));
        window->setErrorReport([this](QWidget*, const QString& text) { errors << text; });
        dialogs = 0;
        window->setOpenDialog([this](QWidget*) -> std::optional<QString> {
            ++dialogs;
            return std::nullopt;
        });
        program = files->filePath(QStringLiteral("blink.awl"));
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(Blinker) == Blinker.size());
    }
    void cleanup() {
        window.reset();
        files.reset();
    }

    // Each key, typed into the active window, runs its command in a state that allows it;
    // the state is set by commands alone, so the keys follow it without a menu being opened.
    // The menu shows the first key of an item.
    void everyShortcutRunsItsCommand() {
        using Check = std::function<bool(MainWindow&)>;
        struct Case {
            const char* keys;
            bool shown;
            int id;
            int before; // a command that sets the state, or 0
            Check done;
        };
        const Check firstScan = [](MainWindow& w) {
            return w.cpu().area(Parameter::SMType).readBit(0, 1) == 1;
        };
        const Check running = [](MainWindow& w) { return w.isRunning() == 1; };
        const Check stopped = [](MainWindow& w) { return w.isRunning() == 0; };
        const Check stepped = [](MainWindow& w) { return w.panelIO().OutState[0] == 1; };
        const Check guide = [](MainWindow& w) {
            const auto* page = w.findChild<QDialog*>(QStringLiteral("quickGuide"));
            return page != nullptr && page->isVisible();
        };
        const Case cases[] = {
            {"Ctrl+O", true, MainWindow::Laden, 0, [this](MainWindow&) { return dialogs == 1; }},
            {"F5", true, MainWindow::NeuLaden, 0, firstScan},
            {"Ctrl+Q", true, MainWindow::Beenden, 0, [](MainWindow& w) { return !w.isVisible(); }},
            {"F9", true, MainWindow::Continue, MainWindow::Stop, running},
            {"Shift+F9", true, MainWindow::Stop, 0, stopped},
            {"F6", false, MainWindow::Stop, 0, stopped},
            {"F10", true, MainWindow::Einzelschritt, MainWindow::Stop, stepped},
            {"F7", false, MainWindow::Einzelschritt, MainWindow::Stop, stepped},
            {"Ctrl+R", true, MainWindow::Reset, 0, firstScan},
            {"Ctrl+Shift+R", true, MainWindow::Urloeschen, MainWindow::Einzelschritt,
             [&](MainWindow& w) { return firstScan(w) && w.panelIO().OutState[0] == 0; }},
            {"Ctrl++", true, MainWindow::Schneller, MainWindow::Langsamer,
             [](MainWindow& w) { return w.faktor() == 1; }},
            {"Ctrl+-", true, MainWindow::Langsamer, 0,
             [](MainWindow& w) { return w.faktor() == 2; }},
            {"F1", true, MainWindow::Kurzanleitung, 0, guide},
        };
        for (const Case& c : cases) {
            init();
            const QString row = QStringLiteral("%1 (%2)").arg(c.keys).arg(c.id);
            showActive();
            window->load(program);
            window->command(MainWindow::Einzelschritt); // clears the first-scan bit and A0.0
            window->command(MainWindow::Einzelschritt);
            window->command(c.before);
            QAction* action = actionOf(c.id);
            QVERIFY2(action != nullptr, qPrintable(row));
            const QKeySequence keys(QString::fromLatin1(c.keys));
            QVERIFY2(action->shortcuts().contains(keys), qPrintable(row));
            QVERIFY2((action->shortcut() == keys) == c.shown, qPrintable(row));
            QSignalSpy fired(action, &QAction::triggered);
            type(*window, keys);
            QVERIFY2(fired.count() == 1, qPrintable(row));
            QVERIFY2(c.done(*window), qPrintable(row));
            cleanup();
        }
        init();
    }

    void noShortcutTakesASwitchKey() {
        for (QAction* popup : window->menuBar()->actions()) {
            for (QAction* item : popup->menu()->actions()) {
                for (const QKeySequence& keys : item->shortcuts()) {
                    for (int digit = 0; digit <= 7; ++digit) {
                        QVERIFY2(keys != QKeySequence(Qt::Key_0 + digit), qPrintable(item->text()));
                    }
                }
            }
        }
    }

    // However the menu bar got the keyboard and gave it back, 3 flips E0.3 at once.
    void switchKeysWorkAfterTheMenuBar_data() {
        QTest::addColumn<bool>("altNavigation");
        QTest::addColumn<QStringList>("keys"); // "Alt": the Alt key alone
        QTest::newRow("menu by mnemonic, Esc twice") << false << QStringList{"Alt+D", "Esc", "Esc"};
        QTest::newRow("menu by mnemonic, Esc once") << false << QStringList{"Alt+D", "Esc"};
        QTest::newRow("menu by mnemonic, Alt") << false << QStringList{"Alt+T", "Esc", "Alt"};
        QTest::newRow("menu, Right, Esc") << false << QStringList{"Alt+R", "Right", "Esc"};
        QTest::newRow("Alt, Esc") << true << QStringList{"Alt", "Esc"};
        QTest::newRow("Alt, Alt") << true << QStringList{"Alt", "Alt"};
        QTest::newRow("Alt, still in the menu bar") << true << QStringList{"Alt"};
        QTest::newRow("Alt, Right") << true << QStringList{"Alt", "Right"};
    }
    void switchKeysWorkAfterTheMenuBar() {
        QFETCH(bool, altNavigation);
        QFETCH(QStringList, keys);
        AltNavigationStyle style;
        if (altNavigation) {
            window->menuBar()->setStyle(&style);
        }
        showActive();
        for (const QString& key : keys) {
            if (key == "Alt") {
                // As a keyboard sends it: the press carries the Alt modifier, the release not.
                type(*window, Qt::Key_Alt, Qt::AltModifier);
            } else {
                type(*window, QKeySequence(key));
            }
        }
        QVERIFY(QApplication::activePopupWidget() == nullptr);
        type(*window, Qt::Key_3);
        QCOMPARE(window->panelIO().InState[3], 1);
        type(*window, Qt::Key_3);
        QCOMPARE(window->panelIO().InState[3], 0);
        QCOMPARE(QApplication::focusWidget(), &window->panel());
        window->menuBar()->setStyle(nullptr);
    }

    // The keys flip the switches from either dock, docked or floating, but go into a cell
    // being edited.
    void switchKeysWorkInEveryDockButNotWhileEditing() {
        showActive();
        window->load(program);
        window->command(MainWindow::Programmstatus);
        window->command(MainWindow::Variablen);
        QTableView& watch = window->watchView().table();
        auto* status = window->statusView().findChild<QAbstractItemView*>();
        QVERIFY(status != nullptr);
        const std::pair<QWidget*, int> targets[] = {
            {status, 3}, {&watch, 4}, {window->statusView().window(), 1}};
        for (const auto& [target, no] : targets) {
            target->setFocus();
            QTest::keyClick(target, static_cast<char>('0' + no));
            QVERIFY2(window->panelIO().InState[static_cast<std::size_t>(no)] == 1,
                     qPrintable(QString::number(no)));
        }
        window->watchDock().setFloating(true);
        QVERIFY(window->watchDock().isWindow());
        QTest::keyClick(&watch, '5');
        QCOMPARE(window->panelIO().InState[5], 1);

        watch.setFocus();
        watch.setCurrentIndex(watch.model()->index(0, WatchView::OperandColumn));
        QTest::keyClick(&watch, Qt::Key_F2);
        auto* editor = watch.viewport()->findChild<QLineEdit*>();
        QVERIFY(editor != nullptr);
        QTest::keyClick(editor, '6');
        QCOMPARE(window->panelIO().InState[6], 0);
        QCOMPARE(editor->text(), QStringLiteral("6"));
    }

    // Open, floating or closed, the docks come back as they were at the next start.
    void docksComeBackAsTheyWere() {
        showActive();
        window->command(MainWindow::Variablen);
        window->watchDock().setFloating(true);
        window->close();
        MainWindow next(ticks);
        next.setSettings(window->settings());
        QVERIFY(next.watchDock().isVisibleTo(&next));
        QVERIFY(next.watchDock().isFloating());
        QVERIFY(!next.statusDock().isVisibleTo(&next));
    }

    // A window system may expose the window more than once before the start file is loaded:
    // it must still load once.
    void startFileLoadsOnce() {
        QSignalSpy loads(window.get(), &MainWindow::loadFinished);
        window->openAtStart(program);
        ExposeTwice twice;
        window->windowHandle()->installEventFilter(&twice);
        showActive();
        QTRY_COMPARE(loads.count(), 1);
        QTest::qWait(50);
        QCOMPARE(loads.count(), 1);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    }

    // ---- error boxes ----------------------------------------------------------------------

    void errorBoxIsCentredOnTheWindow_data() {
        QTest::addColumn<bool>("atStart");
        QTest::newRow("while running") << false;
        QTest::newRow("at start-up") << true;
    }
    void errorBoxIsCentredOnTheWindow() {
        QFETCH(bool, atStart);
        const QString broken = files->filePath(QStringLiteral("broken.awl"));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(Broken) == Broken.size());
        file.close();
        window->setErrorReport(showErrorBox);
        window->move(310, 170);

        std::optional<QRect> box;
        QString text;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, this, [&] {
            auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (shown != nullptr && shown->isVisible()) {
                box = shown->frameGeometry();
                text = shown->text();
                shown->accept();
            }
        });
        watcher.start(10);
        if (atStart) {
            window->openAtStart(broken);
            showActive();
            QTRY_VERIFY(box.has_value());
        } else {
            showActive();
            window->load(broken);
            QVERIFY(box.has_value());
        }
        const QPoint offset = centreOf(*box) - centreOf(window->frameGeometry());
        QVERIFY2(offset.manhattanLength() <= 2,
                 qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
        QCOMPARE(text, QStringLiteral("Parse-error(4):Unknown Operation\nbroken.awl, line 4: "
                                      "\"LDX\""));
    }

    // ---- Hilfe and the Timer menu ---------------------------------------------------------

    void quickGuideListsTheKeysTheMenusHave() {
        const QString page = quickGuideHtml(window->menuBar()->actions());
        for (const char* expected : {"Tastatur", "Maus", "Men&uuml;s", "Run &gt; Stop",
                                     "Shift+F9</b> oder <b>F6", "Datei &gt; Neu laden", "F5"}) {
            QVERIFY2(page.contains(QString::fromLatin1(expected)), expected);
        }
        QTextDocument text;
        text.setHtml(page);
        for (QAction* popup : window->menuBar()->actions()) {
            for (QAction* item : popup->menu()->actions()) {
                const QString name = item->iconText().remove(QStringLiteral("..."));
                // The speed and the recent files are no commands of their own.
                const bool command = item->data().toInt() != MainWindow::FaktorAnzeige &&
                                     !isRecentFile(item->data().toInt());
                QVERIFY2(!command || text.toPlainText().contains(name), qPrintable(name));
                // The menu shows one key; its tip names all.
                for (const QKeySequence& key : item->shortcuts()) {
                    QVERIFY2(item->shortcuts().size() == 1 ||
                                 item->toolTip().contains(key.toString(QKeySequence::NativeText)),
                             qPrintable(name));
                }
            }
        }
        window->command(MainWindow::Kurzanleitung);
        window->command(MainWindow::Kurzanleitung);
        const QList<QDialog*> pages = window->findChildren<QDialog*>(QStringLiteral("quickGuide"));
        QCOMPARE(pages.size(), 1);
        QVERIFY(pages[0]->isVisible());
        QVERIFY(pages[0]->findChild<QTextBrowser*>()->toPlainText().contains("Tastenk"));
    }

    void aboutNamesVersionLicenceAndQt() {
        const QString text = aboutText();
        QVERIFY(text.contains(QRegularExpression("KVX-Simulator \\d+\\.\\d+")));
        QVERIFY(text.contains("Lizenz: "));
        QVERIFY(text.contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())));
        window->command(MainWindow::Ueber);
        auto* box = window->findChild<QMessageBox*>(QStringLiteral("about"));
        QVERIFY(box != nullptr && box->isVisible());
        // It leaves the simulation running.
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void timerMenuShowsTheFactorAndEchtzeitResetsIt() {
        QMenu* timerMenu = window->menuBar()->actions()[1]->menu();
        for (int i = 0; i < 3; ++i) {
            window->command(MainWindow::Langsamer);
        }
        emit timerMenu->aboutToShow();
        QAction* row = timerMenu->actions().first();
        QCOMPARE(row->text(), QStringLiteral("Faktor 1:4"));
        QVERIFY(!row->isEnabled());
        QVERIFY(actionOf(MainWindow::Echtzeit)->isEnabled());
        window->command(MainWindow::Echtzeit);
        QCOMPARE(window->faktor(), 1);
        QCOMPARE(row->text(), QStringLiteral("Faktor 1:1"));
        QVERIFY(!actionOf(MainWindow::Echtzeit)->isEnabled());
    }

    void emptyWindowSaysSoUntilAProgramLoads() {
        QVERIFY(window->panel().hint().startsWith(QStringLiteral("Kein Programm geladen\n")));
        QVERIFY(window->panel().hint().contains(QStringLiteral(".awl")));
        window->load(files->filePath(QStringLiteral("missing.awl")));
        QVERIFY(!window->panel().hint().isEmpty());
        window->load(program);
        QVERIFY(window->panel().hint().isEmpty());
    }

    // ---- the debugger ---------------------------------------------------------------------

    // F8 on a row sets a breakpoint there; the scan halts before it, F11 steps one instruction
    // at a time while the Stack column grows, and Shift+F11 ends the scan, which alone brings
    // the outputs to the LEDs. Continue halts in the next scan, Stop ends it stopped, and the
    // recording holds every halt.
    void breakpointHaltsAndStepsFromTheKeys() {
        const QString scenario = files->filePath(QStringLiteral("halts.scn"));
        window->setSaveDialog([&](QWidget*) -> std::optional<QString> { return scenario; });
        writeBranch(program);
        showActive();
        window->load(program);
        window->command(MainWindow::Aufzeichnen);
        window->command(MainWindow::Programmstatus);
        // One plain scan with every switch off: the LEDs are all dark.
        scanOnce();
        // A halted scan's time is the learner's, not the program's: it leaves the scan times.
        const auto scanTime = [&] {
            const QString rate = window->statusTexts()[1];
            return rate.mid(rate.indexOf(QStringLiteral("Zyklus")));
        };
        const QString plainScan = scanTime();
        window->session().setSwitch(0, 1);
        QTableView& table = window->statusView().table();
        const StatusModel& rows = window->statusView().model();
        table.setCurrentIndex(rows.index(rows.rowOfLine(5), StatusModel::LineColumn));
        table.setFocus();
        type(*window, Qt::Key_F8);
        QCOMPARE(window->session().breakpoints().size(), 1u);
        QVERIFY(!rows.index(rows.rowOfLine(5), StatusModel::GutterColumn)
                     .data(Qt::DecorationRole)
                     .isNull());
        scanOnce();
        QCOMPARE(window->statusTexts()[0], QStringLiteral("Angehalten: Zeile 5"));
        const auto stackAt = [&](int line) {
            return rows.index(rows.rowOfLine(line), StatusModel::StackColumn).data().toString();
        };
        const auto italic = [&](int line) {
            return rows.index(rows.rowOfLine(line), StatusModel::InstructionColumn)
                .data(Qt::FontRole)
                .value<QFont>()
                .italic();
        };
        QCOMPARE(stackAt(4), QStringLiteral("1"));
        QVERIFY(stackAt(5).isEmpty() && italic(6));
        const char* const stacks[] = {"11", "01", "01"};
        for (int line = 5; line <= 7; ++line) {
            type(*window, Qt::Key_F11);
            QCOMPARE(stackAt(line), QString::fromLatin1(stacks[line - 5]));
            QCOMPARE(window->statusTexts()[0],
                     QStringLiteral("Angehalten: Zeile %1").arg(line + 1));
            QVERIFY(italic(line + 2));
            // A0.0 is written, but reaches its LED only when the scan ends.
            QCOMPARE(window->panelIO().OutState, (std::array<int, MyIO::Size>{}));
        }
        type(*window, Qt::Key_F11, Qt::ShiftModifier);
        QVERIFY(!window->session().isHalted());
        QCOMPARE(window->panelIO().OutState, (std::array<int, MyIO::Size>{0, 1, 1}));
        QCOMPARE(stackAt(12), QStringLiteral("1"));
        QCOMPARE(scanTime(), plainScan);
        scanOnce();
        type(*window, Qt::Key_F9);
        QVERIFY(!window->session().isHalted() && window->isRunning());
        scanOnce();
        QCOMPARE(window->statusTexts()[0], QStringLiteral("Angehalten: Zeile 5"));
        type(*window, Qt::Key_F9, Qt::ShiftModifier);
        QVERIFY(!window->session().isHalted() && !window->isRunning());
        window->command(MainWindow::Aufzeichnen);
        QFile file(scenario);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY2(text.count(QStringLiteral("break 5\n")) == 3 &&
                     text.count(QStringLiteral("next\n")) == 3 &&
                     text.contains(QStringLiteral("finish\n")),
                 qPrintable(text));
    }

    // The dialog's condition is parsed by the session, which says why it refuses one; the
    // breakpoint halts only while it holds. A reload keeps the breakpoints whose lines still
    // hold an instruction; another program starts without any.
    void conditionalBreakpointHaltsOnlyWhenItHolds() {
        writeBranch(program);
        window->load(program);
        QStringList refusals;
        window->setConditionDialog(
            [&](QWidget*, int line, const QString& current, const ConditionApply& apply) {
                refusals << QString::number(line) + current;
                refusals << apply(QStringLiteral("XY1 = 1")).value_or(QString());
                refusals << apply(QStringLiteral("E0.1 = 1")).value_or(QString());
                return true;
            });
        QTableView& table = window->statusView().table();
        const StatusModel& rows = window->statusView().model();
        table.setCurrentIndex(rows.index(rows.rowOfLine(6), StatusModel::LineColumn));
        window->command(MainWindow::Bedingung);
        QVERIFY2(refusals.size() == 3 && refusals[0] == QStringLiteral("6") &&
                     refusals[1].contains(QStringLiteral("XY1")) && refusals[2].isEmpty(),
                 qPrintable(refusals.join('|')));
        QVERIFY(rows.index(rows.rowOfLine(6), StatusModel::GutterColumn)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("E0.1 = 1")));
        window->session().setSwitch(0, 1);
        scanOnce();
        QVERIFY(!window->session().isHalted());
        window->session().setSwitch(1, 1);
        scanOnce();
        QCOMPARE(window->session().haltedLine(), std::optional<int>(6));

        table.setCurrentIndex(rows.index(rows.rowOfLine(12), StatusModel::LineColumn));
        window->command(MainWindow::HaltepunktUmschalten);
        QCOMPARE(window->session().breakpoints().size(), 2u);
        QByteArray shorter = branch();
        shorter.replace("= A0.2\n", "");
        writeProgram(program, shorter);
        window->command(MainWindow::NeuLaden);
        const std::vector<Breakpoint> kept = window->session().breakpoints();
        QVERIFY(kept.size() == 1 && kept[0].line == 6 && kept[0].condition == "E0.1 = 1");
        const QString other = files->filePath(QStringLiteral("other.awl"));
        writeBranch(other);
        window->load(other);
        QVERIFY(window->session().breakpoints().empty());
    }

private:
    // Lines 4 to 12: a branch with LPS, LRD and LPP; E0.0 and E0.1 light A0.0, E0.0 alone
    // A0.1, E0.0 A0.2.
    static QByteArray branch() {
        return "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n" // 1-3
               "LD E0.0\nLPS\nU E0.1\n= A0.0\n"                  // 4-7
               "LRD\nUN E0.1\n= A0.1\nLPP\n= A0.2\n"             // 8-12
               "END_ORGANIZATION_BLOCK\n";
    }
    static void writeProgram(const QString& path, const QByteArray& text) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }
    static void writeBranch(const QString& path) { writeProgram(path, branch()); }

    // One tick of the machine's clock: one scan, if one is owed.
    void scanOnce() {
        ticks.advance(1);
        catchUp(*window);
    }

    void showActive() {
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    QAction* actionOf(int id) const {
        for (QAction* popup : window->menuBar()->actions()) {
            for (QAction* item : popup->menu()->actions()) {
                if (item->data().toInt() == id) {
                    return item;
                }
            }
        }
        return nullptr;
    }

    SimClock ticks;
    std::unique_ptr<QTemporaryDir> files;
    std::unique_ptr<MainWindow> window;
    QString program;
    QStringList errors;
    int dialogs = 0;
};

int runDesktopTests(int argc, char** argv) {
    DesktopTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kvx
#include "desktop_test.moc"
