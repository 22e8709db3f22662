// The edit-load loop: reloading when the program file changes on disk, the recent files, the
// Laden dialog's folder, dropped files, files that are no regular files, and the text of the
// "Fehler" box. File-watcher tests wait (bounded) for the window to see real file events.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "core/clock.h"
#include "core/common.h"
#include "frontend/dialogs.h"
#include "frontend/error_text.h"
#include "frontend/mainwindow.h"
#include "frontend/panel.h"
#include "frontend/program_watch.h"
#include "frontend/settings.h"
#include "tests/frontend/runners.h"

namespace kvx {

namespace {

// Long enough for the watcher to see the write and the window to settle, short of a hang.
constexpr int WatchTimeoutMs = 5000;

QByteArray oneNetwork(const QByteArray& body) {
    return "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n" + body + "END_ORGANIZATION_BLOCK\n";
}

// Lights LED A0.<bit> on every scan: which program runs shows on the panel.
QByteArray lighting(int bit) {
    return oneNetwork("LD SM0.0\n= A0." + QByteArray::number(bit) + "\n");
}

// The same, too large to be read at once: it is read on the reader thread.
QByteArray largeLighting(int bit) {
    const QByteArray line = "= A0." + QByteArray::number(bit) + "\n";
    QByteArray body = "LD SM0.0\n";
    while (static_cast<std::uintmax_t>(body.size()) <= MainWindow::ReadAtOnceBytes) {
        body += line;
    }
    return oneNetwork(body);
}

// Line 4 holds an unknown mnemonic.
const QByteArray Broken = oneNetwork("LDX E0.0\n= A0.0\n");

void writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

// As editors that keep a backup do: a new file renamed over the old one.
void saveByRename(const QString& path, const QByteArray& text) {
    const QString temporary = path + QStringLiteral(".new");
    writeFile(temporary, text);
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(path).constData()) != 0) {
        qFatal("cannot rename to %s", qPrintable(path));
    }
}

int firstScanBit(const MainWindow& window) {
    return window.cpu().area(Parameter::SMType).readBit(0, 1);
}

std::unique_ptr<QMimeData> fileUrls(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls << (path.contains(u':') ? QUrl(path) : QUrl::fromLocalFile(path));
    }
    data->setUrls(urls);
    return data;
}

} // namespace

class EditLoadTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        errors.clear();
        files = std::make_unique<QTemporaryDir>();
        settingsFile = files->filePath(QStringLiteral("kvx-sim.ini"));
        window = makeWindow();
    }
    void cleanup() {
        window.reset();
        files.reset();
    }

    // ---- reload on change ----------------------------------------------------------------

    // A save in place and a save by rename both reload; the CPU starts afresh and keeps the
    // run state it had.
    void savedProgramIsReloaded_data() {
        QTest::addColumn<bool>("byRename");
        QTest::addColumn<bool>("running");
        QTest::newRow("in place, running") << false << true;
        QTest::newRow("in place, stopped") << false << false;
        QTest::newRow("by rename, running") << true << true;
        QTest::newRow("by rename, stopped") << true << false;
    }
    void savedProgramIsReloaded() {
        QFETCH(bool, byRename);
        QFETCH(bool, running);
        const QString path = program("lamps.awl", lighting(0));
        window->load(path);
        window->command(running ? MainWindow::Continue : MainWindow::Stop);
        window->command(MainWindow::Einzelschritt);
        const Block* before = window->cpu().getProgram();
        QCOMPARE(firstScanBit(*window), 0);

        (byRename ? saveByRename : writeFile)(path, lighting(5));

        QTRY_VERIFY_WITH_TIMEOUT(window->cpu().getProgram() != before, WatchTimeoutMs);
        QCOMPARE(firstScanBit(*window), 1);
        QCOMPARE(window->isRunning(), running ? 1 : 0);
        window->command(MainWindow::Einzelschritt);
        QCOMPARE(window->panelIO().OutState[5], 1);
        QVERIFY(errors.isEmpty());

        // The watch follows the file the rename put in place.
        before = window->cpu().getProgram();
        writeFile(path, lighting(6));
        QTRY_VERIFY_WITH_TIMEOUT(window->cpu().getProgram() != before, WatchTimeoutMs);
        QVERIFY(errors.isEmpty());
    }

    void brokenSaveKeepsTheOldProgramWithOneBox() {
        const QString path = program("lamps.awl", lighting(0));
        window->load(path);
        const Block* before = window->cpu().getProgram();

        writeFile(path, Broken);

        QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, WatchTimeoutMs);
        QCOMPARE(errors[0],
                 QStringLiteral("Parse-error(4):Unknown Operation\nlamps.awl, line 4: \"LDX\""));
        QCOMPARE(window->cpu().getProgram(), before);
        QCOMPARE(window->isRunning(), 1);
        // Whatever else the save made the watcher report, it is the same broken version.
        QTest::qWait(4 * ProgramWatch::SettleMs);
        QCOMPARE(errors.size(), 1);

        // Fixed, it loads without a word.
        writeFile(path, lighting(2));
        QTRY_VERIFY_WITH_TIMEOUT(window->cpu().getProgram() != before, WatchTimeoutMs);
        QCOMPARE(errors.size(), 1);
    }

    // An editor may delete before it writes; only a file that is back is loaded again.
    void vanishedFileIsWaitedFor() {
        const QString path = program("lamps.awl", lighting(0));
        window->load(path);
        const Block* before = window->cpu().getProgram();
        QVERIFY(QFile::remove(path));
        QTest::qWait(4 * ProgramWatch::SettleMs);
        QVERIFY(errors.isEmpty());

        writeFile(path, lighting(3));

        QTRY_VERIFY_WITH_TIMEOUT(window->cpu().getProgram() != before, WatchTimeoutMs);
        QVERIFY(errors.isEmpty());
        QCOMPARE(window->programFile(), path);
    }

    // A save that arrives while an error box is up waits for the box.
    void reloadWaitsForAnOpenErrorBox() {
        const QString path = program("lamps.awl", lighting(0));
        window->load(path);
        int reloadsDuringBox = 0;
        window->setErrorReport([&](QWidget*, const QString& text) {
            errors << text;
            const Block* shown = window->cpu().getProgram();
            writeFile(path, lighting(4));
            // The box's own event loop sees the change; the reload must not run inside it.
            QTest::qWait(4 * ProgramWatch::SettleMs);
            reloadsDuringBox += window->cpu().getProgram() != shown ? 1 : 0;
        });
        const Block* before = window->cpu().getProgram();
        writeFile(path, Broken);
        QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, WatchTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(window->cpu().getProgram() != before, WatchTimeoutMs);
        QCOMPARE(reloadsDuringBox, 0);
        QCOMPARE(errors.size(), 1);
    }

    void neuLadenReloadsByHand() {
        QVERIFY(!window->isCommandEnabled(MainWindow::NeuLaden));
        const QString path = program("lamps.awl", lighting(0));
        window->load(path);
        window->command(MainWindow::Stop);
        window->command(MainWindow::Einzelschritt);
        const Block* before = window->cpu().getProgram();

        window->command(MainWindow::NeuLaden);
        QVERIFY(window->cpu().getProgram() != before);
        QCOMPARE(firstScanBit(*window), 1);
        QCOMPARE(window->isRunning(), 0);

        // Asked for by hand, a missing file is an error; the program stays.
        before = window->cpu().getProgram();
        QVERIFY(QFile::remove(path));
        window->command(MainWindow::NeuLaden);
        QCOMPARE(errors, QStringList{"File " + path + " not found"});
        QCOMPARE(window->cpu().getProgram(), before);
    }

    // A failed Laden of another file leaves the watch on the program that runs.
    void failedLadenKeepsWatchingTheRunningProgram() {
        const QString path = program("lamps.awl", lighting(0));
        window->load(path);
        window->load(program("other.awl", Broken));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(window->programFile(), path);
        const Block* before = window->cpu().getProgram();
        writeFile(path, lighting(1));
        QTRY_VERIFY_WITH_TIMEOUT(window->cpu().getProgram() != before, WatchTimeoutMs);
    }

    // ---- large files ----------------------------------------------------------------------

    // The window's event loop goes on while a large file is read, and only the newest load
    // installs its program, even when an older one has been read already.
    void largeProgramIsReadWhileTheWindowGoesOn() {
        const QString first = program("first.awl", largeLighting(1));
        const QString second = program("second.awl", largeLighting(2));
        QSignalSpy finished(window.get(), &MainWindow::loadFinished);
        bool loopRanWhileReading = false;
        QTimer::singleShot(0, window.get(),
                           [&] { loopRanWhileReading = !window->session().hasProgram(); });
        window->load(first);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, WatchTimeoutMs);
        QVERIFY(loopRanWhileReading);
        QCOMPARE(window->programFile(), first);

        window->load(first);
        // Without a look from the window: the read ends and its result waits in the queue.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        window->load(second);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, WatchTimeoutMs);
        QTest::qWait(100);
        QCOMPARE(finished.size(), 2);
        QCOMPARE(window->programFile(), second);
        window->tick();
        QCOMPARE(window->panelIO().OutState[2], 1);
        QVERIFY(errors.isEmpty());
        // Closed while a file is read, the window waits for nothing.
        window->load(first);
    }

    // A file read while an error box is up waits for the box, as a reload does.
    void fileReadDuringAnErrorBoxIsInstalledAfterIt() {
        const QString large = program("large.awl", largeLighting(3));
        bool installedDuringBox = false;
        window->setErrorReport([&](QWidget*, const QString& text) {
            errors << text;
            window->load(large);
            QTest::qWait(1000);
            installedDuringBox = window->session().hasProgram();
        });
        window->load(program("broken.awl", Broken));
        QVERIFY(!installedDuringBox);
        QCOMPARE(window->programFile(), large);
        QCOMPARE(errors.size(), 1);
    }

    // As in kvx: refused by its size before anything is read.
    void programBeyondTheBoundIsRefused() {
        const QString path = program("huge.awl", "");
        QVERIFY(QFile::resize(path, 65 << 20));
        window->load(path);
        QCOMPARE(errors, QStringList{"the program is larger than 64 MiB"});
        QVERIFY(!window->session().hasProgram());
    }

    // ---- recent files and the Laden dialog ------------------------------------------------

    void recentFilesKeepOrderAndLimitAcrossWindows() {
        auto second = makeWindow();
        QStringList loaded;
        for (int i = 1; i <= 10; ++i) {
            loaded.prepend(program(QString("p%1.awl").arg(i), lighting(i % 8)));
            (i % 2 == 0 ? *second : *window).load(loaded.first());
        }
        // Loading an entry again moves it to the front, without a second entry.
        window->load(loaded[3]);
        loaded.move(3, 0);
        const QStringList expected = loaded.mid(0, Settings::MaxRecentFiles);
        QCOMPARE(window->settings().recentFiles(), expected);
        QCOMPARE(Settings(settingsFile).recentFiles(), expected);

        // A window started later offers them, numbered, the missing one grayed.
        QVERIFY(QFile::remove(expected[2]));
        auto later = makeWindow();
        const QList<QAction*> entries = openDatei(*later);
        QCOMPARE(entries.size(), Settings::MaxRecentFiles);
        for (int i = 0; i < entries.size(); ++i) {
            QVERIFY2(entries[i]->text().startsWith(
                         QString("&%1 %2  (").arg(i + 1).arg(QFileInfo(expected[i]).fileName())),
                     qPrintable(entries[i]->text()));
            QCOMPARE(entries[i]->isEnabled(), i != 2);
        }
        entries[1]->trigger();
        QCOMPARE(later->programFile(), expected[1]);
        QCOMPARE(later->isRunning(), 1);
        QCOMPARE(later->settings().recentFiles().first(), expected[1]);
    }

    void ladenDialogStartsAtTheLoadedFileElseTheLastFolder() {
        QCOMPARE(window->ladenFolder(), QString());
        QVERIFY(QDir(files->path()).mkpath("a"));
        QVERIFY(QDir(files->path()).mkpath("b"));
        const QString inA = program("a/x.awl", lighting(0));
        window->load(inA);
        QCOMPARE(window->ladenFolder(), files->filePath("a"));
        auto second = makeWindow();
        second->load(program("b/y.awl", lighting(0)));
        // The loaded file's folder wins over the one used last.
        QCOMPARE(window->ladenFolder(), files->filePath("a"));
        QCOMPARE(makeWindow()->ladenFolder(), files->filePath("b"));

        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        prepareProgramDialog(dialog, files->filePath("a"));
        QCOMPARE(dialog.nameFilters(), (QStringList{"Awlfile (*.awl)", "Alle Dateien (*)"}));
        QCOMPARE(dialog.directory().absolutePath(), files->filePath("a"));
        QVERIFY(dialog.width() >= 800);
    }

    // ---- drag and drop --------------------------------------------------------------------

    void droppedProgramIsLoaded_data() {
        QTest::addColumn<QStringList>("names"); // in the test folder, or URLs with a scheme
        QTest::addColumn<bool>("accepted");
        QTest::newRow("one program") << QStringList{"drop.awl"} << true;
        QTest::newRow("capital suffix") << QStringList{"DROP.AWL"} << true;
        QTest::newRow("other suffix") << QStringList{"drop.txt"} << false;
        QTest::newRow("two programs") << QStringList{"drop.awl", "more.awl"} << false;
        QTest::newRow("remote") << QStringList{"https://example.org/drop.awl"} << false;
        QTest::newRow("no file") << QStringList{} << false;
    }
    void droppedProgramIsLoaded() {
        QFETCH(QStringList, names);
        QFETCH(bool, accepted);
        QStringList paths;
        for (const QString& name : names) {
            paths << (name.contains(u':') ? name : program(name, lighting(7)));
        }
        const auto data = fileUrls(paths);
        QDragEnterEvent enter(QPoint(300, 150), Qt::CopyAction, data.get(), Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        QDropEvent drop(QPointF(300, 150), Qt::CopyAction, data.get(), Qt::LeftButton,
                        Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &drop);
        if (accepted) {
            QTRY_COMPARE(window->programFile(), paths.first());
            QCOMPARE(window->isRunning(), 1);
        } else {
            QCoreApplication::processEvents();
            QVERIFY(!window->session().hasProgram());
        }
        QVERIFY(errors.isEmpty());
    }

    // ---- files that are no regular files --------------------------------------------------

    // However it is chosen, a FIFO is refused at once. Should the window ever wait for a
    // writer, one comes after two seconds, so the test fails instead of hanging.
    void fifoIsRefusedAtOnce_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("load") << "load";
        QTest::newRow("Laden") << "Laden";
        QTest::newRow("start") << "start";
    }
    void fifoIsRefusedAtOnce() {
        QFETCH(QString, way);
        const QString fifo = files->filePath("fifo.awl");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        std::atomic<bool> done = false;
        std::thread rescuer([&] {
            const auto start = std::chrono::steady_clock::now();
            while (!done && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
                if (std::chrono::steady_clock::now() - start > std::chrono::seconds(2)) {
                    const int fd =
                        ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
                    if (fd >= 0) {
                        ::close(fd);
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        QElapsedTimer clock;
        clock.start();
        if (way == "load") {
            window->load(fifo);
        } else if (way == "Laden") {
            window->setOpenDialog([&](QWidget*) -> std::optional<QString> { return fifo; });
            window->command(MainWindow::Laden);
        } else {
            window->openAtStart(fifo);
            window->show();
            QTRY_COMPARE(errors.size(), 1);
        }
        const qint64 took = clock.elapsed();
        done = true;
        rescuer.join();
        QVERIFY2(took < 1000, qPrintable(QString::number(took)));
        QCOMPARE(errors, QStringList{"File " + fifo + " is not a regular file"});
        QVERIFY(!window->session().hasProgram());
        QVERIFY(QFile::remove(fifo));
    }

    // ---- the text of the "Fehler" box ----------------------------------------------------

    void tokensReadAsTheUserSeesThem_data() {
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<QString>("shown");
        QTest::newRow("mnemonic") << QByteArray("LDX") << "\"LDX\"";
        QTest::newRow("end of input") << QByteArray() << "(end of file)";
        QTest::newRow("line break") << QByteArray("\n\n") << "(line break)";
        QTest::newRow("NUL byte") << QByteArray(1, '\0') << "(byte 0x00)";
        QTest::newRow("lone high byte") << QByteArray("\xE4") << "(byte 0xE4)";
        QTest::newRow("UTF-8 comment") << QByteArray("// f\xC3\xBCr") << "\"// f\u00FCr\"";
        QTest::newRow("Latin-1 comment") << QByteArray("// f\xFCr") << "\"// f\\xFCr\"";
        QTest::newRow("tab") << QByteArray("a\tb") << "\"a\\x09b\"";
        QTest::newRow("long comment") << QByteArray("// ") + QByteArray(200, 'x')
                                      << "\"// " + QString(57, u'x') + QChar(0x2026) + "\"";
        QTest::newRow("character cut at the limit")
            << QByteArray(59, 'x') + "\xC3\xBC"
            << "\"" + QString(59, u'x') + QChar(0x2026) + "\"";
    }
    void tokensReadAsTheUserSeesThem() {
        QFETCH(QByteArray, token);
        QFETCH(QString, shown);
        QCOMPARE(tokenForDisplay(token.toStdString()), shown);
    }

    void errorTextAddsFileLineAndToken_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("line"); // 0: none
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<bool>("hasToken");
        QTest::addColumn<QString>("expected");
        const QString path = QStringLiteral("/home/u/lamps.awl");
        QTest::newRow("line and token")
            << "Parse-error(12):Unknown Operation" << 12 << QByteArray("LDX") << true
            << "Parse-error(12):Unknown Operation\nlamps.awl, line 12: \"LDX\"";
        QTest::newRow("scanner NUL") << "Unexpected text(3):" << 3 << QByteArray(1, '\0') << true
                                     << "Unexpected text(3):\nlamps.awl, line 3: (byte 0x00)";
        QTest::newRow("line only") << "Scanner error(7):x" << 7 << QByteArray() << false
                                   << "Scanner error(7):x\nlamps.awl, line 7";
        QTest::newRow("file error") << "File " + path + " not found" << 0 << QByteArray() << false
                                    << "File " + path + " not found";
    }
    void errorTextAddsFileLineAndToken() {
        QFETCH(QString, message);
        QFETCH(int, line);
        QFETCH(QByteArray, token);
        QFETCH(bool, hasToken);
        QFETCH(QString, expected);
        const CPUException error(
            message.toStdString(), line == 0 ? std::nullopt : std::optional<int>(line),
            hasToken ? std::optional<std::string>(token.toStdString()) : std::nullopt);
        QCOMPARE(errorText(error, QStringLiteral("/home/u/lamps.awl")), expected);
        // A fault of a scan belongs to no file: the message alone.
        QCOMPARE(errorText(error), message);
    }

private:
    std::unique_ptr<MainWindow> makeWindow() {
        auto made = std::make_unique<MainWindow>(ticks);
        made->findChild<QTimer*>(QStringLiteral("scanTimer"))->stop();
        made->setSettings(Settings(settingsFile));
        made->setErrorReport([this](QWidget*, const QString& text) { errors << text; });
        made->setOpenDialog([](QWidget*) -> std::optional<QString> {
            QTest::qFail("no file dialog expected", __FILE__, __LINE__);
            return std::nullopt;
        });
        return made;
    }

    QString program(const QString& name, const QByteArray& text) {
        const QString path = files->filePath(name);
        writeFile(path, text);
        return path;
    }

    // The recent-file entries as the Datei menu shows them when it opens.
    static QList<QAction*> openDatei(MainWindow& window) {
        QMenu* datei = window.menuBar()->actions().first()->menu();
        emit datei->aboutToShow();
        QList<QAction*> entries;
        for (QAction* action : datei->actions()) {
            if (action->isVisible() && action->data().toInt() >= MainWindow::RecentFile1 &&
                action->data().toInt() <= MainWindow::RecentFile8) {
                entries << action;
            }
        }
        return entries;
    }

    SimClock ticks;
    // Each test has its own folder, with its own settings file.
    std::unique_ptr<QTemporaryDir> files;
    QString settingsFile;
    std::unique_ptr<MainWindow> window;
    QStringList errors;
};

int runEditLoadTests(int argc, char** argv) {
    EditLoadTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kvx
#include "edit_load_test.moc"
