#include "frontend/program_watch.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

namespace kvx {

ProgramWatch::Stamp ProgramWatch::stampOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return {};
    }
    return {true,         info.st_dev,         info.st_ino,
            info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
}

ProgramWatch::ProgramWatch(QObject* parent) : QObject(parent) {
    settleTimer.setSingleShot(true);
    settleTimer.setInterval(SettleMs);
    connect(&settleTimer, &QTimer::timeout, this, &ProgramWatch::settle);
    connect(&watcher, &QFileSystemWatcher::fileChanged, this, [this] {
        written = true;
        settleTimer.start();
    });
    // The folder tells when a file is renamed over the program or when a deleted one comes
    // back; whether that was our file, the stamp decides once things have settled.
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this, [this] { settleTimer.start(); });
}

void ProgramWatch::watch(const QString& path, const Stamp& loaded) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (absolute != file) {
        if (!watcher.files().isEmpty() || !watcher.directories().isEmpty()) {
            watcher.removePaths(watcher.files() + watcher.directories());
        }
        file = absolute;
        watcher.addPath(QFileInfo(file).absolutePath());
    }
    follow(loaded);
    lastSeen = loaded;
    written = false;
    settleTimer.stop();
}

// A file replaced by rename, or deleted and written anew, is a new inode; the watcher may have
// dropped the old one or still hold it (when something keeps it open).
void ProgramWatch::follow(const Stamp& version) {
    const bool watched = watcher.files().contains(file);
    if (watched && version.device == watchedDevice && version.inode == watchedInode) {
        return;
    }
    if (watched) {
        watcher.removePath(file);
    }
    if (version.exists && watcher.addPath(file)) {
        watchedDevice = version.device;
        watchedInode = version.inode;
    }
}

void ProgramWatch::settle() {
    const Stamp now = stampOf(file);
    if (!now.exists) {
        return;
    }
    follow(now);
    if (!written && now == lastSeen) {
        return;
    }
    written = false;
    lastSeen = now;
    emit changed();
}

} // namespace kvx
