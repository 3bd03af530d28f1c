#pragma once

#include "platform/foundation/PlistValue.h"

#include <cstddef>
#include <optional>
#include <string>

namespace platform::plist {

/// Writes the platform's XML form: header, DOCTYPE, one tab per level, dictionary keys in
/// UTF-16 code-unit order, reals as formatReal writes them, data in base64 lines of at most 76
/// columns. Refuses what would not read back: text holding characters XML 1.0 forbids, dates
/// that formatDate cannot write, nesting deeper than kMaxPropertyListDepth and documents larger
/// than kMaxPropertyListBytes, where it stops writing.
class PlistXmlWriter {
public:
    /// The document, or none when root cannot be written in this form.
    std::optional<std::string> write(const PlistValue& root);
    /// Whether the last write was refused because the document grew past kMaxPropertyListBytes.
    bool tooLarge() const { return m_tooLarge; }

private:
    bool writeValue(const PlistValue& value, std::size_t level);
    bool writeText(std::string_view element, const std::string& text, std::size_t level);
    void indent(std::size_t level) { m_out.append(level, '\t'); }

    std::string m_out;
    bool m_tooLarge = false;
};

}  // namespace platform::plist
