// Small widget kinds that the windows need and Qt lacks: a label that acts as
// a link, a label that wraps long paths anywhere, an option button whose
// caption wraps, and a tab page that places its controls relative to the tab
// control as a whole.
#pragma once

#include <QFont>
#include <QLabel>
#include <QPoint>
#include <QProxyStyle>
#include <QRadioButton>
#include <QWidget>

namespace hydrosk::ui {

// Registers the pictures compiled into this library (the window icon and the
// fire hydrant); safe to call more than once.
void EnsureResources();

// The design's base font: 8.25 pt of a sans-serif family with the metrics of
// the usual dialog font (Arial, or a metric-compatible Liberation Sans or
// Nimbus Sans), so that captions fit their designed boxes.
QFont DesignBaseFont();

// The hourglass as the screen-wide pointer for as long as it lives.
class BusyPointer {
public:
    BusyPointer();
    ~BusyPointer();
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

// A label that reports a click of the left mouse button (pressed and released
// over it).
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

// A bordered label for a file path: wraps at blanks and, where a part of the
// path is too long for a line, anywhere in it. text() stays the whole path.
class PathLabel : public QLabel {
    Q_OBJECT
public:
    explicit PathLabel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// An option button whose caption wraps inside the button's width, with the
// indicator at the left and the text centred vertically. The whole button
// area takes clicks.
class WrappingRadioButton : public QRadioButton {
    Q_OBJECT
public:
    explicit WrappingRadioButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    QRect textRect() const;
};

// Tabs with less padding above and below their captions, so that the tab
// row is as low as the design's pages expect (their controls begin 24 pixels
// below the tab control's top).
class CompactTabStyle : public QProxyStyle {
    Q_OBJECT
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override;
};

// A page of a tab control whose controls are positioned relative to the tab
// control's top-left corner (tab row included), as designed. Register each
// control with place(); the page keeps them there whenever the tab control
// lays its pages out.
class TabPage : public QWidget {
    Q_OBJECT
public:
    explicit TabPage(QWidget* tabControl);
    void place(QWidget* control, const QRect& designGeometry);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void reposition();
    QWidget* tabControl_;
};

}  // namespace hydrosk::ui
