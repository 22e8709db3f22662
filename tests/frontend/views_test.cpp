// Looking inside the running program from the window: the program-status view (on a large
// program too, with forced operands, timers without a preset and the faulting scan's row), the
// watch table with forcing, the status bar and the location of a run-time fault.
#include <memory>
#include <sstream>
#include <tuple>
#include <vector>

#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "core/clock.h"
#include "core/status.h"
#include "frontend/forced_colour.h"
#include "frontend/mainwindow.h"
#include "frontend/panel.h"
#include "frontend/status_model.h"
#include "frontend/status_view.h"
#include "frontend/watch_view.h"
#include "scenario/program_file.h"
#include "scenario/scenario.h"
#include "tests/frontend/panel_helpers.h"
#include "tests/frontend/runners.h"
#include "tests/frontend/window_helpers.h"

namespace kvx {

using namespace panelprobe;

namespace {

// Lines 4 to 12 hold the instructions; S0.1 is never set, so its segment stays inactive.
const QByteArray Program = "ORGANIZATION_BLOCK MAIN:OB1\n" // 1
                           "BEGIN\n"                       // 2
                           "NETWORK 1\n"                   // 3
                           "LD E0.0\n"                     // 4
                           "= A0.0\n"                      // 5
                           "MOVB 42 VB7\n"                 // 6
                           "NETWORK 2\n"                   // 7
                           "LSCR S0.1\n"                   // 8
                           "LD SM0.0\n"                    // 9
                           "= A0.7\n"                      // 10
                           "SCRE\n"                        // 11
                           "NETWORK 3\n"                   // 12
                           "LD E0.6\n"                     // 13
                           "S V99.0 9\n"                   // 14
                           "END_ORGANIZATION_BLOCK\n";

// `networks` networks of three lines from line 3, then unused T5 and Z3, and S V99.0 9 on
// line 3 * networks + 7, which runs past V and raises whenever `fault` is on.
QByteArray program(int networks, const QByteArray& fault = "E0.6") {
    QByteArray text = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\n";
    for (int n = 1; n <= networks; ++n) {
        text += "NETWORK " + QByteArray::number(n) + "\nLD E0.0\n= A0.0\n";
    }
    return text + "NETWORK 0\nLD T5\nU Z3\nLD " + fault + "\nS V99.0 9\nEND_ORGANIZATION_BLOCK\n";
}

} // namespace

class ViewsTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        errors.clear();
        window = std::make_unique<MainWindow>(ticks);
        window->findChild<QTimer*>(QStringLiteral("scanTimer"))->stop();
        window->findChild<QTimer*>(QStringLiteral("viewTimer"))->stop();
        window->setErrorReport([this](QWidget*, const QString& text) { errors << text; });
        // Each test starts without the watch table the test before kept for the program.
        const QString settings = files.filePath(QStringLiteral("settings.ini"));
        QFile::remove(settings);
        window->setSettings(Settings(settings));
        path = files.filePath(QStringLiteral("prog.awl"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Program);
        file.close();
        window->load(path);
        QVERIFY(errors.isEmpty());
    }
    void cleanup() { window.reset(); }

    void titleAndStatusBarNameTheFileAndState() {
        QCOMPARE(window->windowTitle(), QStringLiteral("prog.awl - KVX-Simulator"));
        QStringList texts = window->statusTexts();
        QCOMPARE(texts[0], QStringLiteral("Läuft"));
        QCOMPARE(texts[2], QStringLiteral("Zeit 0.000 s, Faktor 1:1"));
        QCOMPARE(texts[3], QStringLiteral("prog.awl"));
        window->command(MainWindow::Langsamer);
        ticks.set(12345 * 2);
        // The window's time moves with the scan timer.
        catchUp(*window);
        window->command(MainWindow::Stop);
        texts = window->statusTexts();
        QCOMPARE(texts[0], QStringLiteral("Gestoppt"));
        QCOMPARE(texts[2], QStringLiteral("Zeit 12.345 s, Faktor 1:2"));
        // The panel keeps its size; the bar adds to the window below it.
        QCOMPARE(window->panel().size(), QSize(PanelWidget::Width, PanelWidget::Height));
    }

