#include "frontend/settings.h"

#include <QFileInfo>
#include <QSettings>

namespace kvx {

namespace {

const QString RecentKey = QStringLiteral("recentFiles");
const QString FolderKey = QStringLiteral("lastFolder");

QString userSettingsFile() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kvx"),
                     QStringLiteral("kvx-sim"))
        .fileName();
}

} // namespace

Settings::Settings() : file(userSettingsFile()) {}

Settings::Settings(QString iniFile) : file(std::move(iniFile)) {}

QStringList Settings::recentFiles() const {
    QStringList files = QSettings(file, QSettings::IniFormat).value(RecentKey).toStringList();
    // A hand-edited file may hold more.
    return files.mid(0, MaxRecentFiles);
}

void Settings::addRecentFile(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(absolute);
    files.prepend(absolute);
    QSettings settings(file, QSettings::IniFormat);
    settings.setValue(RecentKey, files.mid(0, MaxRecentFiles));
    settings.sync();
}

QString Settings::lastFolder() const {
    return QSettings(file, QSettings::IniFormat).value(FolderKey).toString();
}

void Settings::setLastFolder(const QString& folder) {
    QSettings settings(file, QSettings::IniFormat);
    settings.setValue(FolderKey, folder);
    settings.sync();
}

} // namespace kvx
