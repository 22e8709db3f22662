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
schaltet E0.3) &ndash; &uuml;berall im Fenster und in seinen Ansichten, auch in einer
abgel&ouml;sten Ansicht und gleich nachdem ein Men&uuml; offen war. Nur wer gerade in ein
Textfeld oder eine Tabellenzelle schreibt, schreibt die Ziffer dort hinein.</p>
<h3>Maus und Fenster</h3>
<ul>
<li>Ein Linksklick auf einen Schalter schaltet ihn um.</li>
<li>Bleibt der Zeiger &uuml;ber einer LED oder einem Schalter stehen, nennt ein Hinweis ihren
Namen und Zustand.</li>
<li>Eine .awl-Datei, die auf das Fenster gezogen wird, wird geladen wie mit Datei &gt; Laden.</li>
<li>Das Bedienfeld w&auml;chst und schrumpft mit dem Fenster und beh&auml;lt seine
Proportionen.</li>
<li>Programmstatus, Variablen und Verlauf sind Ansichten am Rand des Fensters: an ihrer Titelleiste
lassen sie sich an einen anderen Rand ziehen oder als eigenes Fenster abl&ouml;sen, mit dem
Kreuz schlie&szlig;en. Beim n&auml;chsten Start stehen sie wieder dort.</li>
</ul>
<h3>Men&uuml;s</h3>
<ul>
<li><b>Datei</b>: Laden startet ein Programm von vorn. Wird die geladene Datei gespeichert,
l&auml;dt das Fenster sie nach kurzer Zeit neu; ein laufendes Programm l&auml;uft weiter, ein
angehaltenes bleibt angehalten. Neu laden tut dasselbe von Hand. Aufzeichnen schreibt alles,
was ab jetzt geschieht (Schalter, Schreiben, Forcieren, Reset, Url&ouml;schen, Zyklen), in ein
Szenario, das <code>kvx test</code> genau so wiederholt; Aufzeichnung beenden schlie&szlig;t
die Datei. Darunter stehen die zuletzt geladenen Dateien mit ihren Nummern; Beenden schlie&szlig;t
das Fenster.</li>
<li><b>Timer</b>: die erste Zeile nennt den Zeitfaktor. Langsamer und Schneller &auml;ndern ihn
um eins (1 bis 1000), Echtzeit setzt ihn auf 1.</li>
<li><b>Run</b>: Continue l&auml;sst das Programm laufen, Stop h&auml;lt es an, Einzelschriit
f&uuml;hrt einen Zyklus aus, Reset setzt das Erstzyklus-Bit SM0.1 und l&ouml;scht die
Flankenmerker der Anweisungen, beh&auml;lt aber Speicher, Timer und Z&auml;hler.
Url&ouml;schen l&ouml;scht dazu allen Speicher, alle Timer, alle Z&auml;hler und die LEDs, wie
die Url&ouml;schung einer echten Steuerung.</li>
<li><b>Debuggen</b>: Haltepunkt umschalten (oder ein Klick in die schmale erste Spalte des
Programmstatus) setzt oder l&ouml;scht einen Haltepunkt auf der gew&auml;hlten Zeile, ein roter
Punkt. Bedingung... setzt einen, der nur h&auml;lt, wenn ein Vergleich gilt (<code>M0.3 =
1</code>, <code>MW4 &gt; 100</code>); sein Punkt tr&auml;gt ein ?. Erreicht ein Zyklus einen
Haltepunkt, h&auml;lt er vor dieser Anweisung an: die Statuszeile zeigt <i>Angehalten: Zeile
N</i>, der Programmstatus die Zeile blau und alles, was in diesem Zyklus schon lief; noch nicht
erreichte Zeilen sind grau und kursiv. Anweisung f&uuml;hrt eine Anweisung aus, Bis
Zyklusende den Rest des Zyklus, Continue l&auml;uft bis zum n&auml;chsten Haltepunkt, Stop
beendet den Zyklus und h&auml;lt an. Die Ausg&auml;nge erreichen die LEDs erst am Ende des
Zyklus. Alle Haltepunkte l&ouml;schen entfernt alle.</li>
<li><b>Ansicht</b>: Programmstatus zeigt jede Anweisung mit ihrem Ergebnis im letzten Zyklus,
dem Logikstapel danach (Stack: die obersten acht Eintr&auml;ge als 0/1, der oberste links;
ist er tiefer, folgt die Tiefe in Klammern) und den Werten ihrer Operanden.
Variablen zeigt die Variablentabelle: ein Operand je Zeile (wie im Programm geschrieben), sein
Wert im gew&auml;hlten Format, ein Steuerwert und eine Meldung. Einmal schreiben schreibt den
Steuerwert der gew&auml;hlten Zeile, Alle schreiben den jeder Zeile, die einen hat. Ein
Haken bei Forciert h&auml;lt den Operanden auf dem Steuerwert, bis er entfernt wird; forcierte
LEDs und Schalter sind gelb umrahmt. <b>Entf</b> oder das Kontextmen&uuml; entfernt eine
Zeile, Ziehen verschiebt sie. Variablen speichern und Variablen laden schreiben und lesen die
Tabelle als Textdatei; jedes Programm bekommt beim Laden seine letzte Tabelle zur&uuml;ck.
Alles entforcen hebt jedes Forcieren auf.
Verlauf zeichnet die Operanden der Variablentabelle &uuml;ber der simulierten Zeit auf, Bits
als Stufen, Zahlen als Linie, zuerst die letzten 10 s. Pause (oder <b>Leertaste</b> im
Diagramm) h&auml;lt die Anzeige an, die Aufzeichnung l&auml;uft weiter; <b>Ende</b> kehrt zur
Gegenwart zur&uuml;ck. Zoom +/- (oder <b>+</b>/<b>-</b>, <b>Strg+Mausrad</b>) &auml;ndert die
Zeitspanne von 0,1 s bis 10 Minuten; die Bildlaufleiste, Ziehen mit der Maus oder die
Pfeiltasten bl&auml;ttern in der Aufzeichnung. Sie beh&auml;lt die letzten 10 Minuten, je
Operand h&ouml;chstens 100.000 &Auml;nderungen. Als VCD speichern schreibt sie als
Waveform-Datei, wie <code>kvx run --vcd</code>.</li>
<li><b>Hilfe</b>: Kurzanleitung zeigt diese Seite, &Uuml;ber KVX-Simulator die Angaben zum
Programm (Version, Lizenz).</li>
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
