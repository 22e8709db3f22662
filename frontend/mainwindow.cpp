#include "frontend/mainwindow.h"

#include <algorithm>
#include <span>
#include <utility>

#include <QAction>
#include <QCloseEvent>
#include <QDate>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "frontend/dialogs.h"
#include "frontend/error_text.h"
#include "frontend/help.h"
#include "frontend/panel.h"
#include "frontend/program_watch.h"
#include "frontend/recent_files.h"
#include "frontend/status_view.h"
#include "frontend/watch_view.h"
#include "session/program_load.h"

namespace kvx {

namespace {

struct MenuEntry {
    const char* text; // null: a separator; empty: filled in while the menu opens
    int id;
};

struct Popup {
    const char* title;
    std::span<const MenuEntry> items;
};

constexpr MenuEntry DateiItems[] = {
    {"&Laden", MainWindow::Laden},
    {"&Neu laden", MainWindow::NeuLaden},
    {"&Aufzeichnen...", MainWindow::Aufzeichnen},
    {nullptr, 0},
    {"", MainWindow::RecentFile1},
    {"", MainWindow::RecentFile1 + 1},
    {"", MainWindow::RecentFile1 + 2},
    {"", MainWindow::RecentFile1 + 3},
    {"", MainWindow::RecentFile1 + 4},
    {"", MainWindow::RecentFile1 + 5},
    {"", MainWindow::RecentFile1 + 6},
    {"", MainWindow::RecentFile8},
    {nullptr, 0},
    {"&Beenden", MainWindow::Beenden},
};
constexpr MenuEntry TimerItems[] = {
    {"", MainWindow::FaktorAnzeige}, // "Faktor 1:N"
    {nullptr, 0},
    {"&Langsamer", MainWindow::Langsamer},
    {"&Schneller", MainWindow::Schneller},
    {"&Echtzeit", MainWindow::Echtzeit},
};
constexpr MenuEntry RunItems[] = {
    {"&Continue", MainWindow::Continue},
    {"&Stop", MainWindow::Stop},
    {"&Einzelschriit", MainWindow::Einzelschritt},
    {nullptr, 0},
    {"&Reset", MainWindow::Reset},
};
constexpr MenuEntry AnsichtItems[] = {
    {"&Programmstatus", MainWindow::Programmstatus},
    {"&Variablen", MainWindow::Variablen},
    {nullptr, 0},
    {"Alles &entforcen", MainWindow::AllesEntforcen},
};
constexpr MenuEntry HilfeItems[] = {
    {"&Kurzanleitung", MainWindow::Kurzanleitung},
    {"&Über KVX-Simulator", MainWindow::Ueber},
};
constexpr Popup Popups[] = {
    {"&Datei", DateiItems},     {"&Timer", TimerItems}, {"&Run", RunItems},
    {"&Ansicht", AnsichtItems}, {"&Hilfe", HilfeItems},
};

bool isRecentFile(int id) noexcept {
    return id >= MainWindow::RecentFile1 && id <= MainWindow::RecentFile8;
}

// The desktop's standard key for a command comes first (the menu shows the first key); the
// keys named after it are added where the desktop has none or another one, so they work on
// every desktop. None may be a digit: 0 to 7 belong to the switches.
struct ShortcutEntry {
    int id;
    QKeySequence::StandardKey standard;
    const char* keys; // portable text, "; " between keys
};

constexpr ShortcutEntry Shortcuts[] = {
    {MainWindow::Laden, QKeySequence::Open, "Ctrl+O"},
    {MainWindow::NeuLaden, QKeySequence::UnknownKey, "F5"},
    {MainWindow::Beenden, QKeySequence::Quit, "Ctrl+Q"},
    {MainWindow::Langsamer, QKeySequence::ZoomOut, "Ctrl+-"},
    {MainWindow::Schneller, QKeySequence::ZoomIn, "Ctrl++; Ctrl+="},
    {MainWindow::Continue, QKeySequence::UnknownKey, "F9"},
    {MainWindow::Stop, QKeySequence::UnknownKey, "Shift+F9; F6"},
    {MainWindow::Einzelschritt, QKeySequence::UnknownKey, "F10; F7"},
    {MainWindow::Reset, QKeySequence::UnknownKey, "Ctrl+R"},
    {MainWindow::Kurzanleitung, QKeySequence::HelpContents, "F1"},
    {MainWindow::Programmstatus, QKeySequence::UnknownKey, "F3"},
    {MainWindow::Variablen, QKeySequence::UnknownKey, "F4"},
    {MainWindow::AllesEntforcen, QKeySequence::UnknownKey, "Ctrl+Shift+E"},
};

QList<QKeySequence> shortcutsOf(int id) {
    QList<QKeySequence> keys;
    for (const ShortcutEntry& entry : Shortcuts) {
        if (entry.id != id) {
            continue;
        }
        keys = QKeySequence::keyBindings(entry.standard);
        for (const QKeySequence& key :
             QKeySequence::listFromString(QString::fromLatin1(entry.keys))) {
            if (!keys.contains(key)) {
                keys << key;
            }
        }
    }
    return keys;
}

struct MenuState {
    bool running;
    int faktor;
    bool program; // a program is installed
    bool file;    // ... and came from a file that can be reloaded
};

struct EnableRule {
    int id;
    bool (*enabled)(const MenuState& state);
};

constexpr EnableRule EnableRules[] = {
    {MainWindow::Langsamer, [](const MenuState& s) { return s.faktor < MainWindow::MaxFaktor; }},
    {MainWindow::Schneller, [](const MenuState& s) { return s.faktor > MainWindow::MinFaktor; }},
    {MainWindow::Echtzeit, [](const MenuState& s) { return s.faktor > MainWindow::MinFaktor; }},
    {MainWindow::FaktorAnzeige, [](const MenuState&) { return false; }},
    {MainWindow::Continue, [](const MenuState& s) { return !s.running && s.program; }},
    {MainWindow::Einzelschritt, [](const MenuState& s) { return !s.running && s.program; }},
    {MainWindow::Stop, [](const MenuState& s) { return s.running; }},
    {MainWindow::NeuLaden, [](const MenuState& s) { return s.file; }},
    {MainWindow::Aufzeichnen, [](const MenuState& s) { return s.program; }},
};

const QString EmptyHint = QStringLiteral("Kein Programm geladen\n"
                                         "Datei > Laden oder eine .awl-Datei hierher ziehen");

// A drop loads one local program file; anything else is refused before it is dropped.
std::optional<QString> droppedProgram(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1 ||
        !data->urls().first().isLocalFile()) {
        return std::nullopt;
    }
    const QString path = data->urls().first().toLocalFile();
    if (!path.endsWith(QStringLiteral(".awl"), Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    return path;
}

// Linux lets a sleeping thread wake up to 50 µs late so that wakeups can be batched; at one
// scan per millisecond that alone loses about one tick in twenty. The window's thread asks for
// wakeups on time instead.
void keepTimerWakeupsPrecise() noexcept {
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL);
#endif
}

} // namespace

const MainWindow::CommandEntry MainWindow::Commands[] = {
    {Laden, &MainWindow::chooseAndLoad},
    {Langsamer, &MainWindow::slower},
    {Beenden, &MainWindow::quit},
    {Schneller, &MainWindow::faster},
    {Continue, &MainWindow::resume},
    {Stop, &MainWindow::stop},
    {Einzelschritt, &MainWindow::step},
    {Reset, &MainWindow::resetCpu},
    {Programmstatus, &MainWindow::showProgramStatus},
    {Variablen, &MainWindow::showWatchTable},
    {AllesEntforcen, &MainWindow::unforceAll},
    {NeuLaden, &MainWindow::reload},
    {Aufzeichnen, &MainWindow::toggleRecording},
    {Echtzeit, &MainWindow::realTime},
    {Kurzanleitung, &MainWindow::showGuide},
    {Ueber, &MainWindow::showAboutBox},
};

MainWindow::MainWindow(const Clock& ticks, QWidget* parent)
    : QMainWindow(parent), sim(ticks), panelWidget(new PanelWidget(sim.panel(), this)),
      scanTimer(new QTimer(this)), viewTimer(new QTimer(this)),
      programStatus(new ProgramStatusView(this)), watchTable(new WatchView(sim, this)),
      openDialog([this](QWidget* owner) { return askForProgram(owner, ladenFolder()); }),
      saveDialog([this](QWidget* owner) { return askForRecording(owner, ladenFolder()); }),
      errorReport(showErrorBox), stateLabel(new QLabel(this)), rateLabel(new QLabel(this)),
      timeLabel(new QLabel(this)), fileLabel(new QLabel(this)), watch(new ProgramWatch(this)),
      tickSource(ticks), paceMs(ticks.getmsTime()) {
    setWindowTitle(QStringLiteral("KVX-Simulator"));
    setWindowIcon(QIcon(QStringLiteral(":/kvxicon.png")));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    buildMenu();
    setCentralWidget(panelWidget);
    // Beside the panel, never inside it: the panel keeps its size, the window grows by the
    // bar.
    statusBar()->setSizeGripEnabled(false);
    for (QLabel* label : {stateLabel, rateLabel, timeLabel, fileLabel}) {
        statusBar()->addWidget(label);
    }
    statusBar()->addPermanentWidget(fileLabel);
    panelWidget->setForceMarks(&sim.forces());
    connect(watchTable, &WatchView::forcesChanged, this, &MainWindow::forcesChanged);
    connect(panelWidget, &PanelWidget::switchFlipped, this, [this](int no, int value) {
        if (recorder) {
            recorder->switchSet(sim.now(), no, value);
        }
    });
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    panelWidget->setFocus();
    setAcceptDrops(true);
    // The menu bar holds the keyboard after Alt or a menu's Esc; the switches' keys still
    // reach the panel (and give it the keyboard back).
    menuBar()->installEventFilter(this);
    connect(watch, &ProgramWatch::changed, this, &MainWindow::reloadWhenChanged);
    refreshState();

    keepTimerWakeupsPrecise();
    scanTimer->setObjectName(QStringLiteral("scanTimer"));
    scanTimer->setTimerType(Qt::PreciseTimer);
    scanTimer->setInterval(1);
    connect(scanTimer, &QTimer::timeout, this, &MainWindow::paceScans);
    scanTimer->start();

    viewTimer->setObjectName(QStringLiteral("viewTimer"));
    viewTimer->setInterval(100);
    connect(viewTimer, &QTimer::timeout, this, &MainWindow::refreshViews);
    viewTimer->start();
    refreshViews();
}

// Members die before QMainWindow deletes its children: stop the scans and drop the panel
// widget while the model it draws is still alive.
MainWindow::~MainWindow() {
    // The reader thread posts to this window.
    stopReading();
    endRecording();
    scanTimer->stop();
    viewTimer->stop();
    delete watchTable;
    delete programStatus;
    delete panelWidget;
}

void MainWindow::buildMenu() {
    for (const Popup& popup : Popups) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(popup.title));
        for (const MenuEntry& item : popup.items) {
            if (item.text == nullptr) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(QString::fromUtf8(item.text));
            action->setData(item.id);
            action->setShortcuts(shortcutsOf(item.id));
            if (isRecentFile(item.id)) {
                action->setVisible(false);
                recentEntries << action;
            }
            connect(action, &QAction::triggered, this, [this, id = item.id] { command(id); });
        }
        connect(menu, &QMenu::aboutToShow, this, [this, menu] {
            showRecentFiles(recentEntries, settingsStore.recentFiles());
            applyMenuState(*menu);
        });
    }
}

