// The simulator window: a view over one Session. It owns the scan timer and turns menu
// commands into the session's run control; painting and panel input belong to PanelWidget.
// Around that sits the edit-load loop: the loaded file is reloaded when it changes on disk,
// the files loaded last are offered again, and a file dropped on the window is loaded. A large
// file is read on a thread of its own, so the window goes on drawing and taking keys meanwhile;
// the session itself is only ever touched from the window's thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include <QMainWindow>
#include <QString>

#include "core/status.h"
#include "frontend/program_watch.h"
#include "frontend/settings.h"
#include "scenario/recorder.h"
#include "scenario/report_file.h"
#include "session/session.h"

class QLabel;
class QMenu;
class QTimer;

namespace kvx {

class PanelWidget;
class ProgramLoad;
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
    // A program of this size reads in well under a tenth of a second; a thread would only cost
    // more.
    static constexpr std::uintmax_t ReadAtOnceBytes = 256 * 1024;
    // Loads `path` as load() does once the window is on screen, so that an error box has its
    // place over the window (the command line's FILE).
    void openAtStart(const QString& path);
    // The file the installed program came from (absolute); empty before the first load.
    QString programFile() const;
    // Where the Laden dialog opens: the folder of the loaded file, else the one used last.
    QString ladenFolder() const;

    // The recent files and the last folder; tests point it at a file of their own.
    void setSettings(Settings store) { settingsStore = std::move(store); }
    const Settings& settings() const noexcept { return settingsStore; }

    void setOpenDialog(OpenDialog dialog) { openDialog = std::move(dialog); }
    // Asks where to save a recording; nullopt when cancelled.
    void setSaveDialog(OpenDialog dialog) { saveDialog = std::move(dialog); }
    bool isRecording() const noexcept { return recorder != nullptr; }
    void setErrorReport(ErrorReport report) { errorReport = std::move(report); }

    int isRunning() const noexcept { return sim.isRunning() ? 1 : 0; }
    int faktor() const noexcept { return sim.faktor(); }
    const CPU& cpu() const noexcept { return sim.cpu(); }
    MyIO& panelIO() noexcept { return sim.panel(); }
    Session& session() noexcept { return sim; }
    PanelWidget& panel() noexcept { return *panelWidget; }
    ProgramStatusView& statusView() noexcept { return *programStatus; }
    WatchView& watchView() noexcept { return *watchTable; }
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
    void buildMenu();
    void applyMenuState(QMenu& menu) const;
    // Menu enabling (which shortcuts follow) and the empty panel's hint, after any change.
    void refreshState();
    // Repaints after a scan that changed the LEDs and reports a fault the scan raised.
    void afterScan(const std::array<int, MyIO::Size>& ledsBefore,
                   const std::optional<CPUException>& fault);
    void reportError(const char* text);
    void reportError(const QString& text);
    struct LoadRequest {
        QString path;
        // The version stamped before reading: a save during the load is then seen as the newer
        // version it is.
        ProgramWatch::Stamp version;
        bool reload;
    };
    // Reads the file at once or on the reader thread; either replaces a load still being read.
    void startLoad(const LoadRequest& request);
    void stopReading();
    // On the window's thread, once the reader thread is done with load `number`.
    void readDone(std::uint64_t number, const LoadRequest& request,
                  const std::shared_ptr<ProgramLoad>& job);
    void finishLoad(const LoadRequest& request, ProgramLoad&& job);
    // Installs the program read; the text for the error box when it did not load.
    std::optional<QString> install(const LoadRequest& request, ProgramLoad&& job);
    void reload();
    void reloadWhenChanged();
    void openRecent(int index);

    void chooseAndLoad();
    void slower() noexcept { sim.slower(); }
    void quit();
    void faster() noexcept { sim.faster(); }
    void resume();
    void stop();
    void toggleRecording();
    // Ends a recording (if any) and puts its file in place.
    void endRecording();
    // Tells the recorder about a scan, with the LEDs it left.
    void recordScan(bool singleStep);
    void step();
    void resetCpu();
    void showProgramStatus();
    void showWatchTable();
    void unforceAll();
    void forcesChanged();
    // One scan through the session, captured for the status view when it asked for one.
    std::optional<CPUException> scanOnce(bool whateverTheRunState);
    void realTime() noexcept { sim.realTime(); }
    void showGuide();
    void showAboutBox();
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
    WatchView* watchTable;
    OpenDialog openDialog;
    OpenDialog saveDialog;
    ErrorReport errorReport;
    std::unique_ptr<ReplacingFile> recordFile;
    std::unique_ptr<ScenarioRecorder> recorder;
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
    Settings settingsStore;
    ProgramWatch* watch;
    QList<QAction*> recentEntries;
    QString startFile;
    // While an error box is up, a reload, and a load read meanwhile, wait for it to close.
    bool reporting = false;
    bool reloadWaiting = false;
    std::function<void()> finishAfterReport;
    // The load being read on the reader thread, if any: its number and file name. Only the
    // load numbered loadNumber, the newest, may install its program.
    std::jthread reader;
    std::uint64_t loadNumber = 0;
    QString readingName;
    // Scan pacing on the machine's tick: milliseconds not yet scanned for, up to a few.
    const Clock& tickSource;
    std::uint32_t paceMs = 0;
    std::uint32_t paceCredit = 0;
    bool catchUpQueued = false;
};

} // namespace kvx
