// The recent files in the Datei menu: one action per file, numbered 1 to 8
// as access keys.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QAction;

namespace kvx {

// The menu text of entry `index` (0 is the newest): "&1 lamps.awl  (~/kvx/examples)".
QString recentFileLabel(int index, const QString& path);

// Shows one file per action, in order, and hides the actions left over. Graying an entry
// whose file no longer exists is the window's enable rule: such a file may come back.
void showRecentFiles(const QList<QAction*>& entries, const QStringList& files);

} // namespace kvx
