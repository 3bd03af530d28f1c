#include "platform/qt/QtFocusStyle.h"

#include <QPainter>
#include <QStyleOption>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace platform::qt {

QtFocusStyle::QtFocusStyle() : QProxyStyle() {}

void QtFocusStyle::drawFocusFrame(QPainter* painter, const QRect& rect, const QPalette& palette)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    QPen pen(focusColor(palette), 2);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(QRectF(rect).adjusted(1, 1, -1, -1), 3, 3);
    painter->restore();
}

namespace {

double luminance(const QColor& color)
{
    const auto channel = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    const QColor rgb = color.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

QColor blend(const QColor& from, const QColor& to, double amount)
{
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * amount),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * amount),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * amount));
}

}  // namespace

double QtFocusStyle::contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor QtFocusStyle::focusColor(const QPalette& palette)
{
    const QColor highlight = palette.color(QPalette::Active, QPalette::Highlight);
    const QColor window = palette.color(QPalette::Active, QPalette::Window);
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    for (int step = 0; step <= 10; ++step) {
        const QColor candidate = blend(highlight, text, step / 10.0);
        if (contrast(candidate, window) >= kFocusContrast && contrast(candidate, base) >= kFocusContrast) {
            return candidate;
        }
    }
    return text;
}

void QtFocusStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const
{
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    const bool box = element == PE_IndicatorCheckBox || element == PE_IndicatorItemViewItemCheck;
    const QColor base = option->palette.color(QPalette::Base);
    if (!box || luminance(base) > 0.2) {
        return;
    }
    // The style's own outline is meant for a light background.
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    QColor outline = blend(base, option->palette.color(QPalette::Text), 0.55);
    if (!(option->state & State_Enabled)) {
        outline = blend(base, outline, 0.5);
    }
    painter->setPen(outline);
    painter->setBrush(Qt::NoBrush);
    QRect r = option->rect;
    const int side = std::min(r.width(), r.height());
    r = QRect(r.left() + (r.width() - side) / 2, r.top() + (r.height() - side) / 2, side, side);
    painter->drawRect(r.adjusted(0, 0, -1, -1));
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
