#pragma once

#include <string>

class QFont;

namespace testsupport {

/// The characters of text that Qt draws with no glyph (the empty box) in font, fallback fonts
/// included, as UTF-8; empty when every character has one. Blanks and line breaks need none.
std::string charactersWithoutGlyph(const QFont& font, const std::string& text);

/// The families of the fonts that draw text in font, fallbacks included, joined by ", ".
std::string fontFamiliesDrawing(const QFont& font, const std::string& text);

}  // namespace testsupport
