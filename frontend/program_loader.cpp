#include "frontend/program_loader.h"

#include <atomic>
#include <stop_token>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QFile>
#include <QFileInfo>

#include "core/decoded.h"
#include "frontend/error_text.h"
#include "session/program_load.h"
#include "session/session.h"

namespace kvx {

ProgramLoader::ProgramLoader(Session& s, Hooks h, QObject* parent)
    : QObject(parent), session(s), hooks(std::move(h)), watch(new ProgramWatch(this)) {
    connect(watch, &ProgramWatch::changed, this, &ProgramLoader::reloadWhenChanged);
}

// The reader thread posts to this loader.
ProgramLoader::~ProgramLoader() {
    stopReading();
    waitUntilFreed();
}

void ProgramLoader::load(const QString& path) {
    start({path, ProgramWatch::stampOf(path), false});
}

void ProgramLoader::reload() {
    const QString path = programFile();
    if (!path.isEmpty()) {
        start({path, ProgramWatch::stampOf(path), true});
    }
}

void ProgramLoader::reloadWhenChanged() {
    if (hooks.reporting()) {
        reloadWaiting = true;
        return;
    }
    reload();
}

void ProgramLoader::reportClosed() {
    if (const auto finishNow = std::exchange(finishAfterReport, nullptr)) {
        finishNow();
    }
    if (std::exchange(reloadWaiting, false)) {
        reload();
    }
}

void ProgramLoader::start(const Request& request) {
    stopReading();
    const std::uint64_t number = ++loadNumber;
    ProgramLoad job = session.prepareLoad();
    // A file that is not there, is no regular file or is beyond the bound fails here, at once.
    job.open(QFile::encodeName(request.path).toStdString());
    if (job.fileSize() <= ReadAtOnceBytes) {
        job.readFile();
        finish(request, std::move(job));
        return;
    }
    reading = QFileInfo(request.path).fileName();
    reader =
        std::jthread([this, number, request, job = std::move(job)](std::stop_token stop) mutable {
            std::atomic<bool> stopped = false;
            const std::stop_callback onStop(stop, [&stopped] { stopped = true; });
            job.readFile(&stopped);
            if (stop.stop_requested()) {
                return;
            }
            auto done = std::make_shared<ProgramLoad>(std::move(job));
            QMetaObject::invokeMethod(
                this, [this, number, request, done] { readDone(number, request, done); },
                Qt::QueuedConnection);
        });
    hooks.reading();
}

void ProgramLoader::stopReading() {
    if (reader.joinable()) {
        reader.request_stop();
        reader.join();
    }
    reading.clear();
}

void ProgramLoader::readDone(std::uint64_t number, const Request& request,
                             const std::shared_ptr<ProgramLoad>& job) {
    // A newer load has replaced this one since.
    if (number != loadNumber) {
        return;
    }
    if (hooks.reporting()) {
        finishAfterReport = [this, number, request, job] { readDone(number, request, job); };
        return;
    }
    stopReading();
    finish(request, std::move(*job));
}

void ProgramLoader::useOneHeap() noexcept {
#ifdef __GLIBC__
    mallopt(M_ARENA_MAX, 1);
#endif
}

namespace {
std::size_t programSteps(const Session& session) noexcept {
    const DecodedProgram* decoded = session.cpu().decodedForm();
    return decoded == nullptr ? 0 : decoded->size();
}
} // namespace

void ProgramLoader::waitUntilFreed() {
    if (freer.joinable()) {
        freer.join();
    }
}

namespace {
// The old program's many small pieces lie spread over the heap, so the allocator keeps most of
// their pages: after a large program a small one would still hold the large one's memory.
// Giving them back walks the heap, which a larger program than the last does not need.
void freeAndGiveBack(CPU::RetiredProgram& old, bool giveBack) noexcept {
    old = {};
#ifdef __GLIBC__
    if (giveBack) {
        malloc_trim(0);
    }
#else
    (void)giveBack;
#endif
}
} // namespace

// A large program takes tens of milliseconds to free, which the new program's first scans
// and the window need not wait for.
void ProgramLoader::freeReplaced(CPU::RetiredProgram old, std::size_t oldSteps) {
    const bool giveBack = programSteps(session) <= oldSteps;
    waitUntilFreed();
    if (oldSteps < FreeAtOnceSteps) {
        freeAndGiveBack(old, giveBack);
        return;
    }
    freer = std::jthread(
        [old = std::move(old), giveBack]() mutable { freeAndGiveBack(old, giveBack); });
}

// A reload replaces the program, not the user's choice to run it: a running program runs on
// from its first scan, a stopped one waits at its first scan for Continue or Einzelschriit,
// so that stepping through a program survives editing it. (Laden and a drop start the program
// they load, as loading a program always has.) A run stopped by a fault counts as stopped.
void ProgramLoader::finish(const Request& request, ProgramLoad&& job) {
    const bool wasRunning = session.isRunning();
    const std::size_t oldSteps = programSteps(session);
    std::optional<QString> error;
    if (const auto failure = session.install(std::move(job))) {
        error = errorText(*failure, request.path);
    } else {
        freeReplaced(job.takeReplaced(), oldSteps);
        watch->watch(request.path, request.version);
        hooks.installed(request.path);
    }
    if (request.reload && error) {
        // A version that failed is not tried again until it changes.
        watch->seen(request.version);
    } else if (request.reload && !wasRunning) {
        session.stop();
    }
    hooks.finished(error);
}

} // namespace kvx
