#pragma once
// Buttons and tick boxes whose caption wraps onto several lines inside the
// control's designed box, as the forms' tall controls expect. text() is the
// caption unchanged.

#include <QCheckBox>
#include <QPushButton>

namespace tw::app {

class WrapButton : public QPushButton {
public:
    using QPushButton::QPushButton;

    // Where the caption is drawn, inside the style's frame and margins.
    QRect captionArea() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class WrapCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

    // Where the caption is drawn: right of the indicator, starting no
    // further in than a classic check box's caption (its 13-pixel box and a
    // 4-pixel gap), so that the designed widths hold under styles with a
    // wider gap.
    QRect captionArea() const;
    static constexpr int ClassicCaptionLeft = 17;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

} // namespace tw::app
