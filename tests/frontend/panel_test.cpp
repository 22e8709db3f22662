// The panel on its own: which click hits which switch, the keys, what is drawn where, and what
// hovering tells.
#include <optional>

#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

#include "frontend/panel.h"
#include "session/myio.h"
#include "tests/frontend/panel_helpers.h"
#include "tests/frontend/runners.h"

namespace kvx {

using namespace panelprobe;

class PanelTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        io.InState.fill(0);
        io.OutState.fill(0);
        panel = std::make_unique<PanelWidget>(io);
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
    }
    void cleanup() { panel.reset(); }

    void clickHitsTheColumnToTheLeft_data() {
        QTest::addColumn<QPoint>("pos");
        QTest::addColumn<int>("hit"); // -1: nothing
        QTest::newRow("top-left corner") << QPoint(10, 160) << 7;
        QTest::newRow("bottom-right corner") << QPoint(569, 222) << 0;
        QTest::newRow("gap after first image") << QPoint(75, 200) << 7;
        QTest::newRow("start of second column") << QPoint(80, 200) << 6;
        QTest::newRow("fifth column") << QPoint(290, 200) << 3;
        QTest::newRow("strip right of last image") << QPoint(565, 200) << 0;
        QTest::newRow("left of band") << QPoint(9, 200) << -1;
        QTest::newRow("right of band") << QPoint(570, 200) << -1;
        QTest::newRow("above band") << QPoint(300, 159) << -1;
        QTest::newRow("below band") << QPoint(300, 223) << -1;
        QTest::newRow("LED row") << QPoint(40, 80) << -1;
    }
    void clickHitsTheColumnToTheLeft() {
        QFETCH(QPoint, pos);
        QFETCH(int, hit);
        QTest::mouseClick(panel.get(), Qt::LeftButton, {}, pos);
        for (int k = 0; k < MyIO::Size; ++k) {
            QCOMPARE(io.InState[static_cast<std::size_t>(k)], k == hit ? 1 : 0);
        }
        QCOMPARE(PanelWidget::switchAt(pos).value_or(-1), hit);
    }

    void onlyTheLeftButtonToggles() {
        QTest::mouseClick(panel.get(), Qt::RightButton, {}, QPoint(10, 160));
        QTest::mouseClick(panel.get(), Qt::MiddleButton, {}, QPoint(10, 160));
        QCOMPARE(io.InState[7], 0);
    }

    void digitKeysToggleTheirSwitch_data() {
        QTest::addColumn<int>("digit");
        for (int d = 0; d < MyIO::Size; ++d) {
            QTest::addRow("key %d", d) << d;
        }
    }
    void digitKeysToggleTheirSwitch() {
        QFETCH(int, digit);
        const char key = static_cast<char>('0' + digit);
        PaintCounter paints(*panel);
        QTest::keyClick(panel.get(), key);
        for (int k = 0; k < MyIO::Size; ++k) {
            QCOMPARE(io.InState[static_cast<std::size_t>(k)], k == digit ? 1 : 0);
        }
        QTRY_VERIFY(paints.count > 0);
        QTest::keyClick(panel.get(), key);
        QCOMPARE(io.InState[static_cast<std::size_t>(digit)], 0);
    }

    void otherKeysChangeNothing_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("8") << int(Qt::Key_8) << "8";
        QTest::newRow("9") << int(Qt::Key_9) << "9";
        QTest::newRow("a") << int(Qt::Key_A) << "a";
        QTest::newRow("Z") << int(Qt::Key_Z) << "Z";
        QTest::newRow("space") << int(Qt::Key_Space) << " ";
        QTest::newRow("F1") << int(Qt::Key_F1) << "";
        QTest::newRow("minus") << int(Qt::Key_Minus) << "-";
    }
    void otherKeysChangeNothing() {
        QFETCH(int, key);
        QFETCH(QString, text);
        QCoreApplication::processEvents();
        PaintCounter paints(*panel);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(panel.get(), &press);
        QCoreApplication::processEvents();
        QVERIFY(io.InState == (std::array<int, MyIO::Size>{}));
        QCOMPARE(paints.count, 0);
    }

    void startsDarkWithEveryLeverUp() {
        const QImage image = shot(*panel);
        for (int bit = 0; bit < MyIO::Size; ++bit) {
            QCOMPARE(ledCentre(image, bit), DarkGrey);
            QCOMPARE(upperKnob(image, bit), Knob);
            QCOMPARE(lowerKnob(image, bit), Background);
        }
        QCOMPARE(image.pixelColor(2, 2), Background);
        QCOMPARE(image.pixelColor(20, 10), LabelBackground);
        QCOMPARE(image.pixelColor(520, 120), LabelBackground);
    }

    // Bit k is drawn in column 7 - k, so a swapped order shows up here.
    void eachStateIsDrawnInItsOwnColumn_data() {
        QTest::addColumn<int>("bit");
        for (int bit = 0; bit < MyIO::Size; ++bit) {
            QTest::addRow("bit %d", bit) << bit;
        }
    }
    void eachStateIsDrawnInItsOwnColumn() {
        QFETCH(int, bit);
        io.OutState[static_cast<std::size_t>(bit)] = 1;
        io.InState[static_cast<std::size_t>(bit)] = 1;
        const QImage image = shot(*panel);
        for (int b = 0; b < MyIO::Size; ++b) {
            const bool on = b == bit;
            QCOMPARE(ledCentre(image, b), on ? LitRed : DarkGrey);
            QCOMPARE(upperKnob(image, b), on ? Background : Knob);
            QCOMPARE(lowerKnob(image, b), on ? Knob : Background);
        }
    }

    // Twice the size, and taller than that: drawn twice as large, centred, and clicks and tips
    // land on what is drawn there.
    void scalesKeepingItsProportions() {
        panel->resize(2 * PanelWidget::Width, 2 * PanelWidget::Height + 40);
        io.OutState[5] = 1;
        const auto at = [](int x, int y) { return QPoint(2 * x, 20 + 2 * y); };
        const QImage image = shot(*panel);
        const QPoint led = at(columnX(5) + 30, 80);
        QCOMPARE(image.pixelColor(led), LitRed);
        QCOMPARE(image.pixelColor(at(columnX(4) + 30, 80)), DarkGrey);
        QCOMPARE(image.pixelColor(led.x(), 10), Background);
        QCOMPARE(panel->toolTipAt(led), QStringLiteral("LED A0.5: an"));
        QTest::mouseClick(panel.get(), Qt::LeftButton, {}, at(columnX(3) + 5, 200));
        QCOMPARE(io.InState[3], 1);
        QTest::mouseClick(panel.get(), Qt::LeftButton, {}, at(columnX(3) + 5, 230));
        QCOMPARE(io.InState[3], 1);
    }

    void keyThreeIsDrawnInTheFifthColumn() {
        QTest::keyClick(panel.get(), '3');
        const QImage image = shot(*panel);
        QCOMPARE(image.pixelColor(290 + 30, 160 + 52), Knob);
        QCOMPARE(image.pixelColor(290 + 30, 160 + 8), Background);
    }

    // LEDs are named over their images, switches over their whole click band.
    void hoveringNamesTheLedOrSwitchWithItsState_data() {
        QTest::addColumn<QPoint>("pos");
        QTest::addColumn<QString>("off");
        QTest::addColumn<QString>("on"); // with output and input bit of that column set
        QTest::newRow("LED A0.7") << QPoint(10, 50) << "LED A0.7: aus"
                                  << "LED A0.7: an";
        QTest::newRow("LED A0.3") << QPoint(290 + 30, 80) << "LED A0.3: aus"
                                  << "LED A0.3: an";
        QTest::newRow("LED A0.0 edge") << QPoint(569, 111) << "LED A0.0: aus"
                                       << "LED A0.0: an";
        QTest::newRow("switch E0.5") << QPoint(150 + 5, 200) << "Schalter E0.5: aus"
                                     << "Schalter E0.5: an";
        QTest::newRow("switch gap") << QPoint(75, 222) << "Schalter E0.7: aus"
                                    << "Schalter E0.7: an";
        QTest::newRow("above the LEDs") << QPoint(300, 49) << ""
                                        << "";
        QTest::newRow("label row") << QPoint(20, 125) << ""
                                   << "";
        QTest::newRow("below the switches") << QPoint(300, 240) << ""
                                            << "";
    }
    void hoveringNamesTheLedOrSwitchWithItsState() {
        QFETCH(QPoint, pos);
        QFETCH(QString, off);
        QFETCH(QString, on);
        QCOMPARE(panel->toolTipAt(pos), off);
        const int bit = on.isEmpty() ? 0 : on[on.indexOf(u'.') + 1].digitValue();
        io.OutState[static_cast<std::size_t>(bit)] = 1;
        io.InState[static_cast<std::size_t>(bit)] = 1;
        QCOMPARE(panel->toolTipAt(pos), on);

        // The same text as the tip the toolkit shows.
        QHelpEvent hover(QEvent::ToolTip, pos, panel->mapToGlobal(pos));
        QCoreApplication::sendEvent(panel.get(), &hover);
        QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), on);
        QToolTip::hideText();
    }

    // The hint's card sits on the middle of the panel, as much left as right of the centre,
    // and goes without a trace.
    void hintIsDrawnCentredUntilCleared() {
        const auto cardPixels = [this](int fromX, int toX) {
            const QImage image = shot(*panel);
            int n = 0;
            for (int y = 0; y < PanelWidget::Height; ++y) {
                for (int x = fromX; x < toX; ++x) {
                    n += image.pixelColor(x, y) == HintBackground ? 1 : 0;
                }
            }
            return n;
        };
        constexpr int Middle = PanelWidget::Width / 2;
        QCOMPARE(cardPixels(0, PanelWidget::Width), 0);
        panel->setHint(QStringLiteral("Kein Programm geladen\nDatei > Laden"));
        const int left = cardPixels(0, Middle);
        QVERIFY2(left > 1000, qPrintable(QString::number(left)));
        QVERIFY(std::abs(cardPixels(Middle, PanelWidget::Width) - left) < left / 10);
        QCOMPARE(ledCentre(shot(*panel), 0), DarkGrey);
        panel->setHint(QString());
        QCOMPARE(cardPixels(0, PanelWidget::Width), 0);
    }

private:
    MyIO io;
    std::unique_ptr<PanelWidget> panel;
};

int runPanelTests(int argc, char** argv) {
    PanelTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kvx
#include "panel_test.moc"