void MainWindow::applyMenuState(QMenu& menu) const {
    for (QAction* action : menu.actions()) {
        const int id = action->data().toInt();
        if (id == FaktorAnzeige) {
            action->setText(QStringLiteral("Faktor 1:%1").arg(faktor()));
        }
        if (id == Aufzeichnen) {
            // The same key starts and ends a recording; "b" belongs to Beenden.
            action->setText(isRecording() ? QStringLiteral("&Aufzeichnung beenden")
                                          : QStringLiteral("&Aufzeichnen..."));
        }
        action->setEnabled(isCommandEnabled(id));
    }
}

void MainWindow::refreshState() {
    for (QAction* popup : menuBar()->actions()) {
        if (popup->menu() != nullptr) {
            applyMenuState(*popup->menu());
        }
    }
    panelWidget->setHint(sim.hasProgram() ? QString() : EmptyHint);
}

bool MainWindow::isCommandEnabled(int id) const {
    if (isRecentFile(id)) {
        const QStringList files = settingsStore.recentFiles();
        const qsizetype index = id - RecentFile1;
        return index < files.size() && QFileInfo::exists(files[index]);
    }
    const MenuState state{sim.isRunning(), faktor(), sim.hasProgram(), !programFile().isEmpty()};
    for (const EnableRule& rule : EnableRules) {
        if (rule.id == id) {
            return rule.enabled(state);
        }
    }
    return true;
}

