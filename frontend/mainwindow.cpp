#include "frontend/mainwindow.h"

#include <algorithm>
#include <utility>

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "frontend/dialogs.h"
#include "frontend/help.h"
#include "frontend/menus.h"
#include "frontend/panel.h"
#include "frontend/recent_files.h"
#include "frontend/scan_pacer.h"
#include "frontend/status_view.h"
#include "frontend/trend_view.h"
#include "frontend/watch_view.h"

namespace kvx {

namespace {

// How long a message about a breakpoint stays in the status bar.
constexpr int MessageMs = 5000;
// A breakpoint asked for on a row that holds no instruction, by click or by key.
constexpr auto NoInstructionHere = "Diese Zeile hat keine Anweisung";

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

// Whether a key pressed in `target` is typed into text: a text field, or any editor of a table
// cell (the editors live in the view's viewport).
bool isTyping(const QWidget* target) {
    for (const QWidget* w = target; w != nullptr && !w->isWindow(); w = w->parentWidget()) {
        if (const auto* line = qobject_cast<const QLineEdit*>(w)) {
            return !line->isReadOnly();
        }
        if (const auto* text = qobject_cast<const QTextEdit*>(w)) {
            return !text->isReadOnly();
        }
        if (const auto* plain = qobject_cast<const QPlainTextEdit*>(w)) {
            return !plain->isReadOnly();
        }
        if (qobject_cast<const QAbstractSpinBox*>(w) != nullptr) {
            return true;
        }
        const QWidget* parent = w->parentWidget();
        const auto* view = parent != nullptr
                               ? qobject_cast<const QAbstractItemView*>(parent->parentWidget())
                               : nullptr;
        if (view != nullptr && view->viewport() == parent) {
            return true;
        }
    }
    return false;
}

QDockWidget* makeDock(QMainWindow& window, const QString& title, const QString& name, QWidget* view,
                      Qt::DockWidgetArea area) {
    auto* dock = new QDockWidget(title, &window);
    dock->setObjectName(name);
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                      QDockWidget::DockWidgetFloatable);
    dock->setWidget(view);
    window.addDockWidget(area, dock);
    dock->hide();
    return dock;
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
    {Urloeschen, &MainWindow::clearMemory},
    {Programmstatus, &MainWindow::showProgramStatus},
    {Variablen, &MainWindow::showWatchTable},
    {Verlauf, &MainWindow::showTrend},
    {AllesEntforcen, &MainWindow::unforceAll},
    {VariablenSpeichern, &MainWindow::saveWatchTable},
    {VariablenLaden, &MainWindow::loadWatchTable},
    {NeuLaden, &MainWindow::reload},
    {Aufzeichnen, &MainWindow::toggleRecording},
    {Echtzeit, &MainWindow::realTime},
    {Anweisung, &MainWindow::stepInstruction},
    {BisZyklusende, &MainWindow::finishScan},
    {HaltepunktUmschalten, &MainWindow::toggleBreakpoint},
    {Bedingung, &MainWindow::editCondition},
    {HaltepunkteLoeschen, &MainWindow::clearBreakpoints},
    {Kurzanleitung, &MainWindow::showGuide},
    {Ueber, &MainWindow::showAboutBox},
};

MainWindow::MainWindow(const Clock& ticks, QWidget* parent)
    : QMainWindow(parent), sim(pacedTicks), panelWidget(new PanelWidget(sim.panel(), this)),
      viewTimer(new QTimer(this)), programStatus(new ProgramStatusView(this)),
      watchTable(new WatchView(sim, this)),
      programStatusDock(makeDock(*this, QStringLiteral("Programmstatus"),
                                 QStringLiteral("programStatusDock"), programStatus,
                                 Qt::RightDockWidgetArea)),
      watchTableDock(makeDock(*this, QStringLiteral("Variablen"), QStringLiteral("watchDock"),
                              watchTable, Qt::BottomDockWidgetArea)),
      trend(new TrendView(sim, watchTable->list(), this)),
      trendViewDock(makeDock(*this, QStringLiteral("Verlauf"), QStringLiteral("trendDock"), trend,
                             Qt::BottomDockWidgetArea)),
      openDialog([this](QWidget* owner) { return askForProgram(owner, ladenFolder()); }),
      saveDialog([this](QWidget* owner) { return askForRecording(owner, ladenFolder()); }),
      errorReport(showErrorBox), watchFileDialog([this](QWidget* owner, bool save) {
          return askForWatchFile(owner, ladenFolder(), save);
      }),
      waveformDialog([this](QWidget* owner) { return askForWaveform(owner, ladenFolder()); }),
      conditionDialog(askForCondition),
      recording(sim, [this](const QString& text) { reportError(text); }),
      statusLine(sim, *statusBar()), views(sim, *panelWidget, *programStatus),
      loader(new ProgramLoader(sim,
                               {[this] { refreshViews(); },
                                [this](const QString& path) { installed(path); },
                                [this](const std::optional<QString>& error) { loadEnded(error); },
                                [this] { return reporting; }},
                               this)),
      pacer(new ScanPacer(
          sim, ticks, pacedTicks, [this] { tick(); }, this)) {
    sim.addListener(*this);
    setWindowTitle(QStringLiteral("KVX-Simulator"));
    setWindowIcon(QIcon(QStringLiteral(":/kvxicon.png")));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    recentEntries = buildMenus(
        *menuBar(), [this](int id) { command(id); },
        [this](QMenu& menu) {
            showRecentFiles(recentEntries, settingsStore.recentFiles());
            applyMenuState(menu);
        });
    setCentralWidget(panelWidget);
    // The trend goes below the watch table it follows, at the panel's full width.
    splitDockWidget(watchTableDock, trendViewDock, Qt::Vertical);
    panelWidget->setForceMarks(&sim.forces());
    programStatus->setForceMarks(&sim.forces());
    trend->setSaveHandlers([this](QWidget* owner) { return waveformDialog(owner); },
                           [this](const QString& text) { reportError(text); },
                           [this] { return programFile(); });
    connect(programStatus, &ProgramStatusView::gutterClicked, this,
            [this](std::optional<int> line) {
                if (!line) {
                    statusBar()->showMessage(QString::fromUtf8(NoInstructionHere), MessageMs);
                } else {
                    breakpointsChanged(sim.toggleBreakpoint(*line));
                }
                refreshState();
            });
    connect(panelWidget, &PanelWidget::switchFlipped, this,
            [this](int no, int value) { sim.setSwitch(no, value); });
    panelWidget->setFocus();
    setAcceptDrops(true);
    // The switches' keys work wherever the keyboard is in the window and its docks, floating
    // ones too, which are windows of their own: only the application sees all their keys.
    qApp->installEventFilter(this);
    // The panel at its own size, also where the window system would start smaller.
    resize(sizeHint());
    restoreGeometry(settingsStore.windowGeometry());
    restoreState(settingsStore.windowState());
    refreshState();

    viewTimer->setObjectName(QStringLiteral("viewTimer"));
    viewTimer->setInterval(100);
    connect(viewTimer, &QTimer::timeout, this, &MainWindow::refreshViews);
    viewTimer->start();
    refreshViews();
}

// Members die before QMainWindow deletes its children: stop the scans and the reader thread,
// and drop the widgets while the session they show is still alive.
MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    pacer->stop();
    viewTimer->stop();
    keepWatchTable();
    // The reader thread posts to the loader; a box about the recording finds no loader to
    // resume.
    delete std::exchange(loader, nullptr);
    recording.end();
    sim.removeListener(*this);
    // The trend follows the watch table's rows.
    delete trend;
    delete watchTable;
    delete programStatus;
    delete panelWidget;
}

