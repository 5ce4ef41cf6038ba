#include "app/WrapWidgets.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

namespace tw::app {

namespace {
// Shrinks the painter's font until the wrapped caption fits the area.
void fitFont(QPainter& painter, const QRect& area, const QString& caption) {
    QFont font = painter.font();
    while (font.pointSizeF() > 6.0) {
        const QRect needed =
            QFontMetrics(font).boundingRect(area, Qt::AlignCenter | Qt::TextWordWrap, caption);
        if (needed.height() <= area.height() && needed.width() <= area.width())
            break;
        font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    painter.setFont(font);
}
} // namespace

QRect WrapButton::captionArea() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

void WrapButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    const QRect area = captionArea();
    fitFont(painter, area, caption);
    style()->drawItemText(&painter, area, Qt::AlignCenter | Qt::TextWordWrap, option.palette,
                          isEnabled(), caption, QPalette::ButtonText);
}

QRect WrapCheckBox::captionArea() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    const int indicatorEnd =
        style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this).right() + 1;
    const int styleLeft =
        indicatorEnd + style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);
    const int left = std::max(indicatorEnd + 2, std::min(styleLeft, ClassicCaptionLeft));
    return QRect(left, 0, std::max(0, width() - left), height());
}

void WrapCheckBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    QStyleOptionButton indicator = option;
    indicator.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    indicator.rect.moveTop((height() - indicator.rect.height()) / 2);
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);
    const QRect area = captionArea();
    // Only a box tall enough for two lines wraps; a one-line box keeps its
    // caption on one line.
    const bool tall = height() >= 2 * fontMetrics().lineSpacing();
    if (tall)
        fitFont(painter, area, text());
    const int alignment = Qt::AlignLeft | Qt::AlignVCenter | (tall ? Qt::TextWordWrap : 0);
    style()->drawItemText(&painter, area, alignment, option.palette, isEnabled(), text(),
                          QPalette::WindowText);
    // The focus around the caption, as the style frames a plain check box's.
    if ((option.state & QStyle::State_HasFocus) != 0) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = painter.fontMetrics()
                         .boundingRect(area, alignment, text())
                         .adjusted(-2, -1, 2, 1)
                         .intersected(rect());
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

} // namespace tw::app