void MainWindow::command(int id) {
    if (isRecentFile(id)) {
        openRecent(id - RecentFile1);
    }
    for (const CommandEntry& entry : Commands) {
        if (entry.id == id) {
            (this->*entry.run)();
            break;
        }
    }
    refreshState();
}

void MainWindow::tick() {
    if (sim.isRunning()) {
        const auto leds = sim.panel().OutState;
        afterScan(leds, scanOnce(false));
        if (recorder) [[unlikely]] {
            recordScan(false);
        }
    }
}

// A big program scans for longer than the 1 ms tick; waiting for the next tick after each scan
// would then lose most of a millisecond every time. Each elapsed millisecond earns one scan,
// and while one is still owed the next scan is queued behind the events already pending, so
// input and painting still come between scans. Only two owed scans are kept: after the window
// was held up (a menu, a dialog) it goes on at the normal rate instead of racing to catch up.
void MainWindow::paceScans() {
    constexpr std::uint32_t MaxOwed = 2;
    const std::uint32_t now = tickSource.getmsTime();
    const std::uint32_t elapsed = now - paceMs;
    paceMs = now;
    paceCredit = std::min(paceCredit + std::min(elapsed, MaxOwed), MaxOwed);
    if (!sim.isRunning()) {
        paceCredit = 0;
        return;
    }
    if (paceCredit == 0) {
        return;
    }
    --paceCredit;
    tick();
    if (!catchUpQueued && sim.isRunning() && (paceCredit > 0 || tickSource.getmsTime() != paceMs)) {
        catchUpQueued = true;
        QTimer::singleShot(0, this, [this] {
            catchUpQueued = false;
            paceScans();
        });
    }
}

