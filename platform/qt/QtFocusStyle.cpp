#include "platform/qt/QtFocusStyle.h"

#include <QPainter>
#include <QStyleOption>
#include <QWidget>

namespace platform::qt {

QtFocusStyle::QtFocusStyle() : QProxyStyle() {}

void QtFocusStyle::drawFocusFrame(QPainter* painter, const QRect& rect, const QPalette& palette)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    QPen pen(palette.color(QPalette::Active, QPalette::Highlight), 2);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(QRectF(rect).adjusted(1, 1, -1, -1), 3, 3);
    painter->restore();
}

void QtFocusStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const
{
    QProxyStyle::drawControl(element, option, painter, widget);
    const bool framed = element == CE_PushButton || element == CE_CheckBox || element == CE_RadioButton;
    if (framed && (option->state & State_HasFocus) && (!widget || widget->hasFocus())) {
        drawFocusFrame(painter, option->rect, option->palette);
    }
}

}  // namespace platform::qt
