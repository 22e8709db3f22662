// The panel on its own: which click hits which switch, the keys, and what is drawn where.
#include <optional>

#include <QTest>

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

    void keyThreeIsDrawnInTheFifthColumn() {
        QTest::keyClick(panel.get(), '3');
        const QImage image = shot(*panel);
        QCOMPARE(image.pixelColor(290 + 30, 160 + 52), Knob);
        QCOMPARE(image.pixelColor(290 + 30, 160 + 8), Background);
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
