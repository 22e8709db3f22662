#include "frontend/help.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace kvx {

namespace {

constexpr const char* GuideIntro = R"(
<h2>Kurzanleitung</h2>
<h3>Das Bedienfeld</h3>
<p>Oben stehen die acht Ausg&auml;nge, A0.7 links bis A0.0 rechts; eine rote LED ist eine 1.
Unten stehen die acht Eingangsschalter, E0.7 links bis E0.0 rechts; ein Schalter mit dem Hebel
unten ist eingeschaltet. Das Programm sieht einen umgelegten Schalter in seinem n&auml;chsten
Zyklus.</p>
<h3>Tastatur</h3>
<p>Die Tasten <b>0</b> bis <b>7</b> schalten den Schalter mit dieser Nummer um (<b>3</b>
schaltet E0.3) &ndash; immer, auch gleich nachdem ein Men&uuml; offen war.</p>
<h3>Maus</h3>
<ul>
<li>Ein Linksklick auf einen Schalter schaltet ihn um.</li>
<li>Bleibt der Zeiger &uuml;ber einer LED oder einem Schalter stehen, nennt ein Hinweis ihren
Namen und Zustand.</li>
<li>Eine .awl-Datei, die auf das Fenster gezogen wird, wird geladen wie mit Datei &gt; Laden.</li>
</ul>
<h3>Men&uuml;s</h3>
<ul>
<li><b>Datei</b>: Laden startet ein Programm von vorn. Wird die geladene Datei gespeichert, l&auml;dt
das Fenster sie nach kurzer Zeit neu; ein laufendes Programm l&auml;uft weiter, ein
angehaltenes bleibt angehalten. Neu laden tut dasselbe von Hand. Darunter stehen die zuletzt
geladenen Dateien mit ihren Nummern.</li>
<li><b>Timer</b>: die erste Zeile nennt den Zeitfaktor. Langsamer und Schneller &auml;ndern ihn
um eins (1 bis 1000), Echtzeit setzt ihn auf 1.</li>
<li><b>Run</b>: Continue l&auml;sst das Programm laufen, Stop h&auml;lt es an, Einzelschriit
f&uuml;hrt einen Zyklus aus, Reset setzt das Erstzyklus-Bit SM0.1.</li>
<li><b>Hilfe</b>: diese Seite und die Angaben zum Programm (Version, Lizenz).</li>
</ul>
<p>Was gerade nicht geht, ist grau; seine Tasten tun dann nichts.</p>
<h3>Tastenk&uuml;rzel</h3>
)";

QString shortcutRows(const QList<QAction*>& menus) {
    QString rows;
    for (const QAction* popup : menus) {
        if (popup->menu() == nullptr) {
            continue;
        }
        for (const QAction* item : popup->menu()->actions()) {
            if (item->shortcuts().isEmpty()) {
                continue;
            }
            QStringList keys;
            for (const QKeySequence& key : item->shortcuts()) {
                keys << key.toString(QKeySequence::NativeText).toHtmlEscaped();
            }
            rows += QStringLiteral("<tr><td>%1 &gt; %2</td><td><b>%3</b></td></tr>\n")
                        .arg(popup->iconText().toHtmlEscaped(), item->iconText().toHtmlEscaped(),
                             keys.join(QStringLiteral("</b> oder <b>")));
        }
    }
    return rows;
}

} // namespace

QString quickGuideHtml(const QList<QAction*>& menus) {
    return QString::fromUtf8(GuideIntro) +
           QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\">\n") + shortcutRows(menus) +
           QStringLiteral("<tr><td>Schalter E0.0 bis E0.7</td><td><b>0</b> bis "
                          "<b>7</b></td></tr>\n</table>\n");
}

void showQuickGuide(QWidget* owner, const QString& html) {
    auto* page = owner->findChild<QDialog*>(QStringLiteral("quickGuide"));
    if (page == nullptr) {
        page = new QDialog(owner);
        page->setObjectName(QStringLiteral("quickGuide"));
        page->setWindowTitle(QStringLiteral("Kurzanleitung - KVX-Simulator"));
        auto* text = new QTextBrowser(page);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, page);
        buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Schließen"));
        QObject::connect(buttons, &QDialogButtonBox::rejected, page, &QDialog::hide);
        auto* layout = new QVBoxLayout(page);
        layout->addWidget(text);
        layout->addWidget(buttons);
        page->resize(560, 600);
    }
    page->findChild<QTextBrowser*>()->setHtml(html);
    page->show();
    page->raise();
    page->activateWindow();
}

QString aboutText() {
    QString qt = QStringLiteral("Qt %1").arg(QString::fromLatin1(qVersion()));
    if (qstrcmp(qVersion(), QT_VERSION_STR) != 0) {
        qt += QStringLiteral(" (gebaut mit Qt %1)").arg(QStringLiteral(QT_VERSION_STR));
    }
    return QStringLiteral("<h3>KVX-Simulator %1</h3>"
                          "<p>Simuliert eine kleine speicherprogrammierbare Steuerung: Programme "
                          "als Anweisungsliste (*.awl), acht Schalter und acht LEDs.</p>"
                          "<p>Lizenz: %2</p><p>%3</p>")
        .arg(QStringLiteral(KVX_VERSION), QStringLiteral(KVX_LICENSE).toHtmlEscaped(), qt);
}

void showAbout(QWidget* owner) {
    auto* box = owner->findChild<QMessageBox*>(QStringLiteral("about"));
    if (box == nullptr) {
        box = new QMessageBox(QMessageBox::Information, QStringLiteral("Über KVX-Simulator"),
                              aboutText(), QMessageBox::Ok, owner);
        box->setObjectName(QStringLiteral("about"));
        box->setModal(false);
        box->setTextFormat(Qt::RichText);
        box->setIconPixmap(owner->windowIcon().pixmap(64, 64));
    }
    box->show();
    box->raise();
    box->activateWindow();
}

} // namespace kvx
