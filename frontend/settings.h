// What the window keeps across starts: the programs loaded last, the watch table of each of
// them, the folder the Laden dialog used last, and where the window and its views were. Every call
// reads or writes the settings file at once, so windows that share it (several at a time, or one
// after another) see each other's entries.
#pragma once

#include <optional>

#include <QByteArray>
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

    // The watch table (WatchList::text()) last shown with the program `path`; nothing when
    // none was kept. Only the recent files keep theirs.
    std::optional<QString> watchTable(const QString& path) const;
    void setWatchTable(const QString& path, const QString& table);

    // QMainWindow::saveState and saveGeometry of the window as it closed last; empty before.
    QByteArray windowState() const;
    QByteArray windowGeometry() const;
    void setWindowLayout(const QByteArray& state, const QByteArray& geometry);

private:
    void keepTablesOfRecentFiles(const QStringList& files) const;

    QString file;
};

} // namespace kvx
