// The Hilfe menu's pages: the Kurzanleitung (keys, mouse, menus, shortcuts) and the box about
// the program. Both leave the simulation running and the window usable.
#pragma once

#include <QList>
#include <QString>

class QAction;
class QWidget;

namespace kvx {

// The Kurzanleitung as HTML. Its shortcut table is read from `menus` (the menu bar's
// actions), so it lists the keys the menus really have.
QString quickGuideHtml(const QList<QAction*>& menus);

// Shows the Kurzanleitung beside `owner` (object name "quickGuide"); a second call raises
// the page already open.
void showQuickGuide(QWidget* owner, const QString& html);

// Version, licence and Qt version.
QString aboutText();
// Shows aboutText() in a box over `owner` (object name "about").
void showAbout(QWidget* owner);

} // namespace kvx
