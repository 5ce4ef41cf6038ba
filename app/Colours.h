#pragma once
#include <QColor>

class QWidget;

namespace tw::app {

// Status colours of the two windows.
namespace colour {
inline const QColor Pink{0xFF, 0x80, 0xFF};
inline const QColor Yellow{0xFF, 0xFF, 0x00};
inline const QColor Cyan{0x00, 0xFF, 0xFF};
inline const QColor Red{0xFF, 0x00, 0x00};
inline const QColor Green{0x00, 0xFF, 0x00};
inline const QColor Black{0x00, 0x00, 0x00};
inline const QColor LightGrey{0xE0, 0xE0, 0xE0};
// The system's window-background colour.
QColor windowBackground();
} // namespace colour

// What text needs on a background (WCAG 2): a contrast of 4.5:1 for text,
// 3:1 for lines and marks.
constexpr double TextContrast = 4.5;
constexpr double GraphicsContrast = 3.0;

// The relative luminance of a colour (0 black, 1 white) and the contrast
// ratio of two colours (1 to 21), as WCAG 2 defines them.
double relativeLuminance(const QColor& colour);
double contrastRatio(const QColor& a, const QColor& b);

// The colour for text on `background`: `preferred` when it has a contrast of
// at least 4.5:1 there, otherwise black or white, whichever has more.
QColor readableText(const QColor& background, const QColor& preferred = {});

// `colour` made lighter or darker, its hue kept, until it has at least
// `ratio` contrast with `background`; unchanged when it has already. For
// colours that carry a meaning of their own (an error's red, a series of the
// chart).
QColor keepContrast(const QColor& colour, const QColor& background, double ratio = TextContrast);

// The one way to set a control's background, so that it reads back exactly
// what was set (some handlers decide on a colour they read back). Works for
// text boxes (their base) and labels (their window colour), enabled or not.
// It sets the text colour with it, by readableText: the one given to
// setForeground, else the palette's, when readable there.
void setBackground(QWidget* widget, const QColor& colour);
QColor background(const QWidget* widget);
// A control's own text colour, kept wherever it is readable on the
// backgrounds setBackground gives the control later.
void setForeground(QWidget* widget, const QColor& colour);

} // namespace tw::app
