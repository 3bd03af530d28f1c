#include "support/GlyphCoverage.h"

#include <QFont>
#include <QGlyphRun>
#include <QRawFont>
#include <QStringList>
#include <QTextLayout>

namespace testsupport {

namespace {

// The glyph runs Qt lays the text out in: one per font that draws a stretch of it.
QList<QGlyphRun> glyphRuns(const QFont& font, const QString& text)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    while (layout.createLine().isValid()) {
    }
    layout.endLayout();
    return layout.glyphRuns();
}

}  // namespace

std::string charactersWithoutGlyph(const QFont& font, const std::string& text)
{
    QString missing;
    const QString line = QString::fromStdString(text).replace(QLatin1Char('\n'), QLatin1Char(' '));
    // A character is covered when one of the fonts that Qt picks for the text (the font itself
    // or a fallback) has a glyph for it.
    QList<QRawFont> fonts;
    for (const QGlyphRun& run : glyphRuns(font, line))
        fonts.append(run.rawFont());
    for (const char32_t c : line.toUcs4()) {
        if (QChar::isSpace(c))
            continue;
        bool covered = false;
        for (const QRawFont& raw : fonts)
            covered = covered || raw.supportsCharacter(c);
        if (!covered)
            missing += QString::fromUcs4(&c, 1);
    }
    return missing.toStdString();
}

std::string fontFamiliesDrawing(const QFont& font, const std::string& text)
{
    QStringList families;
    for (const QGlyphRun& run : glyphRuns(font, QString::fromStdString(text))) {
        if (!families.contains(run.rawFont().familyName()))
            families << run.rawFont().familyName();
    }
    return families.join(QStringLiteral(", ")).toStdString();
}

}  // namespace testsupport
