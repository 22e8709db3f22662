// The simulator window: a view over one Session. It owns the scan timer and turns menu
// commands into the session's run control; painting and panel input belong to PanelWidget.
#pragma once

#include <array>
#include <functional>
#include <optional>

#include <QMainWindow>
#include <QString>

#include "core/status.h"
#include "session/session.h"

class QLabel;
class QMenu;
class QTimer;

namespace kvx {

class PanelWidget;
class ProgramStatusView;
class WatchView;

class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    // Menu command ids; any other id is a command that does nothing.
    enum Command : int {
        Laden = 101,
        Langsamer = 102,
        Beenden = 103,
        Schneller = 104,
        Continue = 105,
        Stop = 106,
        Einzelschritt = 107,
        Reset = 109,
        Programmstatus = 201,
        Variablen = 202,
        AllesEntforcen = 203,
    };
    static constexpr int MinFaktor = Session::MinFaktor;
    static constexpr int MaxFaktor = Session::MaxFaktor;

    // Asks the user for a program file; nullopt when cancelled.
    using OpenDialog = std::function<std::optional<QString>(QWidget* owner)>;
    // Shows one error text to the user; may block while it is shown.
    using ErrorReport = std::function<void(QWidget* owner, const QString& text)>;

    // `ticks` is the machine's millisecond tick; the CPU sees it divided by the speed factor.
    // It must outlive the window. The scan timer runs from here until the window is closed.
    explicit MainWindow(const Clock& ticks, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Carries out one menu command as if its item had been chosen, whether or not the item
    // is enabled at the moment.
    void command(int id);
    // Whether the menu item `id` is enabled in the current state; ids without a rule
    // (separators, the system menu) always are.
    bool isCommandEnabled(int id) const noexcept;

    // Loads a program file as "&Laden" does after its dialog: on success the CPU is reset and
    // running; on failure the error is reported and program and run state stay as they were.
    void load(const QString& path);

    void setOpenDialog(OpenDialog dialog) { openDialog = std::move(dialog); }
    void setErrorReport(ErrorReport report) { errorReport = std::move(report); }

    int isRunning() const noexcept { return sim.isRunning() ? 1 : 0; }
    int faktor() const noexcept { return sim.faktor(); }
    const CPU& cpu() const noexcept { return sim.cpu(); }
    MyIO& panelIO() noexcept { return sim.panel(); }
    Session& session() noexcept { return sim; }
    PanelWidget& panel() noexcept { return *panelWidget; }
    ProgramStatusView& statusView() noexcept { return *programStatus; }
    WatchView& watchView() noexcept { return *watch; }
    // The texts of the status bar: run state, scan rate, simulated time with the divisor, file.
    QStringList statusTexts() const;

public slots:
    // One tick of the scan timer: one scan cycle while running, nothing otherwise.
    void tick();
    // Ten times a second: asks for the next scan's status while the status view is open,
    // and refreshes the watch table and the status bar.
    void refreshViews();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenu();
    void applyMenuState(QMenu& menu) const;
    // Repaints after a scan that changed the LEDs and reports a fault the scan raised.
    void afterScan(const std::array<int, MyIO::Size>& ledsBefore,
                   const std::optional<CPUException>& fault);
    void reportError(const char* text);

    void chooseAndLoad();
    void slower() noexcept { sim.slower(); }
    void quit();
    void faster() noexcept { sim.faster(); }
    void resume() noexcept { sim.run(); }
    void stop() noexcept { sim.stop(); }
    void step();
    void resetCpu();
    void showProgramStatus();
    void showWatchTable();
    void unforceAll();
    void forcesChanged();
    // One scan through the session, captured for the status view when it asked for one.
    std::optional<CPUException> scanOnce(bool whateverTheRunState);
    // The scan timer's slot: a tick() for every millisecond that passed since the last one,
    // made up at once when a scan took longer than the tick.
    void paceScans();

    struct CommandEntry {
        int id;
        void (MainWindow::*run)();
    };
    static const CommandEntry Commands[];

    Session sim;
    PanelWidget* panelWidget;
    QTimer* scanTimer;
    QTimer* viewTimer;
    ProgramStatusView* programStatus;
    WatchView* watch;
    OpenDialog openDialog;
    ErrorReport errorReport;
    StatusCapture capture;
    bool captureNext = false;
    QString fileName;
    std::optional<CPUException> lastFault;
    QLabel* stateLabel;
    QLabel* rateLabel;
    QLabel* timeLabel;
    QLabel* fileLabel;
    // The scan rate: scans counted over the last whole second.
    std::uint64_t scansAtMark = 0;
    qint64 markMs = 0;
    double scanRate = 0;
    // Scan pacing on the machine's tick: milliseconds not yet scanned for, up to a few.
    const Clock& tickSource;
    std::uint32_t paceMs = 0;
    std::uint32_t paceCredit = 0;
    bool catchUpQueued = false;
};

} // namespace kvx