    void statusRowsShowTheCapturedScan() {
        window->command(MainWindow::Programmstatus);
        QVERIFY(window->statusView().isVisibleTo(window.get()));
        window->panelIO().ChangeInput(0);
        window->tick();
        const StatusModel& table = window->statusView().model();
        const struct {
            int line;
            QString result;
            QString first;
            QString second;
            bool grayed;
        } rows[] = {
            {4, "1", "1", "", false},  {5, "1", "1", "", false},   {6, "1", "42", "42", false},
            {9, "-", "", "", true},    {10, "-", "", "", true},    {11, "0", "", "", false},
            {13, "0", "0", "", false}, {14, "0", "0", "9", false},
        };
        for (const auto& r : rows) {
            const int row = table.rowOfLine(r.line);
            QVERIFY2(row >= 0, qPrintable(QString::number(r.line)));
            QCOMPARE(text(row, StatusModel::ResultColumn), r.result);
            QCOMPARE(text(row, StatusModel::FirstOperand), r.first);
            QCOMPARE(text(row, StatusModel::SecondOperand), r.second);
            const bool grayed =
                cell(row, StatusModel::InstructionColumn, Qt::ForegroundRole).value<QColor>() ==
                QColor(150, 150, 150);
            QCOMPARE(grayed, r.grayed);
        }
        // A marker in the LEDs' red for a result of 1.
        const QIcon marker =
            cell(table.rowOfLine(4), StatusModel::ResultColumn, Qt::DecorationRole).value<QIcon>();
        QCOMPARE(marker.pixmap(12, 12).toImage().pixelColor(6, 6), QColor(220, 30, 30));

        // Between captures the view holds still, even though scans go on.
        window->panelIO().ChangeInput(0);
        window->tick();
        QCOMPARE(text(table.rowOfLine(4), StatusModel::ResultColumn), "1");
        // A single step shows at once.
        window->command(MainWindow::Stop);
        window->command(MainWindow::Einzelschritt);
        QCOMPARE(text(table.rowOfLine(4), StatusModel::ResultColumn), "0");
    }

    void faultIsLocatedInTheBoxTheBarAndTheView() {
        window->command(MainWindow::Programmstatus);
        window->panelIO().ChangeInput(6);
        window->tick();
        QCOMPARE(errors, QStringList{"Out of field read (line 14: S)"});
        QCOMPARE(window->statusTexts()[0],
                 QStringLiteral("Gestoppt durch Fehler: Out of field read (line 14: S)"));
        const StatusModel& table = window->statusView().model();
        QCOMPARE(cell(table.rowOfLine(14), StatusModel::InstructionColumn, Qt::BackgroundRole)
                     .value<QColor>(),
                 QColor(255, 215, 215));
        QVERIFY(!cell(table.rowOfLine(13), 0, Qt::BackgroundRole).isValid());
    }

    // The way a user does it: the menu item, then typing into the table's cells.
    void watchTableFromTheMenuAndTheKeyboard() {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QAction* item = menuItem(MainWindow::Variablen);
        QVERIFY(item != nullptr);
        item->trigger();
        WatchView& view = window->watchView();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QTableView& table = view.table();

        typeInto(table, 0, WatchView::OperandColumn, "VB7");
        typeInto(table, 1, WatchView::OperandColumn, "A0.0");
        typeInto(table, 2, WatchView::OperandColumn, "XY1");
        QCOMPARE(table.model()->rowCount(), 4); // an empty row waits for the next operand
        window->panelIO().ChangeInput(0);
        window->tick();
        view.refresh();
        QCOMPARE(cell(table, 0, WatchView::ValueColumn), QStringLiteral("42"));
        setCell(table, 0, WatchView::FormatColumn, "Hex");
        QCOMPARE(cell(table, 0, WatchView::ValueColumn), QStringLiteral("16#2A"));
        setCell(table, 0, WatchView::FormatColumn, QStringLiteral("Binär"));
        QCOMPARE(cell(table, 0, WatchView::ValueColumn), QStringLiteral("2#00101010"));
        QCOMPARE(cell(table, 2, WatchView::Message), QStringLiteral("XY1: Unknown Parameter Type"));
        QVERIFY(errors.isEmpty());

        // Write once: the program's move puts 42 back at the next scan.
        typeInto(table, 0, WatchView::ControlColumn, "7");
        table.setCurrentIndex(table.model()->index(0, WatchView::ControlColumn));
        QTest::mouseClick(view.findChild<QPushButton*>(QStringLiteral("writeButton")),
                          Qt::LeftButton);
        QCOMPARE(window->cpu().area(Parameter::VType).readByte(7), 7);
        window->tick();
        view.refresh();
        QCOMPARE(cell(table, 0, WatchView::ValueColumn), QStringLiteral("2#00101010"));

        // Force the output on against the program, with E0.0 off.
        window->panelIO().ChangeInput(0);
        typeInto(table, 1, WatchView::ControlColumn, "1");
        setForced(table, 1, true);
        window->tick();
        QCOMPARE(window->panelIO().OutState[0], 1);
        QVERIFY(window->statusTexts()[0].endsWith(QStringLiteral("| Forciert")));
        QImage image = window->panel().grab().toImage();
        QCOMPARE(image.pixelColor(columnX(0) - 2, 60), QColor(255, 200, 0)); // outlined LED

        // Alles entforcen from the menu: the program rules the LED again.
        window->command(MainWindow::AllesEntforcen);
        window->tick();
        QCOMPARE(window->panelIO().OutState[0], 0);
        QVERIFY(!isForced(table, 1));
        image = window->panel().grab().toImage();
        QCOMPARE(image.pixelColor(columnX(0) - 2, 60), Background);
    }

