// Pixel probes of the panel drawing and a paint counter, shared by the panel and window tests.
#pragma once

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QObject>
#include <QWidget>

namespace kvx {

namespace panelprobe {

// Colours of the panel art at the probed pixels.
inline const QColor LitRed(224, 16, 16);
inline const QColor DarkGrey(212, 212, 212);
inline const QColor Knob(248, 248, 248);
inline const QColor Background(160, 160, 164);
inline const QColor LabelBackground(170, 170, 170);
// The card of the empty panel's hint.
inline const QColor HintBackground(250, 250, 246);

// Left edge of the column that shows bit `bit` (bit 7 at the left).
inline int columnX(int bit) {
    return 10 + 70 * (7 - bit);
}

// Centre of the doubled LED image.
inline QColor ledCentre(const QImage& image, int bit) {
    return image.pixelColor(columnX(bit) + 30, 50 + 30);
}

// The lever knob sits at the top of the image when the switch is up, at the bottom when down.
inline QColor upperKnob(const QImage& image, int bit) {
    return image.pixelColor(columnX(bit) + 30, 160 + 8);
}
inline QColor lowerKnob(const QImage& image, int bit) {
    return image.pixelColor(columnX(bit) + 30, 160 + 52);
}

inline QImage shot(QWidget& widget) {
    return widget.grab().toImage();
}

class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++count;
        }
        return false;
    }
};

} // namespace panelprobe

} // namespace kvx
