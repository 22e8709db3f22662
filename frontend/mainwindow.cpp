#include "frontend/mainwindow.h"

#include <span>

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "frontend/panel.h"

namespace kvx {

namespace {

struct MenuEntry {
    const char* text; // null: a separator
    int id;
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
constexpr Popup Popups[] = {
    {"&Datei", DateiItems},
    {"&Timer", TimerItems},
    {"&Run", RunItems},
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
    {Laden, &MainWindow::chooseAndLoad}, {Langsamer, &MainWindow::slower},
    {Beenden, &MainWindow::quit},        {Schneller, &MainWindow::faster},
    {Continue, &MainWindow::resume},     {Stop, &MainWindow::stop},
    {Einzelschritt, &MainWindow::step},  {Reset, &MainWindow::resetCpu},
};

MainWindow::MainWindow(const Clock& ticks, QWidget* parent)
    : QMainWindow(parent), sim(ticks), panelWidget(new PanelWidget(sim.panel(), this)),
      scanTimer(new QTimer(this)), openDialog(askForProgram), errorReport(showErrorBox) {
    setWindowTitle(QStringLiteral("KVX-Simulator"));
    setWindowIcon(QIcon(QStringLiteral(":/kvxicon.png")));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    buildMenu();
    setCentralWidget(panelWidget);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    panelWidget->setFocus();

    keepTimerWakeupsPrecise();
    scanTimer->setObjectName(QStringLiteral("scanTimer"));
    scanTimer->setTimerType(Qt::PreciseTimer);
    scanTimer->setInterval(1);
    connect(scanTimer, &QTimer::timeout, this, &MainWindow::tick);
    scanTimer->start();
}

// Members die before QMainWindow deletes its children: stop the scans and drop the panel
// widget while the model it draws is still alive.
MainWindow::~MainWindow() {
    scanTimer->stop();
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
        afterScan(leds, sim.tick());
    }
}

void MainWindow::step() {
    const auto leds = sim.panel().OutState;
    afterScan(leds, sim.scan());
}

void MainWindow::afterScan(const std::array<int, MyIO::Size>& ledsBefore,
                           const std::optional<CPUException>& fault) {
    // The session stopped the run before the fault is reported, so a report that keeps the
    // event loop going never sees a second one.
    if (fault) {
        reportError(fault->getText());
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
    }
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