void MainWindow::setSettings(Settings store) {
    settingsStore = std::move(store);
    restoreGeometry(settingsStore.windowGeometry());
    restoreState(settingsStore.windowState());
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
    return isEnabledIn(id, {sim.isRunning(), faktor(), sim.hasProgram(), !programFile().isEmpty(),
                            sim.isHalted(), !sim.breakpoints().empty()});
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
    if (sim.isRunning() && !sim.isHalted()) {
        ScanObserver* observer = views.observer();
        statusLine.scanStarts();
        sim.tick(observer);
    }
}

void MainWindow::step() {
    // The status view shows every single step at once.
    views.captureNextScan(isOpen(*programStatusDock));
    ScanObserver* observer = views.observer();
    statusLine.scanStarts();
    sim.singleStep(observer);
}

void MainWindow::resume() {
    if (sim.isHalted()) {
        sim.resume();
    } else {
        sim.run();
    }
}

void MainWindow::stop() {
    if (sim.isHalted()) {
        sim.stopHalted();
    } else {
        sim.stop();
    }
}

std::optional<int> MainWindow::chosenLine() {
    if (programStatus->hasCurrentRow()) {
        if (const auto line = programStatus->currentLine()) {
            return line;
        }
        statusBar()->showMessage(QString::fromUtf8(NoInstructionHere), MessageMs);
        return std::nullopt;
    }
    if (const auto line = sim.haltedLine()) {
        return line;
    }
    showProgramStatus();
    statusBar()->showMessage(QStringLiteral("Im Programmstatus eine Zeile wählen"), MessageMs);
    return std::nullopt;
}

