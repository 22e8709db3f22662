#include "frontend/menus.h"

#include <span>

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "frontend/mainwindow.h"

namespace kvx {

namespace {

struct MenuEntry {
    const char* text; // null: a separator; empty: filled in while the menu opens
    int id;
};

struct Popup {
    const char* title;
    std::span<const MenuEntry> items;
};

constexpr MenuEntry DateiItems[] = {
    {"&Laden", MainWindow::Laden},
    {"&Neu laden", MainWindow::NeuLaden},
    {"&Aufzeichnen...", MainWindow::Aufzeichnen},
    {nullptr, 0},
    {"", MainWindow::RecentFile1},
    {"", MainWindow::RecentFile1 + 1},
    {"", MainWindow::RecentFile1 + 2},
    {"", MainWindow::RecentFile1 + 3},
    {"", MainWindow::RecentFile1 + 4},
    {"", MainWindow::RecentFile1 + 5},
    {"", MainWindow::RecentFile1 + 6},
    {"", MainWindow::RecentFile8},
    {nullptr, 0},
    {"&Beenden", MainWindow::Beenden},
};
constexpr MenuEntry TimerItems[] = {
    {"", MainWindow::FaktorAnzeige}, // "Faktor 1:N"
    {nullptr, 0},
    {"&Langsamer", MainWindow::Langsamer},
    {"&Schneller", MainWindow::Schneller},
    {"&Echtzeit", MainWindow::Echtzeit},
};
constexpr MenuEntry RunItems[] = {
    {"&Continue", MainWindow::Continue},
    {"&Stop", MainWindow::Stop},
    {"&Einzelschriit", MainWindow::Einzelschritt},
    {nullptr, 0},
    {"&Reset", MainWindow::Reset},
    {"&Urlöschen", MainWindow::Urloeschen},
};
constexpr MenuEntry DebuggenItems[] = {
    {"&Anweisung", MainWindow::Anweisung},
    {"&Bis Zyklusende", MainWindow::BisZyklusende},
    {nullptr, 0},
    {"Haltepunkt &umschalten", MainWindow::HaltepunktUmschalten},
    {"Be&dingung...", MainWindow::Bedingung},
    {"Alle Haltepunkte &löschen", MainWindow::HaltepunkteLoeschen},
};
constexpr MenuEntry AnsichtItems[] = {
    {"&Programmstatus", MainWindow::Programmstatus},
    {"&Variablen", MainWindow::Variablen},
    {"Verl&auf", MainWindow::Verlauf},
    {"Variablen spei&chern...", MainWindow::VariablenSpeichern},
    {"Variablen &laden...", MainWindow::VariablenLaden},
    {nullptr, 0},
    {"Alles &entforcen", MainWindow::AllesEntforcen},
};
constexpr MenuEntry HilfeItems[] = {
    {"&Kurzanleitung", MainWindow::Kurzanleitung},
    {"&Über KVX-Simulator", MainWindow::Ueber},
};
constexpr Popup Popups[] = {
    {"&Datei", DateiItems},       {"&Timer", TimerItems},     {"&Run", RunItems},
    {"De&buggen", DebuggenItems}, {"&Ansicht", AnsichtItems}, {"&Hilfe", HilfeItems},
};

// The desktop's standard key for a command comes first (the menu shows the first key); the
// keys named after it are added where the desktop has none or another one, so they work on
// every desktop. None may be a digit: 0 to 7 belong to the switches.
struct ShortcutEntry {
    int id;
    QKeySequence::StandardKey standard;
    const char* keys; // portable text, "; " between keys
};

constexpr ShortcutEntry Shortcuts[] = {
    {MainWindow::Laden, QKeySequence::Open, "Ctrl+O"},
    {MainWindow::NeuLaden, QKeySequence::UnknownKey, "F5"},
    {MainWindow::Beenden, QKeySequence::Quit, "Ctrl+Q"},
    {MainWindow::Langsamer, QKeySequence::ZoomOut, "Ctrl+-"},
    {MainWindow::Schneller, QKeySequence::ZoomIn, "Ctrl++; Ctrl+="},
    {MainWindow::Continue, QKeySequence::UnknownKey, "F9"},
    {MainWindow::Stop, QKeySequence::UnknownKey, "Shift+F9; F6"},
    {MainWindow::Einzelschritt, QKeySequence::UnknownKey, "F10; F7"},
    {MainWindow::Reset, QKeySequence::UnknownKey, "Ctrl+R"},
    {MainWindow::Urloeschen, QKeySequence::UnknownKey, "Ctrl+Shift+R"},
    {MainWindow::Kurzanleitung, QKeySequence::HelpContents, "F1"},
    {MainWindow::Programmstatus, QKeySequence::UnknownKey, "F3"},
    {MainWindow::Variablen, QKeySequence::UnknownKey, "F4"},
    {MainWindow::Verlauf, QKeySequence::UnknownKey, "Ctrl+Shift+V"},
    {MainWindow::Anweisung, QKeySequence::UnknownKey, "F11"},
    {MainWindow::BisZyklusende, QKeySequence::UnknownKey, "Shift+F11"},
    {MainWindow::HaltepunktUmschalten, QKeySequence::UnknownKey, "F8"},
    {MainWindow::AllesEntforcen, QKeySequence::UnknownKey, "Ctrl+Shift+E"},
};

} // namespace

QList<QKeySequence> shortcutsOf(int id) {
    QList<QKeySequence> keys;
    for (const ShortcutEntry& entry : Shortcuts) {
        if (entry.id != id) {
            continue;
        }
        keys = QKeySequence::keyBindings(entry.standard);
        for (const QKeySequence& key :
             QKeySequence::listFromString(QString::fromLatin1(entry.keys))) {
            if (!keys.contains(key)) {
                keys << key;
            }
        }
    }
    return keys;
}

namespace {

struct EnableRule {
    int id;
    bool (*enabled)(const MenuState& state);
};

constexpr EnableRule EnableRules[] = {
    {MainWindow::Langsamer, [](const MenuState& s) { return s.faktor < MainWindow::MaxFaktor; }},
    {MainWindow::Schneller, [](const MenuState& s) { return s.faktor > MainWindow::MinFaktor; }},
    {MainWindow::Echtzeit, [](const MenuState& s) { return s.faktor > MainWindow::MinFaktor; }},
    {MainWindow::FaktorAnzeige, [](const MenuState&) { return false; }},
    // Continue and Stop also end a halted scan: on to the next breakpoint, or stopped.
    {MainWindow::Continue,
     [](const MenuState& s) { return (!s.running && s.program) || s.halted; }},
    {MainWindow::Einzelschritt, [](const MenuState& s) { return !s.running && s.program; }},
    {MainWindow::Stop, [](const MenuState& s) { return s.running || s.halted; }},
    {MainWindow::Anweisung, [](const MenuState& s) { return s.halted; }},
    {MainWindow::BisZyklusende, [](const MenuState& s) { return s.halted; }},
    {MainWindow::HaltepunktUmschalten, [](const MenuState& s) { return s.program; }},
    {MainWindow::Bedingung, [](const MenuState& s) { return s.program; }},
    {MainWindow::HaltepunkteLoeschen, [](const MenuState& s) { return s.stops; }},
    {MainWindow::NeuLaden, [](const MenuState& s) { return s.file; }},
    {MainWindow::Aufzeichnen, [](const MenuState& s) { return s.program; }},
};

} // namespace

bool isRecentFile(int id) noexcept {
    return id >= MainWindow::RecentFile1 && id <= MainWindow::RecentFile8;
}

bool isEnabledIn(int id, const MenuState& state) {
    for (const EnableRule& rule : EnableRules) {
        if (rule.id == id) {
            return rule.enabled(state);
        }
    }
    return true;
}

QList<QAction*> buildMenus(QMenuBar& bar, const std::function<void(int)>& command,
                           const std::function<void(QMenu&)>& opening) {
    QList<QAction*> recentEntries;
    for (const Popup& popup : Popups) {
        QMenu* menu = bar.addMenu(QString::fromUtf8(popup.title));
        menu->setToolTipsVisible(true);
        for (const MenuEntry& item : popup.items) {
            if (item.text == nullptr) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(QString::fromUtf8(item.text));
            action->setData(item.id);
            action->setShortcuts(shortcutsOf(item.id));
            // The menu shows one key; the tip names every one.
            if (action->shortcuts().size() > 1) {
                QStringList keys;
                for (const QKeySequence& key : action->shortcuts()) {
                    keys << key.toString(QKeySequence::NativeText);
                }
                action->setToolTip(QStringLiteral("%1 (%2)").arg(
                    action->iconText(), keys.join(QStringLiteral(" oder "))));
            }
            if (isRecentFile(item.id)) {
                action->setVisible(false);
                recentEntries << action;
            }
            QObject::connect(action, &QAction::triggered, &bar,
                             [command, id = item.id] { command(id); });
        }
        QObject::connect(menu, &QMenu::aboutToShow, &bar, [opening, menu] { opening(*menu); });
    }
    return recentEntries;
}

} // namespace kvx
