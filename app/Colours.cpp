#include "app/Colours.h"

#include <QApplication>
#include <QPalette>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace tw::app {

namespace {
constexpr char BackgroundProperty[] = "twBackground";
constexpr char ForegroundProperty[] = "twForeground";

constexpr QPalette::ColorGroup Groups[] = {QPalette::Active, QPalette::Inactive,
                                           QPalette::Disabled};

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

// `from` moved towards `to` by `share` (0 to 1).
QColor mix(const QColor& from, const QColor& to, double share) {
    const auto at = [share](double a, double b) { return a + (b - a) * share; };
    return QColor::fromRgbF(float(at(from.redF(), to.redF())),
                            float(at(from.greenF(), to.greenF())),
                            float(at(from.blueF(), to.blueF())));
}

// Greyed text: towards the background, as far as it keeps a contrast of
// 7:1 there, so that its thin, smoothed strokes still read at 4.5:1.
QColor dimmed(const QColor& text, const QColor& background) {
    constexpr double GreyedContrast = 7.0;
    QColor best = text;
    for (double share = 0.1; share < 1; share += 0.1) {
        const QColor candidate = mix(text, background, share);
        if (contrastRatio(candidate, background) < GreyedContrast)
            break;
        best = candidate;
    }
    return best;
}

void setTextColour(QPalette& palette, const QColor& text, const QColor& background) {
    const QColor greyed = dimmed(text, background);
    for (const auto group : Groups) {
        const QColor colour = group == QPalette::Disabled ? greyed : text;
        palette.setColor(group, QPalette::Text, colour);
        palette.setColor(group, QPalette::WindowText, colour);
        palette.setColor(group, QPalette::ButtonText, colour);
        palette.setColor(group, QPalette::PlaceholderText, greyed);
    }
}

} // namespace

QColor colour::windowBackground() {
    return QApplication::palette().color(QPalette::Window);
}

double relativeLuminance(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableText(const QColor& background, const QColor& preferred) {
    if (preferred.isValid() && contrastRatio(preferred, background) >= TextContrast)
        return preferred;
    const QColor black(Qt::black), white(Qt::white);
    return contrastRatio(black, background) >= contrastRatio(white, background) ? black : white;
}

QColor keepContrast(const QColor& colour, const QColor& background, double ratio) {
    if (contrastRatio(colour, background) >= ratio)
        return colour;
    // Towards the end that stands out more from the background, in steps
    // small enough to keep as much of the colour as can be kept.
    const QColor end = relativeLuminance(background) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    for (int step = 1; step <= 20; ++step) {
        const QColor candidate = mix(colour, end, step / 20.0);
        if (contrastRatio(candidate, background) >= ratio)
            return candidate;
    }
    return end;
}

void setBackground(QWidget* widget, const QColor& colour) {
    if (!widget)
        return;
    widget->setProperty(BackgroundProperty, colour);
    QPalette palette = widget->palette();
    for (const auto group : Groups) {
        palette.setColor(group, QPalette::Base, colour);
        palette.setColor(group, QPalette::Window, colour);
        palette.setColor(group, QPalette::Button, colour);
    }
    // The control's own text colour, else what the palette gives its kind
    // (not the control's palette: that holds the last background's choice).
    const QVariant own = widget->property(ForegroundProperty);
    const QColor preferred =
        own.isValid() ? own.value<QColor>() : QApplication::palette(widget).color(QPalette::Text);
    setTextColour(palette, readableText(colour, preferred), colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QColor background(const QWidget* widget) {
    if (!widget)
        return {};
    const QVariant stored = widget->property(BackgroundProperty);
    if (stored.isValid())
        return stored.value<QColor>();
    return widget->palette().color(QPalette::Base);
}

void setForeground(QWidget* widget, const QColor& colour) {
    if (!widget)
        return;
    widget->setProperty(ForegroundProperty, colour);
    QPalette palette = widget->palette();
    for (const auto group : Groups) {
        palette.setColor(group, QPalette::Text, colour);
        palette.setColor(group, QPalette::WindowText, colour);
        palette.setColor(group, QPalette::ButtonText, colour);
    }
    widget->setPalette(palette);
}

} // namespace tw::app
