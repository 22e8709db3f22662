#include "frontend/settings.h"

#include <QFileInfo>
#include <QSettings>

namespace kvx {

namespace {

const QString RecentKey = QStringLiteral("recentFiles");
const QString FolderKey = QStringLiteral("lastFolder");
const QString TablesKey = QStringLiteral("watchTables");
const QString StateKey = QStringLiteral("windowState");
const QString GeometryKey = QStringLiteral("windowGeometry");

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
    keepTablesOfRecentFiles(files.mid(0, MaxRecentFiles));
}

// The tables go with their files, so the settings do not grow with every program ever loaded.
void Settings::keepTablesOfRecentFiles(const QStringList& files) const {
    QSettings settings(file, QSettings::IniFormat);
    QVariantMap tables = settings.value(TablesKey).toMap();
    const qsizetype before = tables.size();
    tables.removeIf([&](const auto& entry) { return !files.contains(entry.key()); });
    if (tables.size() != before) {
        settings.setValue(TablesKey, tables);
        settings.sync();
    }
}

std::optional<QString> Settings::watchTable(const QString& path) const {
    const QVariantMap tables = QSettings(file, QSettings::IniFormat).value(TablesKey).toMap();
    const QString key = QFileInfo(path).absoluteFilePath();
    if (!tables.contains(key)) {
        return std::nullopt;
    }
    return tables.value(key).toString();
}

void Settings::setWatchTable(const QString& path, const QString& table) {
    const QString key = QFileInfo(path).absoluteFilePath();
    if (!recentFiles().contains(key)) {
        return;
    }
    QSettings settings(file, QSettings::IniFormat);
    QVariantMap tables = settings.value(TablesKey).toMap();
    tables.insert(key, table);
    settings.setValue(TablesKey, tables);
    settings.sync();
}

QByteArray Settings::windowState() const {
    return QSettings(file, QSettings::IniFormat).value(StateKey).toByteArray();
}

QByteArray Settings::windowGeometry() const {
    return QSettings(file, QSettings::IniFormat).value(GeometryKey).toByteArray();
}

void Settings::setWindowLayout(const QByteArray& state, const QByteArray& geometry) {
    QSettings settings(file, QSettings::IniFormat);
    settings.setValue(StateKey, state);
    settings.setValue(GeometryKey, geometry);
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
