#include "frontend/recording.h"

#include <span>
#include <string>
#include <utility>

#include <QDate>
#include <QFile>
#include <QFileInfo>

#include "scenario/recorder.h"
#include "scenario/report_file.h"
#include "session/session.h"

namespace kvx {

Recording::Recording(Session& s, ErrorReport r) : session(s), report(std::move(r)) {
    session.addListener(*this);
}

Recording::~Recording() {
    session.removeListener(*this);
    if (recorder) {
        recorder->finish();
        recorder.reset();
        file->commit();
    }
}

void Recording::start(const QString& path, const QString& program, const QString& name) {
    const std::string target = QFile::encodeName(path).toStdString();
    if (const std::string input = QFile::encodeName(program).toStdString();
        !input.empty() && inputAt(target, std::span(&input, 1))) {
        report(QStringLiteral("The recording cannot replace the program %1; choose another file")
                   .arg(path));
        return;
    }
    auto made = std::make_unique<ReplacingFile>(target);
    if (!made->isOpen()) {
        report(QStringLiteral("File %1 could not be written").arg(path));
        return;
    }
    file = std::move(made);
    scenario = QFileInfo(path).fileName();
    recorder =
        std::make_unique<SessionRecorder>(session, file->stream(), name.toStdString(),
                                          QDate::currentDate().toString(Qt::ISODate).toStdString());
}

void Recording::end() {
    if (!recorder) {
        return;
    }
    recorder->finish();
    recorder.reset();
    const bool failed = !file->commit();
    file.reset();
    if (failed) {
        report(QStringLiteral("The recording could not be written completely"));
    }
}

// A reload of the program recorded on is part of the recording; another program ends it.
void Recording::loaded(std::uint32_t, const std::string&) {
    if (recorder && !recorder->recordsInstalledProgram()) {
        end();
    }
}

} // namespace kvx