void MainWindow::step() {
    const auto leds = sim.panel().OutState;
    // The status view shows every single step at once.
    captureNext = programStatus->isVisible();
    afterScan(leds, scanOnce(true));
    if (recorder) {
        recordScan(true);
    }
}

void MainWindow::recordScan(bool singleStep) {
    ScenarioRecorder::Panel leds{};
    std::copy(sim.panel().OutState.begin(), sim.panel().OutState.end(), leds.begin());
    if (singleStep) {
        recorder->singleStep(sim.now(), leds);
    } else {
        recorder->scanned(sim.now(), leds);
    }
}

void MainWindow::resume() {
    if (recorder && !sim.isRunning()) {
        recorder->continued(sim.now());
    }
    sim.run();
}

void MainWindow::stop() {
    if (recorder && sim.isRunning()) {
        recorder->stopped(sim.now());
    }
    sim.stop();
}

// The recording starts from a reset CPU with the switches as they are, as the replay starts
// from a freshly loaded program; memory that the program kept from before is not part of it.
void MainWindow::toggleRecording() {
    if (recorder) {
        endRecording();
        return;
    }
    if (!sim.hasProgram()) {
        return;
    }
    const auto path = saveDialog(this);
    if (!path) {
        return;
    }
    const std::string target = QFile::encodeName(*path).toStdString();
    if (const std::string program = QFile::encodeName(programFile()).toStdString();
        !program.empty() && inputAt(target, std::span(&program, 1))) {
        reportError(
            QStringLiteral("The recording cannot replace the program %1; choose another file")
                .arg(*path));
        return;
    }
    // Written in full when the recording ends, so that a crash leaves the file as it was.
    auto file = std::make_unique<ReplacingFile>(target);
    if (!file->isOpen()) {
        reportError(QStringLiteral("File %1 could not be written").arg(*path));
        return;
    }
    ScenarioRecorder::Panel switches{};
    std::copy(sim.panel().InState.begin(), sim.panel().InState.end(), switches.begin());
    sim.reset();
    recordFile = std::move(file);
    recorder = std::make_unique<ScenarioRecorder>(
        recordFile->stream(), (programFile().isEmpty() ? fileName : programFile()).toStdString(),
        QDate::currentDate().toString(Qt::ISODate).toStdString(), sim.now(), switches);
    if (!sim.isRunning()) {
        recorder->stopped(sim.now());
    }
}

