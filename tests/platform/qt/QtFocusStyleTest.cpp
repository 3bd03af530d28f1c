// The focus mark stands out from the window and the view in light and dark palettes alike.
#include "platform/qt/QtFocusStyle.h"

#include <QPalette>

#include <gtest/gtest.h>

namespace platform::qt {
namespace {

struct PaletteCase {
    const char* name;
    QColor window, base, text, highlight;
    bool highlightKept;
};

QPalette paletteOf(const PaletteCase& c)
{
    QPalette palette;
    palette.setColor(QPalette::Window, c.window);
    palette.setColor(QPalette::Base, c.base);
    palette.setColor(QPalette::WindowText, c.text);
    palette.setColor(QPalette::Text, c.text);
    palette.setColor(QPalette::Highlight, c.highlight);
    return palette;
}

TEST(QtFocusStyle, TheFocusColourContrastsWithWindowAndViewInEveryPalette)
{
    const PaletteCase cases[] = {
        {"light, blue highlight", QColor(239, 239, 239), Qt::white, Qt::black, QColor(48, 140, 198), true},
        {"dark, light-blue highlight", QColor(49, 54, 59), QColor(35, 38, 41), QColor(239, 240, 241),
         QColor(61, 174, 233), true},
        {"dark, dark-blue highlight", QColor(53, 53, 53), QColor(42, 42, 42), Qt::white, QColor(42, 82, 150), false},
        {"light, pale highlight", Qt::white, Qt::white, Qt::black, QColor(200, 220, 255), false},
        {"highlight equal to the window", QColor(60, 60, 60), QColor(60, 60, 60), Qt::white, QColor(60, 60, 60), false},
    };
    for (const PaletteCase& c : cases) {
        const QPalette palette = paletteOf(c);
        const QColor focus = QtFocusStyle::focusColor(palette);
        EXPECT_GE(QtFocusStyle::contrast(focus, c.window), QtFocusStyle::kFocusContrast) << c.name;
        EXPECT_GE(QtFocusStyle::contrast(focus, c.base), QtFocusStyle::kFocusContrast) << c.name;
        EXPECT_EQ(focus == c.highlight.toRgb(), c.highlightKept) << c.name;
    }
}

TEST(QtFocusStyle, ContrastIsSymmetricAndSpansOneToTwentyOne)
{
    EXPECT_NEAR(QtFocusStyle::contrast(Qt::black, Qt::white), 21.0, 0.01);
    EXPECT_NEAR(QtFocusStyle::contrast(Qt::white, Qt::black), 21.0, 0.01);
    EXPECT_NEAR(QtFocusStyle::contrast(QColor(90, 90, 90), QColor(90, 90, 90)), 1.0, 1e-9);
}

}  // namespace
}  // namespace platform::qt