void MainWindow::toggleBreakpoint() {
    if (const auto line = chosenLine()) {
        breakpointsChanged(sim.toggleBreakpoint(*line));
    }
}

void MainWindow::editCondition() {
    const auto line = chosenLine();
    if (!line) {
        return;
    }
    QString current;
    for (const Breakpoint& stop : sim.breakpoints()) {
        if (stop.line == *line) {
            current = QString::fromStdString(stop.condition);
        }
    }
    conditionDialog(this, *line, current, [this, line](const QString& condition) {
        const auto refused = sim.setBreakpoint(*line, condition.toStdString());
        breakpointsChanged(std::nullopt);
        return refused ? std::optional(QString::fromStdString(*refused)) : std::nullopt;
    });
}

void MainWindow::clearBreakpoints() {
    sim.clearBreakpoints();
    breakpointsChanged(std::nullopt);
}

void MainWindow::breakpointsChanged(const std::optional<std::string>& refusal) {
    if (refusal) {
        statusBar()->showMessage(QString::fromStdString(*refusal), MessageMs);
    }
    programStatus->setBreakpoints(sim.breakpoints());
}

void MainWindow::keepBreakpoints(const QString& path) {
    if (QFileInfo(path).absoluteFilePath() != tableProgram) {
        sim.clearBreakpoints();
    }
    for (const Breakpoint& stop : sim.breakpoints()) {
        if (sim.setBreakpoint(stop.line, stop.condition)) {
            sim.clearBreakpoint(stop.line);
        }
    }
    breakpointsChanged(std::nullopt);
}

// The halt may come from a scan of the timer: the menus and the status bar follow at once.
void MainWindow::halted(std::uint32_t, int, bool) {
    refreshState();
    refreshViews();
}

// The session stopped the run before the fault is reported, so a report that keeps the event
// loop going never sees a second one.
void MainWindow::faulted(std::uint32_t, const CPUException& fault) {
    refreshViews();
    refreshState();
    reportError(QString::fromStdString(fault.describe()));
}

void MainWindow::runChanged(std::uint32_t, RunChange change) {
    if (change == RunChange::MemoryCleared) {
        // The LEDs went out without a scan.
        panelWidget->update();
    }
    if (change == RunChange::Reset || change == RunChange::MemoryCleared) {
        refreshViews();
    }
}

void MainWindow::forceChanged(std::uint32_t, const std::string&, std::optional<std::uint32_t>) {
    watchTable->model().refreshAll();
    refreshViews();
}

void MainWindow::toggleRecording() {
    if (recording.isActive()) {
        recording.end();
    } else if (sim.hasProgram()) {
        if (const auto path = saveDialog(this)) {
            recording.start(*path, programFile(),
                            programFile().isEmpty() ? fileName : programFile());
        }
    }
    refreshViews();
}

void MainWindow::load(const QString& path) {
    loader->load(path);
}

void MainWindow::installed(const QString& path) {
    settingsStore.addRecentFile(path);
    settingsStore.setLastFolder(QFileInfo(path).absolutePath());
    keepBreakpoints(path);
    switchWatchTable(path);
    fileName = QFileInfo(path).fileName();
    setWindowTitle(fileName + QStringLiteral(" - KVX-Simulator"));
    refreshViews();
}

void MainWindow::loadEnded(const std::optional<QString>& error) {
    refreshState();
    refreshViews();
    emit loadFinished();
    if (error) {
        reportError(*error);
    }
}

void MainWindow::switchWatchTable(const QString& path) {
    const QString program = QFileInfo(path).absoluteFilePath();
    if (program == tableProgram) {
        return;
    }
    keepWatchTable();
    tableProgram = program;
    // A program without a table of its own finds the rows as they are.
    if (const auto kept = settingsStore.watchTable(program)) {
        (void)watchTable->setRowsText(*kept);
    }
}

void MainWindow::keepWatchTable() {
    if (!tableProgram.isEmpty()) {
        settingsStore.setWatchTable(tableProgram, watchTable->rowsText());
    }
}

bool MainWindow::isOpen(const QDockWidget& dock) const {
    return dock.isVisibleTo(this);
}

