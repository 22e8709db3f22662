// The simulator window: the menus over one Session, and the wiring between the session's
// events and the parts that show or follow them. Menu commands become the session's run
// control; the parts do the rest: PanelWidget paints and takes panel input, ScanPacer runs
// the scans, ProgramLoader loads and reloads the file (a large one on a thread of its own),
// Recording records, StatusLine and SessionViews show what the session announces. The program
// status, the watch table and the trend are docks of the window; the keys 0 to 7 flip the switches
// from anywhere in it. Around that sit the files loaded last, offered again, each with its watch
// table, and a file dropped on the window, loaded.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QMainWindow>
#include <QString>

#include "frontend/dialogs.h"
#include "frontend/program_loader.h"
#include "frontend/recording.h"
#include "frontend/session_views.h"
#include "frontend/settings.h"
#include "frontend/status_line.h"
#include "session/session.h"

class QDockWidget;
class QMenu;
class QTimer;

namespace kvx {

class PanelWidget;
class ProgramStatusView;
class ScanPacer;
class TrendView;
class WatchView;

class MainWindow final : public QMainWindow, private SessionListener {
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
        // Urlöschen: memory, timers and counters cleared, then a reset.
        Urloeschen = 110,
        Programmstatus = 201,
        Variablen = 202,
        AllesEntforcen = 203,
        VariablenSpeichern = 204,
        VariablenLaden = 205,
        Verlauf = 206,
        // The debugger: one instruction of a halted scan, the rest of its scan, the
        // breakpoint on the chosen line, its condition, every breakpoint cleared.
        Anweisung = 150,
        BisZyklusende = 151,
        HaltepunktUmschalten = 152,
        Bedingung = 153,
        HaltepunkteLoeschen = 154,
        NeuLaden = 120,
        // Starts a recording, or ends the one running.
        Aufzeichnen = 140,
        Echtzeit = 121,
        // The Timer menu's first row, showing the speed factor; never enabled.
        FaktorAnzeige = 122,
        Kurzanleitung = 123,
        Ueber = 124,
        // The recent files, the newest first.
        RecentFile1 = 131,
        RecentFile8 = 138,
    };
    static constexpr int MinFaktor = Session::MinFaktor;
    static constexpr int MaxFaktor = Session::MaxFaktor;

    // Asks the user for a program file; nullopt when cancelled.
    using OpenDialog = std::function<std::optional<QString>(QWidget* owner)>;
    // Shows one error text to the user; may block while it is shown.
    using ErrorReport = std::function<void(QWidget* owner, const QString& text)>;
    // Asks for a watch table file to save (`save`) or to load; nullopt when cancelled.
    using WatchFileDialog = std::function<std::optional<QString>(QWidget* owner, bool save)>;

