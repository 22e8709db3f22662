// "Aufzeichnen": a recording of the window's session into a scenario file, written in full
// when it ends so that a crash leaves the file as it was. Reloading the program recorded on is
// part of the recording; loading another ends it, since the recording so far is a scenario of
// the old one.
#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "session/session_listener.h"

namespace kvx {

class ReplacingFile;
class Session;
class SessionRecorder;

class Recording final : public SessionListener {
public:
    // Shows an error text to the user.
    using ErrorReport = std::function<void(const QString& text)>;

    // `session` must outlive the recording.
    Recording(Session& session, ErrorReport report);
    ~Recording() override;
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    bool isActive() const noexcept { return recorder != nullptr; }
    // The scenario file's name, without its folder; empty when nothing is recorded.
    QString scenarioName() const { return isActive() ? scenario : QString(); }
    // Records into `path` from now on; `program` is the loaded file (may be empty), `name` what
    // the scenario names as its program. Reports why when it cannot.
    void start(const QString& path, const QString& program, const QString& name);
    // Ends the recording, if any, and puts its file in place.
    void end();

    void loaded(std::uint32_t now, const std::string& source) override;

private:
    Session& session;
    ErrorReport report;
    std::unique_ptr<ReplacingFile> file;
    std::unique_ptr<SessionRecorder> recorder;
    QString scenario;
};

} // namespace kvx
