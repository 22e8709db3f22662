// What the window keeps across starts: the programs loaded last and the folder the Laden
// dialog used last. Every call reads or writes the settings file at once, so windows that share
// it (several at a time, or one after another) see each other's entries.
#pragma once

#include <QString>
#include <QStringList>

namespace kvx {

class Settings final {
public:
    static constexpr int MaxRecentFiles = 8;

    // The user's own settings file.
    Settings();
    // An INI file of the caller's choosing (tests keep theirs in a temporary folder).
    explicit Settings(QString iniFile);

    const QString& fileName() const noexcept { return file; }

    // Absolute paths, the one loaded last first; at most MaxRecentFiles.
    QStringList recentFiles() const;
    // Puts `path` first, dropping an older entry for the same file and any beyond the limit.
    void addRecentFile(const QString& path);

    // The folder of the last file chosen or loaded; empty before the first.
    QString lastFolder() const;
    void setLastFolder(const QString& folder);

private:
    QString file;
};

} // namespace kvx
