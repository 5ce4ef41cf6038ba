#pragma once
// A dark desktop palette, and what the pixels of a drawn area say of its
// text: how readable it is against its background.

#include "app/Colours.h"

#include <QHash>
#include <QImage>
#include <QPalette>

#include <algorithm>

namespace tw::test {

// The colours a dark desktop theme gives Qt's roles (as KDE's Breeze Dark
// or Fusion's dark scheme do).
inline QPalette darkPalette() {
    const QColor window(0x35, 0x35, 0x35), base(0x2a, 0x2a, 0x2a), light(0xf0, 0xf0, 0xf0);
    QPalette palette(light, window, window.lighter(150), window.darker(150), window.darker(120),
                     light, Qt::white, base, window);
    palette.setColor(QPalette::ButtonText, light);
    palette.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9a, 0x9a));
    palette.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return palette;
}

// The text in an area of an image: its background is the colour most of
// its pixels have; a text pixel is one that differs from it.
struct TextPixels {
    QColor background;
    int readable = 0;     // pixels with the contrast text needs (4.5:1)
    double highest = 1.0; // the highest contrast of any pixel
};

inline TextPixels textPixels(const QImage& image, const QRect& area) {
    QHash<QRgb, int> counts;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000u];
    }
    TextPixels found;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            found.background = QColor::fromRgb(it.key());
        }
    }
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        const double ratio = app::contrastRatio(QColor::fromRgb(it.key()), found.background);
        found.highest = std::max(found.highest, ratio);
        if (ratio >= app::TextContrast)
            found.readable += it.value();
    }
    return found;
}

} // namespace tw::test
