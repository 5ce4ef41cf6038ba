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

protected:
    void paintEvent(QPaintEvent* event) override;
};

class WrapCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

} // namespace tw::app
