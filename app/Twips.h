#pragma once
#include <QGuiApplication>
#include <QRect>
#include <QString>
#include <cmath>

namespace tw::app {

// Geometry of the forms is given in twips: 1440 per inch, 15 per logical
// pixel at 96 dpi (Qt scales logical pixels on high-dpi screens).
constexpr double TwipsPerPixel = 15.0;

inline int twipsToPixels(double twips) {
    return static_cast<int>(std::lround(twips / TwipsPerPixel));
}
inline double pixelsToTwips(int pixels) {
    return pixels * TwipsPerPixel;
}
inline QRect twipsRect(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

// A classic sizable window's frame: the stored width and height are outer
// sizes, title bar and borders included.
constexpr int FrameWidthTwips = 90;
constexpr int FrameHeightTwips = 390;

// Whether the window system tells a program where its windows are. On
// Wayland it does not (a window's position reads as an arbitrary offset), so
// a position read there would overwrite the stored one with nonsense: the
// close keeps the stored position instead.
inline bool windowPositionsKnown(const QString& platformName = QGuiApplication::platformName()) {
    return !platformName.startsWith(QStringLiteral("wayland"));
}

} // namespace tw::app
