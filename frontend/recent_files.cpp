#include "frontend/recent_files.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>

namespace kvx {

namespace {

// Long folders are cut in the middle, where the names matter least.
constexpr qsizetype MaxFolderLength = 48;

QString shortFolder(const QString& folder) {
    QString text = QDir::toNativeSeparators(folder);
    const QString home = QDir::toNativeSeparators(QDir::homePath());
    if (text == home || text.startsWith(home + QDir::separator())) {
        text.replace(0, home.size(), QStringLiteral("~"));
    }
    if (text.size() > MaxFolderLength) {
        const qsizetype keep = (MaxFolderLength - 1) / 2;
        text = text.left(keep) + QChar(0x2026) + text.right(keep);
    }
    return text;
}

QString escapeAmpersands(QString text) {
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

QString recentFileLabel(int index, const QString& path) {
    const QFileInfo info(path);
    return QStringLiteral("&%1 %2  (%3)")
        .arg(index + 1)
        .arg(escapeAmpersands(info.fileName()), escapeAmpersands(shortFolder(info.path())));
}

void showRecentFiles(const QList<QAction*>& entries, const QStringList& files) {
    for (qsizetype i = 0; i < entries.size(); ++i) {
        QAction* entry = entries[i];
        const bool used = i < files.size();
        entry->setVisible(used);
        entry->setText(used ? recentFileLabel(static_cast<int>(i), files[i]) : QString());
        entry->setToolTip(used ? QDir::toNativeSeparators(files[i]) : QString());
    }
}

} // namespace kvx