void MainWindow::showDock(QDockWidget& dock) {
    const bool opening = !isOpen(dock) && !dock.isFloating();
    dock.show();
    dock.raise();
    if (!opening) {
        return;
    }
    const Qt::DockWidgetArea area = dockWidgetArea(&dock);
    const bool beside = area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea;
    // A table is of use from about this size on, whatever its widgets would settle for.
    const QSize wanted = dock.sizeHint().expandedTo(QSize(440, 260));
    resizeDocks({&dock}, {beside ? wanted.width() : wanted.height()},
                beside ? Qt::Horizontal : Qt::Vertical);
    // The window grows after the dock took its size: what it gains goes to the panel.
    if (isVisible() && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        const int separator =
            style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, this);
        const QSize grown = size() + (beside ? QSize(wanted.width() + separator, 0)
                                             : QSize(0, wanted.height() + separator));
        // Never past the screen: a window taller than it hides the dock's own rows.
        const QRect screenArea = screen()->availableGeometry();
        const QSize frame = frameGeometry().size() - size();
        resize(grown.boundedTo(screenArea.size() - frame));
        QRect placed = frameGeometry();
        placed.moveRight(std::min(placed.right(), screenArea.right()));
        placed.moveBottom(std::min(placed.bottom(), screenArea.bottom()));
        move(placed.topLeft());
    }
}

void MainWindow::showProgramStatus() {
    showDock(*programStatusDock);
    views.captureNextScan(true);
}

void MainWindow::showWatchTable() {
    showDock(*watchTableDock);
    watchTable->refresh();
}

void MainWindow::showTrend() {
    showDock(*trendViewDock);
    trend->setSampling(true);
    trend->refresh();
}

void MainWindow::saveWatchTable() {
    if (const auto path = watchFileDialog(this, true)) {
        if (const QString error = watchTable->saveTo(*path, programFile()); !error.isEmpty()) {
            reportError(error);
        }
    }
}

void MainWindow::loadWatchTable() {
    if (const auto path = watchFileDialog(this, false)) {
        showWatchTable();
        if (const QString error = watchTable->loadFrom(*path); !error.isEmpty()) {
            reportError(error);
        }
        refreshViews();
    }
}

void MainWindow::unforceAll() {
    watchTable->unforceAll();
}

void MainWindow::refreshViews() {
    // Ten captures a second are plenty for a person and cost the other scans nothing.
    if (isOpen(*programStatusDock) && sim.isRunning() && !sim.isHalted()) {
        views.captureNextScan(true);
    }
    if (isOpen(*watchTableDock)) {
        watchTable->refresh();
    }
    // Sampled while open: a closed trend costs the scans nothing.
    trend->setSampling(isOpen(*trendViewDock));
    if (isOpen(*trendViewDock)) {
        trend->refresh();
    }
    statusLine.refresh(fileName, loader->readingName(), recording.scenarioName());
}

QStringList MainWindow::statusTexts() const {
    return statusLine.texts(fileName, loader->readingName(), recording.scenarioName());
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
        // Taken now: the window's events also reach this filter through the application's.
        QTimer::singleShot(0, this,
                           [this, file = std::exchange(startFile, QString())] { load(file); });
    } else {
        windowHandle()->installEventFilter(this);
    }
}

QString MainWindow::programFile() const {
    return loader->programFile();
}

QString MainWindow::ladenFolder() const {
    return programFile().isEmpty() ? settingsStore.lastFolder()
                                   : QFileInfo(programFile()).absolutePath();
}

void MainWindow::reportError(const QString& text) {
    const bool nested = std::exchange(reporting, true);
    errorReport(this, text);
    reporting = nested;
    if (!reporting && loader != nullptr) {
        loader->reportClosed();
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

bool MainWindow::isOurs(const QWidget* target) const {
    const QWidget* top = target->window();
    if (top == this) {
        return true;
    }
    const auto* dock = qobject_cast<const QDockWidget*>(top);
    return dock != nullptr && dock->parentWidget() == this;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        const auto* target = static_cast<QWidget*>(watched);
        const auto no = PanelWidget::switchForKey(*static_cast<QKeyEvent*>(event));
        if (no && isOurs(target) && !isTyping(target)) {
            // The menu bar holds the keyboard after Alt or a menu's Esc; the key gives it back.
            if (target == menuBar()) {
                panelWidget->setFocus(Qt::ShortcutFocusReason);
            }
            panelWidget->toggle(*no);
            return true;
        }
    }
    // The start file is loaded once the window is on screen, where its error box belongs.
    if (watched == windowHandle() && event->type() == QEvent::Expose &&
        windowHandle()->isExposed() && !startFile.isEmpty()) {
        windowHandle()->removeEventFilter(this);
        // Taken now: the window's events also reach this filter through the application's.
        QTimer::singleShot(0, this,
                           [this, file = std::exchange(startFile, QString())] { load(file); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::quit() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    pacer->stop();
    settingsStore.setWindowLayout(saveState(), saveGeometry());
    event->accept();
}

} // namespace kvx
