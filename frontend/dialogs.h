// The window's standard dialogs: the "Fehler" box, the file dialogs and the breakpoint's
// condition.
#pragma once

#include <functional>
#include <optional>

#include <QString>

class QFileDialog;
class QWidget;

namespace kvx {

// Shows `text` in the modal "Fehler" box, centred on `owner`'s window wherever that is, also
// while the window manager is still placing it.
void showErrorBox(QWidget* owner, const QString& text);

// Sets up the Laden dialog: programs and all files to choose from, starting in `folder`, and
// large enough that its columns can be read.
void prepareProgramDialog(QFileDialog& dialog, const QString& folder);

// Asks for a program file, starting in `folder`; nullopt when cancelled.
std::optional<QString> askForProgram(QWidget* owner, const QString& folder);
// Asks where to save a recorded scenario, starting in `folder`; adds ".scn" when the name has
// no ending, before the dialog asks whether to replace an existing file. nullopt when
// cancelled.
std::optional<QString> askForRecording(QWidget* owner, const QString& folder);
// Asks where to save the trend as a waveform (adding ".vcd" to a name without ending),
// starting in `folder`; nullopt when cancelled.
std::optional<QString> askForWaveform(QWidget* owner, const QString& folder);
// Asks for a watch table file to save (adding ".var" to a name without ending) or to load,
// starting in `folder`; nullopt when cancelled.
std::optional<QString> askForWatchFile(QWidget* owner, const QString& folder, bool save);

// Sets a condition ("MW4 > 100"; empty: always halt) and returns why it was refused.
using ConditionApply = std::function<std::optional<QString>(const QString& condition)>;
// Asks for the condition of the breakpoint on `line` (operand, comparison, value), starting
// from `current`; OK hands it to `apply`, and a refusal stays in the dialog to be corrected.
// False when cancelled.
bool askForCondition(QWidget* owner, int line, const QString& current, const ConditionApply& apply);

} // namespace kvx