    // The save dialog asked whether to replace the file; the program is refused by name.
    void recordingNeverReplacesTheProgram() {
        window->setSaveDialog([&](QWidget*) -> std::optional<QString> { return path; });
        window->command(MainWindow::Aufzeichnen);
        QVERIFY(!window->isRecording());
        QCOMPARE(errors, QStringList{QStringLiteral("The recording cannot replace the program "
                                                    "%1; choose another file")
                                         .arg(path)});
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), Program);
    }

    void forcedInputBeatsTheSwitch() {
        QTableView& table = window->watchView().table();
        setCell(table, 0, WatchView::OperandColumn, "E0.0");
        setCell(table, 0, WatchView::ControlColumn, "0");
        setForced(table, 0, true);
        window->panelIO().ChangeInput(0);
        window->tick();
        QCOMPARE(window->panelIO().OutState[0], 0);
        setForced(table, 0, false);
        window->tick();
        QCOMPARE(window->panelIO().OutState[0], 1);
    }

    // Two rows on one operand show one force: released in one, it is gone from both.
    void rowsOnOneOperandShareItsForce() {
        QTableView& table = window->watchView().table();
        for (int row : {0, 1}) {
            setCell(table, row, WatchView::OperandColumn, "M0.0");
            setCell(table, row, WatchView::ControlColumn, "1");
        }
        setForced(table, 0, true);
        QVERIFY(isForced(table, 1));
        setForced(table, 1, false);
        QVERIFY(!isForced(table, 0));
        QVERIFY(window->session().forces().empty());
    }

    // The table refreshes ten times a second; what is being typed into a cell stays.
    void typingSurvivesTheRefresh() {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->command(MainWindow::Variablen);
        QTableView& table = window->watchView().table();
        setCell(table, 0, WatchView::OperandColumn, "MB1");
        for (const int column : {WatchView::OperandColumn, WatchView::ControlColumn}) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            table.setFocus();
            table.setCurrentIndex(table.model()->index(0, column));
            QTest::keyClick(&table, 'm');
            auto* editor = table.viewport()->findChild<QLineEdit*>();
            QVERIFY(editor != nullptr);
            window->refreshViews();
            QCOMPARE(editor->text(), QStringLiteral("m"));
            QTest::keyClick(editor, Qt::Key_Escape);
        }
    }

    // Ansicht > Variablen speichern / laden: the table comes back as saved, forces included; a
    // malformed file is reported by line and changes nothing.
    void watchTableSavesLoadsAndRefusesMalformedFiles() {
        QTableView& table = window->watchView().table();
        setCell(table, 0, WatchView::OperandColumn, "MB1");
        setCell(table, 0, WatchView::FormatColumn, "Hex");
        setCell(table, 0, WatchView::ControlColumn, "16#0F");
        setCell(table, 1, WatchView::OperandColumn, "A0.1");
        setCell(table, 1, WatchView::ControlColumn, "1");
        setForced(table, 1, true);
        const QString saved = files.filePath(QStringLiteral("table.var"));
        QString chosen = saved;
        window->setWatchFileDialog(
            [&](QWidget*, bool) -> std::optional<QString> { return chosen; });
        window->command(MainWindow::VariablenSpeichern);
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("MB1 Hex 16#0F\nA0.1 Dezimal 1 forciert\n"));

        window->command(MainWindow::AllesEntforcen);
        setCell(table, 0, WatchView::OperandColumn, "VB7");
        window->command(MainWindow::VariablenLaden);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QCOMPARE(cell(table, 0, WatchView::OperandColumn), QStringLiteral("MB1"));
        QCOMPARE(cell(table, 0, WatchView::ValueColumn), QStringLiteral("16#00"));
        QVERIFY(isForced(table, 1));
        QCOMPARE(table.model()->rowCount(), 3);

        chosen = files.filePath(QStringLiteral("bad.var"));
        QFile bad(chosen);
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("VB7 Dezimal\nVB8 Oktal\n");
        bad.close();
        window->command(MainWindow::VariablenLaden);
        QCOMPARE(errors, QStringList{chosen + ": line 2: unknown format \"Oktal\" (Dezimal, "
                                              "Binär or Hex)"});
        QCOMPARE(cell(table, 0, WatchView::OperandColumn), QStringLiteral("MB1"));
    }

    // Delete and the drag act on the rows, Alle schreiben on every row with a value.
    void watchRowsGoByDeleteMoveByDragAndAreAllWritten() {
        // Delete is a shortcut, and shortcuts reach only the active window.
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        window->command(MainWindow::Variablen);
        WatchView& view = window->watchView();
        QTableView& table = view.table();
        for (const auto& [row, operand, value] :
             {std::tuple{0, "MB1", "5"}, {1, "MB2", ""}, {2, "MB3", "7"}}) {
            setCell(table, row, WatchView::OperandColumn, operand);
            setCell(table, row, WatchView::ControlColumn, value);
        }
        QTest::mouseClick(view.findChild<QPushButton*>(QStringLiteral("writeAllButton")),
                          Qt::LeftButton);
        const MemField& m = window->cpu().area(Parameter::MType);
        QCOMPARE(std::tuple(m.readByte(1), m.readByte(2), m.readByte(3)), std::tuple(5, 0, 7));

        table.setFocus();
        table.selectRow(1);
        QTest::keyClick(&table, Qt::Key_Delete);
        QCOMPARE(view.list().operandTexts(), (std::vector<std::string>{"MB1", "MB3"}));

        // MB3 dragged onto the first row goes before it.
        QAbstractItemModel& model = *table.model();
        std::unique_ptr<QMimeData> dragged(model.mimeData({model.index(1, 0)}));
        model.dropMimeData(dragged.get(), Qt::MoveAction, 0, 0, {});
        QCOMPARE(view.list().operandTexts(), (std::vector<std::string>{"MB3", "MB1"}));
        QCOMPARE(cell(table, 1, WatchView::ControlColumn), QStringLiteral("5"));
    }

    // Each program gets its last table back; one without a table of its own keeps the rows.
    void eachProgramGetsItsWatchTableBack() {
        QTableView& table = window->watchView().table();
        setCell(table, 0, WatchView::OperandColumn, "VB7");
        const QString other = files.filePath(QStringLiteral("other.awl"));
        QFile::remove(other);
        QVERIFY(QFile::copy(path, other));
        window->load(other);
        QCOMPARE(cell(table, 0, WatchView::OperandColumn), QStringLiteral("VB7"));
        setCell(table, 0, WatchView::OperandColumn, "MB2");
        window->load(path);
        QCOMPARE(cell(table, 0, WatchView::OperandColumn), QStringLiteral("VB7"));
        const Settings kept = window->settings();
        window = std::make_unique<MainWindow>(ticks);
        window->setSettings(kept);
        window->load(other);
        QCOMPARE(cell(window->watchView().table(), 0, WatchView::OperandColumn),
                 QStringLiteral("MB2"));
        QVERIFY(errors.isEmpty());
    }

    // A recording that cannot be put in place when the window closes is reported, and the
    // window still closes cleanly around the report.
    void recordingThatFailsAtCloseIsReported() {
        QTemporaryDir gone;
        const QString scenario = gone.filePath(QStringLiteral("session.scn"));
        window->setSaveDialog([&](QWidget*) -> std::optional<QString> { return scenario; });
        window->command(MainWindow::Aufzeichnen);
        QVERIFY(window->isRecording());
        QVERIFY(gone.remove());
        window.reset();
        QCOMPARE(errors,
                 QStringList{QStringLiteral("The recording could not be written completely")});
    }

    // Datei > Aufzeichnen: switch flips, LED changes and a reset become scenario lines.
    void recordingWritesTheSession() {
        const QString scenario = files.filePath(QStringLiteral("session.scn"));
        window->setSaveDialog([&](QWidget*) -> std::optional<QString> { return scenario; });
        window->command(MainWindow::Aufzeichnen);
        QVERIFY(window->isRecording());
        // Only a finished recording takes the name, so a crash leaves no half scenario.
        QVERIFY(!QFile::exists(scenario));
        QCOMPARE(menuItem(MainWindow::Aufzeichnen)->text(),
                 QStringLiteral("&Aufzeichnung beenden"));
        QVERIFY(window->statusTexts().contains(QStringLiteral("● Aufzeichnung: session.scn")));
        runFor(10);
        QTest::keyClick(&window->panel(), '0');
        runFor(20);
        window->command(MainWindow::Reset);
        runFor(5);
        window->command(MainWindow::Aufzeichnen);
        QVERIFY(!window->isRecording());
        QCOMPARE(menuItem(MainWindow::Aufzeichnen)->text(), QStringLiteral("&Aufzeichnen..."));
        QVERIFY(!window->statusTexts().join(' ').contains(QStringLiteral("Aufzeichnung")));

        QFile file(scenario);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY2(text.startsWith(QStringLiteral("# Recorded in the simulator window from ") + path),
                 qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("set E0.0 1\n")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("expect AB0 2#00000001\n")), qPrintable(text));

        // The runner replays it green on the same program, and catches a program whose LED
        // behaviour changed: here E0.0 lights A0.1 instead of A0.0.
        std::ostringstream failures;
        const ScenarioReport same =
            runScenario(ProgramFile(path.toStdString()), scenario.toStdString(), failures);
        QVERIFY2(same.failed() == 0 && same.passed > 0, failures.str().c_str());
        QByteArray changedText = Program;
        changedText.replace("= A0.0", "= A0.1");
        const ScenarioReport changed =
            runScenario(ProgramFile::fromText("changed.awl", changedText.toStdString()),
                        scenario.toStdString(), failures);
        QVERIFY(changed.failed() > 0);
        QVERIFY2(failures.str().find("expect AB0 2#00000001: got 2#10") != std::string::npos,
                 failures.str().c_str());
    }

    // The Stack column: the top first, the depth once it is deeper than the eight shown. A
    // branch (LPS, LRD, LPP) and a block combination (ULD, OLD) move the entries below the top.
    void stackColumnShowsTheLogicStack() {
        QByteArray source = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n" // 1-3
                            "LD E0.0\nLPS\nU E0.1\n= A0.0\n"                  // 4-7
                            "LRD\nUN E0.1\n= A0.1\nLPP\n= A0.2\n"             // 8-12
                            "NETWORK 2\nLD E0.0\nLDN E0.0\nLD E0.0\n"         // 13-16
                            "OLD\nULD\n= A0.3\nNETWORK 3\n";                  // 17-20
        for (int i = 0; i < 10; ++i) {
            source += i % 2 == 0 ? "LDN E0.0\n" : "LD E0.0\n"; // 21-30
        }
        loadProgram(source + "= A0.4\nEND_ORGANIZATION_BLOCK\n");
        window->command(MainWindow::Programmstatus);
        window->panelIO().ChangeInput(0);
        window->tick();
        const struct {
            int line;
            const char* stack;
        } rows[] = {
            {4, "1"},
            {5, "11"},
            {6, "01"},
            {8, "11"},
            {9, "11"},
            {11, "1"},
            {16, "101"},
            {17, "11"},
            {18, "1"},
            {28, "10101010"},
            {30, "10101010 (10)"},
        };
        for (const auto& r : rows) {
            QCOMPARE(text(model().rowOfLine(r.line), StatusModel::StackColumn),
                     QString::fromLatin1(r.stack));
        }
    }

    // A million-line listing costs the model a few bytes a line: rows are listed, and a scan
    // captures only the rows on screen (and a page around them), not the far end.
    void largeProgramCapturesTheRowsOnScreen() {
        loadProgram(program(20000));
        window->show();
        window->command(MainWindow::Programmstatus);
        QVERIFY(QTest::qWaitForWindowExposed(&window->statusView()));
        QCOMPARE(model().rowCount(), static_cast<int>(listingRows(window->cpu()).size()));
        window->panelIO().ChangeInput(0);
        window->tick();
        const int last = model().rowOfLine(60001);
        QCOMPARE(text(last, StatusModel::InstructionColumn), QStringLiteral("LD E0.0"));
        QCOMPARE(text(last, StatusModel::LineColumn), QStringLiteral("60001"));
        QCOMPARE(text(model().rowOfLine(4), StatusModel::ResultColumn), QStringLiteral("1"));
        QCOMPARE(text(last, StatusModel::ResultColumn), QString());
        // Scrolled there, the next capture has it.
        window->statusView().table().scrollToBottom();
        window->command(MainWindow::Programmstatus);
        window->tick();
        QCOMPARE(text(last, StatusModel::ResultColumn), QStringLiteral("1"));
        QCOMPARE(text(model().rowOfLine(4), StatusModel::ResultColumn), QString());
    }

    // A force marks each operand it writes, through a byte or word that covers it too, and
    // only those.
    void forcedOperandsAreMarked() {
        loadProgram(program(1));
        window->command(MainWindow::Programmstatus);
        const struct {
            const char* forced;
            int line;
            bool marked;
        } cases[] = {{"A0.0", 5, true},  {"AB0", 5, true},   {"AW0", 5, true}, {"A0.1", 5, false},
                     {"E0.0", 4, true},  {"E0.0", 5, false}, {"T5", 7, true},  {"Z3", 8, true},
                     {"VB99", 10, true}, {"VB98", 10, false}};
        for (const auto& c : cases) {
            QVERIFY(!window->session().force(c.forced, 0));
            window->tick();
            const int row = model().rowOfLine(c.line);
            const QVariant background = cell(row, StatusModel::FirstOperand, Qt::BackgroundRole);
            QVERIFY2((background.value<QColor>() == forcedBackground()) == c.marked, c.forced);
            window->session().releaseAll();
            QVERIFY(!cell(row, StatusModel::FirstOperand, Qt::BackgroundRole).isValid());
        }
    }

    // A timer or counter no instruction gave a preset reads 1 as its bit: the text says why.
    void unusedTimerShowsItsPresetOfZero() {
        loadProgram(program(1));
        window->command(MainWindow::Programmstatus);
        window->tick();
        for (int line : {7, 8}) {
            const int row = model().rowOfLine(line);
            QCOMPARE(text(row, StatusModel::FirstOperand), QStringLiteral("0 Q=1 (Sollwert 0)"));
            QVERIFY(cell(row, StatusModel::FirstOperand, Qt::ToolTipRole)
                        .toString()
                        .contains(QStringLiteral("Sollwert 0")));
        }
    }

    // The fault row shows the scan that raised, though only an earlier one was captured, and
    // a fault on the very first scan of a large program is scrolled to.
    void faultRowShowsTheFaultingScan() {
        loadProgram(program(3));
        window->show();
        window->command(MainWindow::Programmstatus);
        QVERIFY(QTest::qWaitForWindowExposed(&window->statusView()));
        const int row = model().rowOfLine(3 * 3 + 7);
        // Only rows on screen are captured, and a docked view may start small.
        window->statusView().table().scrollTo(model().index(row, 0));
        window->tick();
        QCOMPARE(text(row, StatusModel::ResultColumn), QStringLiteral("0"));
        window->panelIO().ChangeInput(6);
        window->tick();
        QCOMPARE(errors.size(), 1);
        QCOMPARE(text(row, StatusModel::ResultColumn), QStringLiteral("1"));
        QCOMPARE(cell(row, StatusModel::ResultColumn, Qt::BackgroundRole).value<QColor>(),
                 QColor(255, 215, 215));

        loadProgram(program(20000, "SM0.0"));
        QVERIFY(QTest::qWaitForWindowExposed(&window->statusView()));
        window->tick();
        QCOMPARE(errors.size(), 1);
        QTableView& table = window->statusView().table();
        const QRect shown = table.visualRect(model().index(model().rowOfLine(60007), 0));
        QVERIFY(table.viewport()->rect().intersects(shown));
    }

    // The fault's place stays in the bar however long its message; the tooltip has it whole.
    // While stopped the bar shows no scan rate, but the scan time.
    void statusBarKeepsTheFaultsPlace() {
        loadProgram(program(3000, "SM0.0"));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->tick();
        window->refreshViews();
        auto* state = window->statusBar()->findChildren<QLabel*>().value(0);
        QVERIFY(state != nullptr);
        const QString place = QStringLiteral(" (line 9007: S)");
        QVERIFY2(state->text().startsWith(QStringLiteral("Gestoppt durch Fehler: ")),
                 qPrintable(state->text()));
        QVERIFY2(state->text().endsWith(place), qPrintable(state->text()));
        QTRY_VERIFY(state->fontMetrics().horizontalAdvance(state->text()) <= state->width());
        if (state->text() != window->statusTexts()[0]) {
            QCOMPARE(state->toolTip(), window->statusTexts()[0]);
        }
        QVERIFY2(window->statusTexts()[1].startsWith(QStringLiteral("Zyklus ")),
                 qPrintable(window->statusTexts()[1]));
    }

