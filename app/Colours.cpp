#include "app/Colours.h"

#include <QApplication>
#include <QPalette>
#include <QVariant>
#include <QWidget>

namespace tw::app {

namespace {
constexpr char Property[] = "twBackground";
}

QColor colour::windowBackground() {
    return QApplication::palette().color(QPalette::Window);
}

void setBackground(QWidget* widget, const QColor& colour) {
    if (!widget)
        return;
    widget->setProperty(Property, colour);
    QPalette palette = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, colour);
        palette.setColor(group, QPalette::Window, colour);
        palette.setColor(group, QPalette::Button, colour);
    }
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QColor background(const QWidget* widget) {
    if (!widget)
        return {};
    const QVariant stored = widget->property(Property);
    if (stored.isValid())
        return stored.value<QColor>();
    return widget->palette().color(QPalette::Base);
}

void setForeground(QWidget* widget, const QColor& colour) {
    if (!widget)
        return;
    QPalette palette = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Text, colour);
        palette.setColor(group, QPalette::WindowText, colour);
        palette.setColor(group, QPalette::ButtonText, colour);
    }
    widget->setPalette(palette);
}

} // namespace tw::app
