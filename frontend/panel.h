// The I/O panel on screen: draws the LEDs and switches of a MyIO and lets the user flip a
// switch with the keys 0 to 7 or a left click on the row of switches.
#pragma once

#include <optional>

#include <QPixmap>
#include <QWidget>

namespace kvx {

class ForceTable;
class MyIO;

class PanelWidget final : public QWidget {
    Q_OBJECT

public:
    // Room for every image, label and the whole click band within the client area of the
    // window's fixed 580 x 300 size.
    static constexpr int Width = 574;
    static constexpr int Height = 254;

    // `io` must outlive the widget.
    explicit PanelWidget(MyIO& io, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {Width, Height}; }

    // LEDs and switches that `forces` covers get an outline; null shows none. Not owned.
    void setForceMarks(const ForceTable* forces) noexcept { forced = forces; }

    // The switch a left click at `pos` flips: clicks in the band y 160..222, x 10..569 hit
    // the column to their left (gaps included); anything else hits nothing.
    static std::optional<int> switchAt(QPoint pos) noexcept;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void toggle(int no);

    MyIO& io;
    QPixmap part;
    const ForceTable* forced = nullptr;
};

} // namespace kvx