private:
    // Loads `text` from the test's file, waiting for a large one to be read on its thread.
    // Each program gets a file of its own: rewriting the loaded one would also start the
    // window's reload of it, which may still be reading when the test scans.
    void loadProgram(const QByteArray& text) {
        path = files.filePath(QStringLiteral("loaded%1.awl").arg(++loads));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        errors.clear();
        QSignalSpy finished(window.get(), &MainWindow::loadFinished);
        window->load(path);
        QVERIFY(!finished.isEmpty() || finished.wait(20000));
        QVERIFY(errors.isEmpty());
    }
    StatusModel& model() { return window->statusView().model(); }

    // Scans for `ms` simulated milliseconds, one scan a millisecond as the window's timer does.
    void runFor(int ms) {
        for (int i = 0; i < ms; ++i) {
            ticks.set(ticks.getmsTime() + 1);
            window->tick();
        }
    }

    QVariant cell(int row, int column, int role) {
        return model().data(model().index(row, column), role);
    }
    QString text(int row, int column) { return cell(row, column, Qt::DisplayRole).toString(); }

    QAction* menuItem(int id) const {
        for (QAction* popup : window->menuBar()->actions()) {
            for (QAction* action : popup->menu()->actions()) {
                if (action->data().toInt() == id) {
                    return action;
                }
            }
        }
        return nullptr;
    }

    // Opens the cell's editor as a double click does, types and confirms with Return; then
    // lets the table settle as the event loop would between two key presses.
    static void typeInto(QTableView& table, int row, int column, const QString& text) {
        // Editors closed before are gone once their deferred deletion ran.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        table.setFocus();
        table.setCurrentIndex(table.model()->index(row, column));
        QTest::keyClick(&table, Qt::Key_F2);
        auto* editor = table.viewport()->findChild<QLineEdit*>();
        QVERIFY2(editor != nullptr, "no cell editor opened");
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The editor hands its text over from the event loop.
        QCoreApplication::processEvents();
        // An operand typed into the last row brings a new empty row.
        if (column == WatchView::OperandColumn && row + 1 == table.model()->rowCount()) {
            QTRY_COMPARE(table.model()->rowCount(), row + 2);
        }
    }

    // What the cell's editor hands the table when it closes, without the typing.
    static void setCell(QTableView& table, int row, int column, const QString& text) {
        QVERIFY(table.model()->setData(table.model()->index(row, column), text));
    }
    static QString cell(const QTableView& table, int row, int column) {
        return table.model()->index(row, column).data().toString();
    }
    // A click on the Forciert box.
    static void setForced(QTableView& table, int row, bool on) {
        QVERIFY(table.model()->setData(table.model()->index(row, WatchView::ForcedColumn),
                                       on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole));
    }
    static bool isForced(const QTableView& table, int row) {
        return table.model()->index(row, WatchView::ForcedColumn).data(Qt::CheckStateRole) ==
               Qt::Checked;
    }

    SimClock ticks;
    std::unique_ptr<MainWindow> window;
    QStringList errors;
    QTemporaryDir files;
    QString path;
    int loads = 0;
};

int runViewsTests(int argc, char** argv) {
    ViewsTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kvx
#include "views_test.moc"
