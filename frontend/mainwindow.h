// The simulator window: owns the CPU, the panel and the scan timer, and turns menu commands
// into run control. Painting and panel input belong to PanelWidget.
#pragma once

#include <functional>
#include <optional>

#include <QMainWindow>
#include <QString>

#include "core/cpu.h"
#include "frontend/clocks.h"
#include "frontend/myio.h"

class QMenu;
class QTimer;
class PanelWidget;

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
    };
    static constexpr int MinFaktor = 1;
    static constexpr int MaxFaktor = 1000;

    // Asks the user for a program file; nullopt when cancelled.
    using OpenDialog = std::function<std::optional<QString>(QWidget* owner)>;
    // Shows one error text to the user; may block while it is shown.
    using ErrorReport = std::function<void(QWidget* owner, const QString& text)>;

    // `ticks` is the machine's millisecond tick; the CPU sees it divided by Faktor. It must
    // outlive the window. The scan timer runs from here until the window is closed.
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

    int isRunning() const noexcept { return IsRunning; }
    int faktor() const noexcept { return Faktor; }
    const CPU& cpu() const noexcept { return c; }
    MyIO& panelIO() noexcept { return io; }
    PanelWidget& panel() noexcept { return *panelWidget; }

public slots:
    // One tick of the scan timer: one scan cycle while running, nothing otherwise.
    void tick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenu();
    void applyMenuState(QMenu& menu) const;
    // One scan cycle. A fault stops the run before it is reported, so a report that keeps
    // the event loop going never sees a second one; the CPU keeps its state for "&Continue".
    void runScan();
    void reportError(const char* text);

    void chooseAndLoad();
    void slower() noexcept;
    void quit();
    void faster() noexcept;
    void resume() noexcept { IsRunning = 1; }
    void stop() noexcept { IsRunning = 0; }
    void step() { runScan(); }
    void resetCpu() { c.reset(); }

    struct CommandEntry {
        int id;
        void (MainWindow::*run)();
    };
    static const CommandEntry Commands[];

    // Declaration order matters: the clock reads Faktor, the CPU reads the clock and the panel.
    int IsRunning = 0;
    int Faktor = MinFaktor;
    ScaledClock clock;
    MyIO io;
    CPU c;
    PanelWidget* panelWidget;
    QTimer* scanTimer;
    OpenDialog openDialog;
    ErrorReport errorReport;
};
