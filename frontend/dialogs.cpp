#include "frontend/dialogs.h"

#include <array>
#include <iterator>

#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QShowEvent>
#include <QTreeView>

namespace kvx {

namespace {

// Qt places a dialog over its owner before the box has its final size, and at start-up a
// window manager places the owner only after the box is up, so Qt's own placement lands
// beside it. The box centres itself once it knows its size, as it is shown, and again
// whenever the owner turns out to be somewhere else.
class CentredMessageBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        if (QWidget* owner = ownerWindow()) {
            owner->installEventFilter(this);
        }
        centreOnOwner();
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == ownerWindow() &&
            (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
            centreOnOwner();
        }
        return QMessageBox::eventFilter(watched, event);
    }

private:
    QWidget* ownerWindow() const {
        return parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    }

    void centreOnOwner() {
        const QWidget* owner = ownerWindow();
        if (owner == nullptr || !owner->isVisible()) {
            return;
        }
        // The box is not decorated yet; it will be like its owner.
        const QRect ownerFrame = owner->frameGeometry();
        const QSize decoration = ownerFrame.size() - owner->geometry().size();
        const QSize frame = size() + decoration;
        move(ownerFrame.center() - QPoint(frame.width() / 2, frame.height() / 2));
    }
};

// Wide enough for long program names next to size, type and date.
constexpr QSize ProgramDialogSize(820, 500);
constexpr std::array<int, 3> ColumnWidths{320, 80, 100};

} // namespace

void showErrorBox(QWidget* owner, const QString& text) {
    CentredMessageBox box(QMessageBox::Critical, QStringLiteral("Fehler"), text, QMessageBox::Ok,
                          owner);
    box.exec();
}

void prepareProgramDialog(QFileDialog& dialog, const QString& folder) {
    dialog.setWindowTitle(QStringLiteral("Programm laden"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Awlfile (*.awl)"), QStringLiteral("Alle Dateien (*)")});
    if (!folder.isEmpty()) {
        dialog.setDirectory(folder);
    }
    // Only Qt's own dialog can be sized; a desktop's native one sizes itself.
    dialog.resize(dialog.size().expandedTo(ProgramDialogSize));
    if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        // Name, size and type as wide as they need; the date takes the rest in full.
        QHeaderView* columns = details->header();
        for (int column = 0; column < std::ssize(ColumnWidths); ++column) {
            columns->resizeSection(column, ColumnWidths[static_cast<std::size_t>(column)]);
        }
        columns->setStretchLastSection(true);
    }
}

namespace {

std::optional<QString> chosenFile(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first();
}

} // namespace

std::optional<QString> askForProgram(QWidget* owner, const QString& folder) {
    QFileDialog dialog(owner);
    prepareProgramDialog(dialog, folder);
    return chosenFile(dialog);
}

// The dialog adds the ending itself: added afterwards, it would make the file the dialog asked
// to replace another one than the file written.
std::optional<QString> askForRecording(QWidget* owner, const QString& folder) {
    QFileDialog dialog(owner, QStringLiteral("Aufzeichnung speichern"), folder,
                       QStringLiteral("Szenario (*.scn);;Alle Dateien (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("scn"));
    return chosenFile(dialog);
}

std::optional<QString> askForWaveform(QWidget* owner, const QString& folder) {
    QFileDialog dialog(owner, QStringLiteral("Als VCD speichern"), folder,
                       QStringLiteral("Waveform (*.vcd);;Alle Dateien (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("vcd"));
    return chosenFile(dialog);
}

std::optional<QString> askForWatchFile(QWidget* owner, const QString& folder, bool save) {
    QFileDialog dialog(
        owner, save ? QStringLiteral("Variablen speichern") : QStringLiteral("Variablen laden"),
        folder, QStringLiteral("Variablen (*.var);;Alle Dateien (*)"));
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("var"));
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    return chosenFile(dialog);
}

} // namespace kvx
