// Loading for the window: a program file is read at once, or on a thread of its own when it
// is large, so that the window goes on drawing and taking keys meanwhile; the session itself
// is only ever touched from the window's thread. The loaded file is reloaded when it changes
// on disk. While an error box is up, a reload, and a load read meanwhile, wait for it to close.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include <QObject>
#include <QString>

#include "core/cpu.h"
#include "frontend/program_watch.h"

namespace kvx {

class ProgramLoad;
class Session;

class ProgramLoader final : public QObject {
    Q_OBJECT

public:
    // A program of this size reads in well under a tenth of a second; a thread would only cost
    // more.
    static constexpr std::uintmax_t ReadAtOnceBytes = 256 * 1024;
    // A program of fewer steps frees in well under a millisecond.
    static constexpr std::size_t FreeAtOnceSteps = 10'000;

    // For the process, before its first thread: the reader thread allocates from the one heap
    // the window uses. With a heap of its own it would read slower (that heap grows a page
    // range at a time) and keep a large program's pages after the program is gone.
    static void useOneHeap() noexcept;

    struct Hooks {
        // A load started reading on the thread.
        std::function<void()> reading;
        // The program from `path` was installed.
        std::function<void(const QString& path)> installed;
        // A load ended; `error` is the text for the error box when it failed.
        std::function<void(const std::optional<QString>& error)> finished;
        // Whether an error box is up.
        std::function<bool()> reporting;
    };

    // `session` must outlive the loader.
    ProgramLoader(Session& session, Hooks hooks, QObject* parent);
    ~ProgramLoader() override;

    // Loads `path`; replaces a load still being read.
    void load(const QString& path);
    // Loads the watched file again, if any.
    void reload();
    // The error box has closed: what waited for it goes on.
    void reportClosed();
    // Returns once the program a load replaced is freed and its memory given back.
    void waitUntilFreed();

    // The watched file (absolute); empty before the first load.
    QString programFile() const { return watch->path(); }
    // The name of the file being read on the thread; empty when none is.
    const QString& readingName() const noexcept { return reading; }

private:
    struct Request {
        QString path;
        // The version stamped before reading: a save during the load is then seen as the newer
        // version it is.
        ProgramWatch::Stamp version;
        bool reload;
    };
    void start(const Request& request);
    void stopReading();
    // On the window's thread, once the reader thread is done with load `number`.
    void readDone(std::uint64_t number, const Request& request,
                  const std::shared_ptr<ProgramLoad>& job);
    void finish(const Request& request, ProgramLoad&& job);
    void freeReplaced(CPU::RetiredProgram old, std::size_t oldSteps);
    void reloadWhenChanged();

    Session& session;
    Hooks hooks;
    ProgramWatch* watch;
    bool reloadWaiting = false;
    std::function<void()> finishAfterReport;
    // The load being read on the reader thread, if any: its number and file name. Only the
    // load numbered loadNumber, the newest, may install its program.
    std::jthread reader;
    std::uint64_t loadNumber = 0;
    QString reading;
    // Frees a large replaced program, off the window's thread.
    std::jthread freer;
};

} // namespace kvx
