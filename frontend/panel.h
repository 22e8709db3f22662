// The I/O panel on screen: draws the LEDs and switches of a MyIO and lets the user flip a
// switch with the keys 0 to 7 or a left click on the row of switches. Hovering an LED or a
// switch names it with its state; an optional hint is drawn centred over the panel. The panel
// is laid out at Width x Height and drawn scaled to the widget, keeping its proportions and
// centred; at its own size it is drawn pixel for pixel.
#pragma once

#include <optional>

#include <QPixmap>
#include <QString>
#include <QTransform>
#include <QWidget>

class QKeyEvent;

namespace kvx {

class ForceTable;
class MyIO;

class PanelWidget final : public QWidget {
    Q_OBJECT

public:
    // Room for every image, label and the whole click band: the panel's own size, which the
    // window starts with.
    static constexpr int Width = 574;
    static constexpr int Height = 254;

    // `io` must outlive the widget.
    explicit PanelWidget(MyIO& io, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {Width, Height}; }

    // LEDs and switches that `forces` covers get an outline; null shows none. Not owned.
    void setForceMarks(const ForceTable* forces) noexcept { forced = forces; }

    // The switch a left click at `pos` of the panel at its own size flips: clicks in the band
    // y 160..222, x 10..569 hit the column to their left (gaps included); anything else hits
    // nothing.
    static std::optional<int> switchAt(QPoint pos) noexcept;
    // The LED the image at `pos` shows (the same columns, over the height of the images).
    static std::optional<int> ledAt(QPoint pos) noexcept;
    // What hovering at `pos` of the widget tells: "LED A0.3: an", "Schalter E0.5: aus", or
    // nothing.
    QString toolTipAt(QPoint pos) const;
    // From the panel at its own size to the widget: the scale and the centring.
    QTransform placement() const;
    // The point of the panel at its own size that the widget's `pos` shows.
    QPoint panelPoint(QPointF pos) const;

    // A short text drawn centred over the panel while not empty (the window's empty state).
    void setHint(const QString& text);
    const QString& hint() const noexcept { return hintText; }

    // The switch a key flips: one whose text is a digit 0 to 7.
    static std::optional<int> switchForKey(const QKeyEvent& key) noexcept;
    // Flips switch `no` (0..7) as its key does.
    void toggle(int no);

signals:
    // The user flipped switch `no` (by key or mouse); `value` is its new state.
    void switchFlipped(int no, int value);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    MyIO& io;
    QPixmap part;
    const ForceTable* forced = nullptr;
    QString hintText;
};

} // namespace kvx
