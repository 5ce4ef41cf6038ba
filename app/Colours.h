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

// The one way to set a control's background, so that it reads back exactly
// what was set (some handlers decide on a colour they read back). Works for
// text boxes (their base) and labels (their window colour), enabled or not.
void setBackground(QWidget* widget, const QColor& colour);
QColor background(const QWidget* widget);
void setForeground(QWidget* widget, const QColor& colour);

} // namespace tw::app
