// The window's menus as tables: the items in order, the keys of each command and the rule
// that enables it. The window builds its menu bar from them and carries out the commands.
#pragma once

#include <functional>

#include <QKeySequence>
#include <QList>

class QAction;
class QMenu;
class QMenuBar;

namespace kvx {

struct MenuState {
    bool running;
    int faktor;
    bool program; // a program is installed
    bool file;    // ... and came from a file that can be reloaded
    bool halted;  // a scan stands before an instruction
    bool stops;   // a breakpoint is set
};

bool isRecentFile(int id) noexcept;
// The keys of command `id`, the one the menu shows first.
QList<QKeySequence> shortcutsOf(int id);
// Whether command `id` is enabled in `state`; commands without a rule always are.
bool isEnabledIn(int id, const MenuState& state);
// Fills `bar` with the menus; choosing an item calls `command` with its id, and `opening`
// runs as a menu is about to show. Returns the recent files' entries, hidden, the newest first.
QList<QAction*> buildMenus(QMenuBar& bar, const std::function<void(int)>& command,
                           const std::function<void(QMenu&)>& opening);

} // namespace kvx