    // `ticks` is the machine's millisecond tick; the CPU sees it divided by the speed factor.
    // It must outlive the window. The scan timer runs from here until the window is closed.
    explicit MainWindow(const Clock& ticks, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Carries out one menu command as if its item had been chosen, whether or not the item
    // is enabled at the moment.
    void command(int id);
    // Whether the menu item `id` is enabled in the current state; ids without a rule
    // (separators, the system menu) always are.
    bool isCommandEnabled(int id) const;

    // Loads a program file as "&Laden" does after its dialog: on success the CPU is reset and
    // running, the file is watched and heads the recent files; on failure the error is
    // reported and program, run state and watched file stay as they were. A file of up to
    // ReadAtOnceBytes has loaded when this returns; a larger one is read on another thread and
    // installed later, unless a newer load came first. loadFinished() tells either way.
    void load(const QString& path);
    static constexpr std::uintmax_t ReadAtOnceBytes = ProgramLoader::ReadAtOnceBytes;
    // Loads `path` as load() does once the window is on screen, so that an error box has its
    // place over the window (the command line's FILE).
    void openAtStart(const QString& path);
    // The file the installed program came from (absolute); empty before the first load.
    QString programFile() const;
    // A large program a load replaced is freed on a thread of its own; this waits for it.
    void waitUntilFreed() { loader->waitUntilFreed(); }
    // Where the Laden dialog opens: the folder of the loaded file, else the one used last.
    QString ladenFolder() const;

    // The recent files, their watch tables, the last folder and the docks' layout, which is
    // restored from there; tests point it at a file of their own.
    void setSettings(Settings store);
    const Settings& settings() const noexcept { return settingsStore; }

    void setOpenDialog(OpenDialog dialog) { openDialog = std::move(dialog); }
    // Asks where to save a recording; nullopt when cancelled.
    void setSaveDialog(OpenDialog dialog) { saveDialog = std::move(dialog); }
    bool isRecording() const noexcept { return recording.isActive(); }
    void setErrorReport(ErrorReport report) { errorReport = std::move(report); }
    void setWatchFileDialog(WatchFileDialog dialog) { watchFileDialog = std::move(dialog); }
    // Asks where to save the trend as a waveform; nullopt when cancelled.
    void setWaveformDialog(OpenDialog dialog) { waveformDialog = std::move(dialog); }
    // Asks for the condition of the breakpoint on a line (askForCondition()).
    using ConditionDialog = std::function<bool(QWidget* owner, int line, const QString& current,
                                               const ConditionApply& apply)>;
    void setConditionDialog(ConditionDialog dialog) { conditionDialog = std::move(dialog); }

    int isRunning() const noexcept { return sim.isRunning() ? 1 : 0; }
    int faktor() const noexcept { return sim.faktor(); }
    const CPU& cpu() const noexcept { return sim.cpu(); }
    MyIO& panelIO() noexcept { return sim.panel(); }
    Session& session() noexcept { return sim; }
    PanelWidget& panel() noexcept { return *panelWidget; }
    ProgramStatusView& statusView() noexcept { return *programStatus; }
    WatchView& watchView() noexcept { return *watchTable; }
    TrendView& trendView() noexcept { return *trend; }
    QDockWidget& statusDock() noexcept { return *programStatusDock; }
    QDockWidget& watchDock() noexcept { return *watchTableDock; }
    QDockWidget& trendDock() noexcept { return *trendViewDock; }
    // The texts of the status bar: run state, scan rate, simulated time with the divisor, file.
    QStringList statusTexts() const;

signals:
    // A load (load(), a reload) has installed its program or reported its error. A load that a
    // newer one replaced while it was read ends without it.
    void loadFinished();

public slots:
    // One tick of the scan timer: one scan cycle while running, nothing otherwise.
    void tick();
    // Ten times a second: asks for the next scan's status while the status view is open,
    // and refreshes the watch table and the status bar.
    void refreshViews();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The session's events that the window itself answers.
    void faulted(std::uint32_t now, const CPUException& fault) override;
    void halted(std::uint32_t now, int line, bool step) override;
    void runChanged(std::uint32_t now, RunChange change) override;
    void forceChanged(std::uint32_t now, const std::string& name,
                      std::optional<std::uint32_t> value) override;

    void applyMenuState(QMenu& menu) const;
    // Menu enabling (which shortcuts follow) and the empty panel's hint, after any change.
    void refreshState();
    void reportError(const QString& text);
    void installed(const QString& path);
    void loadEnded(const std::optional<QString>& error);
    void openRecent(int index);

    void chooseAndLoad();
    void slower() { sim.slower(); }
    void quit();
    void faster() { sim.faster(); }
    void resume();
    void stop();
    void toggleRecording();
    void step();
    void resetCpu() { sim.reset(); }
    void clearMemory() { sim.clearMemory(); }
    void reload() { loader->reload(); }
    void showProgramStatus();
    void showWatchTable();
    void showTrend();
    void unforceAll();
    void saveWatchTable();
    void loadWatchTable();
    // Shows a dock; one shown docked for the first time widens the window by its size, so the
    // panel keeps its own.
    void showDock(QDockWidget& dock);
    bool isOpen(const QDockWidget& dock) const;
    // Whether a key pressed in `target` belongs to the window and its docks.
    bool isOurs(const QWidget* target) const;
    // The watch table kept for the program shown until now, and the one kept for `path`.
    void switchWatchTable(const QString& path);
    void keepWatchTable();
    void realTime() { sim.realTime(); }
    void stepInstruction() { sim.stepInstruction(); }
    void finishScan() { sim.finishScan(); }
    void toggleBreakpoint();
    void editCondition();
    void clearBreakpoints();
    // The line the breakpoint commands act on: the status view's current row, else the line
    // a scan halted at; none (and why in the status bar) when there is no such line.
    std::optional<int> chosenLine();
    // Tells the status bar why a breakpoint was refused, and the status view what is set.
    void breakpointsChanged(const std::optional<std::string>& refusal);
    // After a load: another program starts without breakpoints; the same one again keeps
    // those whose lines still hold an instruction.
    void keepBreakpoints(const QString& path);
    void showGuide();
    void showAboutBox();

    struct CommandEntry {
        int id;
        void (MainWindow::*run)();
    };
    static const CommandEntry Commands[];

    // The tick as the scan pacer hands it out (frontend/scan_pacer.h); the session runs on it.
    SimClock pacedTicks;
    Session sim;
    PanelWidget* panelWidget;
    QTimer* viewTimer;
    ProgramStatusView* programStatus;
    WatchView* watchTable;
    QDockWidget* programStatusDock;
    QDockWidget* watchTableDock;
    TrendView* trend;
    QDockWidget* trendViewDock;
    OpenDialog openDialog;
    OpenDialog saveDialog;
    ErrorReport errorReport;
    WatchFileDialog watchFileDialog;
    OpenDialog waveformDialog;
    ConditionDialog conditionDialog;
    Recording recording;
    StatusLine statusLine;
    SessionViews views;
    ProgramLoader* loader;
    ScanPacer* pacer;
    QString fileName;
    Settings settingsStore;
    QList<QAction*> recentEntries;
    QString startFile;
    // The program (absolute) whose watch table the table shows.
    QString tableProgram;
    // While an error box is up, a reload, and a load read meanwhile, wait for it to close.
    bool reporting = false;
};

} // namespace kvx
