// Watches the file of the installed program and says when a new version of it has settled on
// disk. Editors save in bursts (truncate, write, write) or write a new file and rename it over
// the old one; both end in one `changed` once the file has been quiet for the settling delay.
// A file that disappears is waited for: it counts as changed when it comes back.
#pragma once

#include <sys/types.h>

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

namespace kvx {

class ProgramWatch final : public QObject {
    Q_OBJECT

public:
    static constexpr int SettleMs = 200;

    // Which file a name stood for and which version of it; equal stamps, same content.
    struct Stamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        time_t seconds = 0;
        long nanoseconds = 0;
        bool operator==(const Stamp&) const = default;
    };
    static Stamp stampOf(const QString& path);

    explicit ProgramWatch(QObject* parent = nullptr);

    // From now on watches `path`, of which the version `loaded` is installed.
    void watch(const QString& path, const Stamp& loaded);
    // The watched file's absolute path; empty before the first watch().
    const QString& path() const noexcept { return file; }
    // The version `version` has been tried (a reload by hand that failed, say); events that
    // bring no newer one do not ask for it again.
    void seen(const Stamp& version) noexcept { lastSeen = version; }
    bool isSettling() const noexcept { return settleTimer.isActive(); }

signals:
    // A version other than the last one seen exists and has settled.
    void changed();

private:
    void follow(const Stamp& version);
    void settle();

    QFileSystemWatcher watcher;
    QTimer settleTimer;
    QString file;
    Stamp lastSeen;
    dev_t watchedDevice = 0;
    ino_t watchedInode = 0;
    // The file itself reported a change: its content may be new even if the stamp is not
    // (a rewrite of the same size within one tick of the file system's clock).
    bool written = false;
};

} // namespace kvx
