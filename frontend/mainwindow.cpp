#include "frontend/mainwindow.h"

#include <utility>

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
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
#include "frontend/watch_view.h"

namespace kvx {

namespace {

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
    : QMainWindow(parent), sim(pacedTicks), panelWidget(new PanelWidget(sim.panel(), this)),
      viewTimer(new QTimer(this)), programStatus(new ProgramStatusView(this)),
      watchTable(new WatchView(sim, this)),
      openDialog([this](QWidget* owner) { return askForProgram(owner, ladenFolder()); }),
      saveDialog([this](QWidget* owner) { return askForRecording(owner, ladenFolder()); }),
      errorReport(showErrorBox), recording(sim, [this](const QString& text) { reportError(text); }),
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
                   Qt::WindowCloseButtonHint);
    recentEntries = buildMenus(
        *menuBar(), [this](int id) { command(id); },
        [this](QMenu& menu) {
            showRecentFiles(recentEntries, settingsStore.recentFiles());
            applyMenuState(menu);
        });
    setCentralWidget(panelWidget);
    panelWidget->setForceMarks(&sim.forces());
    programStatus->setForceMarks(&sim.forces());
    connect(panelWidget, &PanelWidget::switchFlipped, this,
            [this](int no, int value) { sim.setSwitch(no, value); });
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    panelWidget->setFocus();
    setAcceptDrops(true);
    // The menu bar holds the keyboard after Alt or a menu's Esc; the switches' keys still
    // reach the panel (and give it the keyboard back).
    menuBar()->installEventFilter(this);
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
    pacer->stop();
    viewTimer->stop();
    // The reader thread posts to the loader; a box about the recording finds no loader to
    // resume.
    delete std::exchange(loader, nullptr);
    recording.end();
    sim.removeListener(*this);
    delete watchTable;
    delete programStatus;
    delete panelWidget;
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
    return isEnabledIn(id, {sim.isRunning(), faktor(), sim.hasProgram(), !programFile().isEmpty()});
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
        ScanObserver* observer = views.observer();
        statusLine.scanStarts();
        sim.tick(observer);
    }
}

void MainWindow::step() {
    // The status view shows every single step at once.
    views.captureNextScan(programStatus->isVisible());
    ScanObserver* observer = views.observer();
    statusLine.scanStarts();
    sim.singleStep(observer);
}

// The session stopped the run before the fault is reported, so a report that keeps the event
// loop going never sees a second one.
void MainWindow::faulted(std::uint32_t, const CPUException& fault) {
    refreshViews();
    refreshState();
    reportError(QString::fromStdString(fault.describe()));
}

void MainWindow::runChanged(std::uint32_t, RunChange change) {
    if (change == RunChange::Reset) {
        refreshViews();
    }
}

void MainWindow::forceChanged(std::uint32_t, const std::string&, std::optional<std::uint32_t>) {
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

void MainWindow::showProgramStatus() {
    programStatus->show();
    programStatus->raise();
    views.captureNextScan(true);
}

void MainWindow::showWatchTable() {
    watchTable->show();
    watchTable->raise();
    watchTable->refresh();
}

void MainWindow::unforceAll() {
    watchTable->unforceAll();
}

void MainWindow::refreshViews() {
    // Ten captures a second are plenty for a person and cost the other scans nothing.
    if (programStatus->isVisible() && sim.isRunning()) {
        views.captureNextScan(true);
    }
    if (watchTable->isVisible()) {
        watchTable->refresh();
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
        QTimer::singleShot(0, this, [this] { load(std::exchange(startFile, QString())); });
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
    pacer->stop();
    event->accept();
}

} // namespace kvx