void MainWindow::endRecording() {
    if (!recorder) {
        return;
    }
    recorder->finish(sim.now());
    recorder.reset();
    const bool failed = !recordFile->commit();
    recordFile.reset();
    if (failed) {
        reportError(QStringLiteral("The recording could not be written completely"));
    }
}

std::optional<CPUException> MainWindow::scanOnce(bool whateverTheRunState) {
    if (!captureNext) {
        return whateverTheRunState ? sim.scan() : sim.tick();
    }
    captureNext = false;
    capture.clear();
    auto fault = whateverTheRunState ? sim.scan(&capture) : sim.tick(&capture);
    programStatus->showScan(capture);
    return fault;
}

void MainWindow::resetCpu() {
    if (recorder) {
        recorder->reset(sim.now());
    }
    sim.reset();
    refreshViews();
}

void MainWindow::afterScan(const std::array<int, MyIO::Size>& ledsBefore,
                           const std::optional<CPUException>& fault) {
    // The session stopped the run before the fault is reported, so a report that keeps the
    // event loop going never sees a second one.
    if (fault) {
        lastFault = fault;
        const QString where = QString::fromStdString(fault->describe());
        programStatus->markFault(fault->getLine(), where);
        refreshViews();
        refreshState();
        reportError(where);
        return;
    }
    // A scan changes only the LEDs; repainting a thousand unchanged panels a second would
    // cost the timer its ticks.
    if (sim.panel().OutState != ledsBefore) {
        panelWidget->update();
    }
}

void MainWindow::load(const QString& path) {
    startLoad({path, ProgramWatch::stampOf(path), false});
}

void MainWindow::startLoad(const LoadRequest& request) {
    stopReading();
    const std::uint64_t number = ++loadNumber;
    ProgramLoad job = sim.prepareLoad();
    // A file that is not there, is no regular file or is beyond the bound fails here, at once.
    job.open(QFile::encodeName(request.path).toStdString());
    if (job.fileSize() <= ReadAtOnceBytes) {
        job.readFile();
        finishLoad(request, std::move(job));
        return;
    }
    readingName = QFileInfo(request.path).fileName();
    reader =
        std::jthread([this, number, request, job = std::move(job)](std::stop_token stop) mutable {
            job.readFile(stop);
            if (stop.stop_requested()) {
                return;
            }
            auto done = std::make_shared<ProgramLoad>(std::move(job));
            QMetaObject::invokeMethod(
                this, [this, number, request, done] { readDone(number, request, done); },
                Qt::QueuedConnection);
        });
    refreshViews();
}

