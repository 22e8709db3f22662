#include "frontend/dialogs.h"

#include <array>
#include <iterator>

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
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

bool askForCondition(QWidget* owner, int line, const QString& current,
                     const ConditionApply& apply) {
    static const QStringList Comparisons{"=", "<>", "<", ">", "<=", ">="};
    QDialog dialog(owner);
    dialog.setObjectName(QStringLiteral("conditionDialog"));
    dialog.setWindowTitle(QStringLiteral("Bedingung für Zeile %1").arg(line));
    auto* operand = new QLineEdit(&dialog);
    operand->setPlaceholderText(QStringLiteral("z. B. M0.3 oder MW4"));
    auto* comparison = new QComboBox(&dialog);
    comparison->addItems(Comparisons);
    auto* value = new QLineEdit(&dialog);
    value->setPlaceholderText(QStringLiteral("z. B. 1 oder 100"));
    auto* refusal = new QLabel(&dialog);
    refusal->setStyleSheet(QStringLiteral("color: rgb(170, 0, 0)"));
    refusal->setWordWrap(true);
    refusal->hide();
    // The longer operators first, so that "<=" is not taken for "<".
    const QRegularExpression parts(QStringLiteral(R"(^\s*(.*?)\s*(<>|<=|>=|=|<|>)\s*(.*?)\s*$)"));
    if (const auto match = parts.match(current); match.hasMatch()) {
        operand->setText(match.captured(1));
        comparison->setCurrentText(match.captured(2));
        value->setText(match.captured(3));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        // No operand: a breakpoint that always halts.
        const QString text = operand->text().trimmed().isEmpty()
                                 ? QString()
                                 : QStringLiteral("%1 %2 %3")
                                       .arg(operand->text().trimmed(), comparison->currentText(),
                                            value->text().trimmed());
        if (const auto refused = apply(text)) {
            refusal->setText(*refused);
            refusal->show();
            return;
        }
        dialog.accept();
    });
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("Operand:"), operand);
    form->addRow(QStringLiteral("Vergleich:"), comparison);
    form->addRow(QStringLiteral("Wert:"), value);
    form->addRow(new QLabel(QStringLiteral("Hält nur, wenn die Bedingung vor der Anweisung gilt; "
                                           "ohne Operand hält er immer."),
                            &dialog));
    form->addRow(refusal);
    form->addRow(buttons);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace kvx
