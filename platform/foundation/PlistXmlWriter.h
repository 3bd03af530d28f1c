#pragma once

#include "platform/foundation/PlistValue.h"
#include "platform/foundation/PropertyList.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace platform::plist {

/// Writes the platform's XML form: header, DOCTYPE, one tab per level, dictionary keys in
/// UTF-16 code-unit order, reals as formatReal writes them, data in base64 lines of at most 76
/// columns. Refuses what would not read back, for the reasons xmlPropertyList() gives, in its
/// order: nesting deeper than kMaxPropertyListDepth and a document that its shared parts alone
/// make larger than kMaxPropertyListBytes, both found before anything is written, each shared
/// block measured once; then text holding characters XML 1.0 forbids and dates that formatDate
/// cannot write, found while writing, where the size is also watched and writing stops once it
/// passes kMaxPropertyListBytes.
class PlistXmlWriter {
public:
    /// The document, or none when root cannot be written in this form.
    std::optional<std::string> write(const PlistValue& root);
    /// Why the last write answered none; None when it answered a document.
    PlistWriteFailure failure() const { return m_failure; }

private:
    std::uint64_t bytesAtLeast(const PlistValue& value);
    bool writeValue(const PlistValue& value, std::size_t level);
    bool writeText(std::string_view element, const std::string& text, std::size_t level);
    void indent(std::size_t level) { m_out.append(level, '\t'); }
    bool refuse(PlistWriteFailure failure);

    std::string m_out;
    PlistWriteFailure m_failure = PlistWriteFailure::None;
    // The least that each shared block measured so far writes.
    std::unordered_map<const void*, std::uint64_t> m_measured;
};

}  // namespace platform::plist
