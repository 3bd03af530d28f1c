#pragma once

#include <QProxyStyle>

namespace platform::qt {

/// The application's style with a focus mark that cannot be missed: a frame of two pixels in
/// the highlight colour round the focused push button, check box or radio button, made lighter or
/// darker where the palette's highlight would not stand out from the window. In a dark palette
/// an unticked box gets an outline that can be seen.
class QtFocusStyle : public QProxyStyle {
public:
    QtFocusStyle();

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

    /// Draws the focus frame inside rect in focusColor(palette).
    static void drawFocusFrame(QPainter* painter, const QRect& rect, const QPalette& palette);
    /// The palette's highlight colour, blended toward the window's text colour until it has a
    /// contrast ratio of at least kFocusContrast with both the window and the view background.
    static QColor focusColor(const QPalette& palette);
    /// The contrast ratio of two colours, 1 to 21, as accessibility guidelines count it.
    static double contrast(const QColor& a, const QColor& b);

    static constexpr double kFocusContrast = 3.0;
};

}  // namespace platform::qt