void MainWindow::stopReading() {
    if (reader.joinable()) {
        reader.request_stop();
        reader.join();
    }
    readingName.clear();
}

void MainWindow::readDone(std::uint64_t number, const LoadRequest& request,
                          const std::shared_ptr<ProgramLoad>& job) {
    // A newer load has replaced this one since.
    if (number != loadNumber) {
        return;
    }
    if (reporting) {
        finishAfterReport = [this, number, request, job] { readDone(number, request, job); };
        return;
    }
    stopReading();
    finishLoad(request, std::move(*job));
}

// A reload replaces the program, not the user's choice to run it: a running program runs on
// from its first scan, a stopped one waits at its first scan for Continue or Einzelschriit,
// so that stepping through a program survives editing it. (Laden and a drop start the program
// they load, as loading a program always has.) A run stopped by a fault counts as stopped.
void MainWindow::finishLoad(const LoadRequest& request, ProgramLoad&& job) {
    const bool wasRunning = sim.isRunning();
    const auto error = install(request, std::move(job));
    if (request.reload && error) {
        // A version that failed is not tried again until it changes.
        watch->seen(request.version);
    } else if (request.reload && !wasRunning) {
        sim.stop();
    }
    refreshState();
    refreshViews();
    emit loadFinished();
    if (error) {
        reportError(*error);
    }
}

void MainWindow::showProgramStatus() {
    programStatus->show();
    programStatus->raise();
    captureNext = true;
}

void MainWindow::showWatchTable() {
    watchTable->show();
    watchTable->raise();
    watchTable->refresh();
}

void MainWindow::unforceAll() {
    watchTable->unforceAll();
}

void MainWindow::forcesChanged() {
    panelWidget->update();
    refreshViews();
}

void MainWindow::refreshViews() {
    // Ten captures a second are plenty for a person and cost the other scans nothing.
    if (programStatus->isVisible() && sim.isRunning()) {
        captureNext = true;
    }
    if (watchTable->isVisible()) {
        watchTable->refresh();
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - markMs >= 1000) {
        const std::uint64_t scans = sim.cpu().scanCount();
        scanRate = markMs == 0 ? 0.0
                               : static_cast<double>(scans - scansAtMark) * 1000.0 /
                                     static_cast<double>(now - markMs);
        scansAtMark = scans;
        markMs = now;
    }
    const QStringList texts = statusTexts();
    stateLabel->setText(texts[0]);
    rateLabel->setText(texts[1]);
    timeLabel->setText(texts[2]);
    fileLabel->setText(texts[3]);
}

QStringList MainWindow::statusTexts() const {
    QString state = sim.isRunning() ? QStringLiteral("Läuft")
                    : lastFault && !sim.isRunning()
                        ? QStringLiteral("Gestoppt durch Fehler: ") +
                              QString::fromStdString(lastFault->describe())
                        : QStringLiteral("Gestoppt");
    if (!sim.forces().empty()) {
        state += QStringLiteral(" | Forciert");
    }
    const std::uint32_t ms = sim.now();
    const QString time = QStringLiteral("Zeit %1.%2 s, Faktor 1:%3")
                             .arg(ms / 1000)
                             .arg(ms % 1000, 3, 10, QLatin1Char('0'))
                             .arg(sim.faktor());
    const QString file = !readingName.isEmpty() ? readingName + QStringLiteral(" wird geladen")
                         : fileName.isEmpty()   ? QStringLiteral("Kein Programm")
                                                : fileName;
    return {state, QStringLiteral("%1 Scans/s").arg(static_cast<int>(scanRate + 0.5)), time, file};
}

