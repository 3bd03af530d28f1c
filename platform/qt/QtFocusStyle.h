#pragma once

#include <QProxyStyle>

namespace platform::qt {

/// The application's style with a focus mark that cannot be missed: a frame of two pixels in
/// the highlight colour round the focused push button, check box or radio button.
class QtFocusStyle : public QProxyStyle {
public:
    QtFocusStyle();

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;

    /// Draws the focus frame inside rect in the palette's highlight colour.
    static void drawFocusFrame(QPainter* painter, const QRect& rect, const QPalette& palette);
};

}  // namespace platform::qt
