#include "frontend/mainwindow.h"

#include <algorithm>
#include <span>

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "frontend/panel.h"
#include "frontend/status_view.h"
#include "frontend/watch_view.h"

namespace kvx {

namespace {

struct MenuEntry {
    const char* text; // null: a separator
    int id;
    const char* shortcut = nullptr;
};

struct Popup {
    const char* title;
    std::span<const MenuEntry> items;
};

constexpr MenuEntry DateiItems[] = {
    {"&Laden", MainWindow::Laden},
    {nullptr, 0},
    {"&Beenden", MainWindow::Beenden},
};
constexpr MenuEntry TimerItems[] = {
    {"&Langsamer", MainWindow::Langsamer},
    {"&Schneller", MainWindow::Schneller},
};
constexpr MenuEntry RunItems[] = {
    {"&Continue", MainWindow::Continue},
    {"&Stop", MainWindow::Stop},
    {"&Einzelschriit", MainWindow::Einzelschritt},
    {nullptr, 0},
    {"&Reset", MainWindow::Reset},
};
constexpr MenuEntry AnsichtItems[] = {
    {"&Programmstatus", MainWindow::Programmstatus, "F3"},
    {"&Variablen", MainWindow::Variablen, "F4"},
    {nullptr, 0},
    {"Alles &entforcen", MainWindow::AllesEntforcen, "Ctrl+Shift+E"},
};
constexpr Popup Popups[] = {
    {"&Datei", DateiItems},
    {"&Timer", TimerItems},
    {"&Run", RunItems},
    {"&Ansicht", AnsichtItems},
};

struct EnableRule {
    int id;
    bool (*enabled)(int running, int faktor);
};

constexpr EnableRule EnableRules[] = {
    {MainWindow::Langsamer, [](int, int faktor) { return faktor < MainWindow::MaxFaktor; }},
    {MainWindow::Schneller, [](int, int faktor) { return faktor > MainWindow::MinFaktor; }},
    {MainWindow::Continue, [](int running, int) { return running == 0; }},
    {MainWindow::Einzelschritt, [](int running, int) { return running == 0; }},
    {MainWindow::Stop, [](int running, int) { return running != 0; }},
};

std::optional<QString> askForProgram(QWidget* owner) {
    const QString path = QFileDialog::getOpenFileName(owner, QStringLiteral("Programm laden"),
                                                      QString(), QStringLiteral("Awlfile (*.awl)"));
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return path;
}

void showErrorBox(QWidget* owner, const QString& text) {
    QMessageBox::critical(owner, QStringLiteral("Fehler"), text);
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
};

MainWindow::MainWindow(const Clock& ticks, QWidget* parent)
    : QMainWindow(parent), sim(ticks), panelWidget(new PanelWidget(sim.panel(), this)),
      scanTimer(new QTimer(this)), viewTimer(new QTimer(this)),
      programStatus(new ProgramStatusView(this)), watch(new WatchView(sim, this)),
      openDialog(askForProgram), errorReport(showErrorBox), stateLabel(new QLabel(this)),
      rateLabel(new QLabel(this)), timeLabel(new QLabel(this)), fileLabel(new QLabel(this)),
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
    connect(watch, &WatchView::forcesChanged, this, &MainWindow::forcesChanged);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    panelWidget->setFocus();

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
    scanTimer->stop();
    viewTimer->stop();
    delete watch;
    delete programStatus;
    delete panelWidget;
}

void MainWindow::buildMenu() {
    for (const Popup& popup : Popups) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(popup.title));
        for (const MenuEntry& item : popup.items) {
            if (item.text == nullptr) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(QString::fromLatin1(item.text));
            action->setData(item.id);
            if (item.shortcut != nullptr) {
                action->setShortcut(QKeySequence(QString::fromLatin1(item.shortcut)));
            }
            connect(action, &QAction::triggered, this, [this, id = item.id] { command(id); });
        }
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { applyMenuState(*menu); });
    }
}

void MainWindow::applyMenuState(QMenu& menu) const {
    for (QAction* action : menu.actions()) {
        action->setEnabled(isCommandEnabled(action->data().toInt()));
    }
}

bool MainWindow::isCommandEnabled(int id) const noexcept {
    for (const EnableRule& rule : EnableRules) {
        if (rule.id == id) {
            return rule.enabled(isRunning(), faktor());
        }
    }
    return true;
}

void MainWindow::command(int id) {
    for (const CommandEntry& entry : Commands) {
        if (entry.id == id) {
            (this->*entry.run)();
            return;
        }
    }
}

void MainWindow::tick() {
    if (sim.isRunning()) {
        const auto leds = sim.panel().OutState;
        afterScan(leds, scanOnce(false));
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
        errorReport(this, where);
        return;
    }
    // A scan changes only the LEDs; repainting a thousand unchanged panels a second would
    // cost the timer its ticks.
    if (sim.panel().OutState != ledsBefore) {
        panelWidget->update();
    }
}

void MainWindow::load(const QString& path) {
    if (const auto error = sim.loadFile(QFile::encodeName(path).toStdString())) {
        reportError(error->getText());
        return;
    }
    fileName = QFileInfo(path).fileName();
    setWindowTitle(fileName + QStringLiteral(" - KVX-Simulator"));
    lastFault.reset();
    programStatus->setProgram(sim.cpu());
    refreshViews();
}

void MainWindow::showProgramStatus() {
    programStatus->show();
    programStatus->raise();
    captureNext = true;
}

void MainWindow::showWatchTable() {
    watch->show();
    watch->raise();
    watch->refresh();
}

void MainWindow::unforceAll() {
    watch->unforceAll();
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
    if (watch->isVisible()) {
        watch->refresh();
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
    return {state, QStringLiteral("%1 Scans/s").arg(static_cast<int>(scanRate + 0.5)), time,
            fileName.isEmpty() ? QStringLiteral("Kein Programm") : fileName};
}

void MainWindow::reportError(const char* text) {
    errorReport(this, QString::fromUtf8(text));
}

void MainWindow::chooseAndLoad() {
    if (const auto path = openDialog(this)) {
        load(*path);
    }
}

void MainWindow::quit() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    scanTimer->stop();
    event->accept();
}

} // namespace kvx