std::optional<QString> MainWindow::install(const LoadRequest& request, ProgramLoad&& job) {
    const QString& path = request.path;
    if (const auto error = sim.install(std::move(job))) {
        return errorText(*error, path);
    }
    // A new program makes the recording so far a scenario of the old one.
    endRecording();
    watch->watch(path, request.version);
    settingsStore.addRecentFile(path);
    settingsStore.setLastFolder(QFileInfo(path).absolutePath());
    fileName = QFileInfo(path).fileName();
    setWindowTitle(fileName + QStringLiteral(" - KVX-Simulator"));
    lastFault.reset();
    // The old program's nodes are gone: the status view takes the new listing at once.
    programStatus->setProgram(sim.cpu());
    panelWidget->update();
    refreshViews();
    return std::nullopt;
}

void MainWindow::reload() {
    const QString path = programFile();
    if (!path.isEmpty()) {
        startLoad({path, ProgramWatch::stampOf(path), true});
    }
}

void MainWindow::reloadWhenChanged() {
    if (reporting) {
        reloadWaiting = true;
        return;
    }
    reload();
}

void MainWindow::openRecent(int index) {
    const QStringList files = settingsStore.recentFiles();
    if (index < files.size()) {
        load(files[index]);
    }
}

void MainWindow::openAtStart(const QString& path) {
    startFile = path;
    if (windowHandle() == nullptr) {
        create();
    }
    if (windowHandle()->isExposed()) {
        QTimer::singleShot(0, this, [this] { load(std::exchange(startFile, QString())); });
    } else {
        windowHandle()->installEventFilter(this);
    }
}

QString MainWindow::programFile() const {
    return watch->path();
}

QString MainWindow::ladenFolder() const {
    return programFile().isEmpty() ? settingsStore.lastFolder()
                                   : QFileInfo(programFile()).absolutePath();
}

void MainWindow::reportError(const char* text) {
    reportError(QString::fromUtf8(text));
}

void MainWindow::reportError(const QString& text) {
    const bool nested = std::exchange(reporting, true);
    errorReport(this, text);
    reporting = nested;
    if (reporting) {
        return;
    }
    if (const auto finish = std::exchange(finishAfterReport, nullptr)) {
        finish();
    }
    if (std::exchange(reloadWaiting, false)) {
        reload();
    }
}

void MainWindow::chooseAndLoad() {
    if (const auto path = openDialog(this)) {
        settingsStore.setLastFolder(QFileInfo(*path).absolutePath());
        load(*path);
    }
}

void MainWindow::showGuide() {
    showQuickGuide(this, quickGuideHtml(menuBar()->actions()));
}

void MainWindow::showAboutBox() {
    showAbout(this);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (droppedProgram(event->mimeData())) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    if (const auto path = droppedProgram(event->mimeData())) {
        event->acceptProposedAction();
        // After the drop has finished: the source must not wait for an error box.
        QTimer::singleShot(0, this, [this, file = *path] { load(file); });
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == menuBar() && event->type() == QEvent::KeyPress) {
        if (const auto no = PanelWidget::switchForKey(*static_cast<QKeyEvent*>(event))) {
            panelWidget->setFocus(Qt::ShortcutFocusReason);
            panelWidget->toggle(*no);
            return true;
        }
    }
    // The start file is loaded once the window is on screen, where its error box belongs.
    if (watched == windowHandle() && event->type() == QEvent::Expose &&
        windowHandle()->isExposed() && !startFile.isEmpty()) {
        windowHandle()->removeEventFilter(this);
        QTimer::singleShot(0, this, [this] { load(std::exchange(startFile, QString())); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::quit() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    scanTimer->stop();
    event->accept();
}

} // namespace kvx
