#include "platform/foundation/PlistXmlWriter.h"

#include "platform/foundation/PlistEncoding.h"
#include "platform/foundation/PropertyList.h"

#include <algorithm>
#include <string_view>

namespace platform::plist {

namespace {

void appendEscaped(std::string& out, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        // A raw carriage return would read back as a line feed (XML normalises line ends).
        case '\r': out += "&#13;"; break;
        default: out += c; break;
        }
    }
}

std::uint64_t plus(std::uint64_t a, std::uint64_t b)
{
    // Sums past the largest document only need to stay past it.
    constexpr std::uint64_t kEnough = std::uint64_t{1} << 62;
    return std::min(a + b, kEnough);
}

}  // namespace

bool PlistXmlWriter::refuse(PlistWriteFailure failure)
{
    if (m_failure == PlistWriteFailure::None)
        m_failure = failure;
    return false;
}

// The bytes value takes at level 0, less what its data lines and escapes may add: the document
// is at least this large, however deep the value sits. A shared block is measured once.
std::uint64_t PlistXmlWriter::bytesAtLeast(const PlistValue& value)
{
    switch (value.type()) {
    case PlistValue::Type::String: return std::string_view("<string></string>\n").size() + value.asString()->size();
    case PlistValue::Type::Integer: return std::string_view("<integer>0</integer>\n").size();
    case PlistValue::Type::Real: return std::string_view("<real>0</real>\n").size();
    case PlistValue::Type::Boolean: return std::string_view("<true/>\n").size();
    case PlistValue::Type::Date: return std::string_view("<date>2001-01-01T00:00:00Z</date>\n").size();
    case PlistValue::Type::Data:
        return std::string_view("<data>\n</data>\n").size() + (value.asData()->bytes.size() + 2) / 3 * 4;
    case PlistValue::Type::Array:
    case PlistValue::Type::Dictionary: break;
    }
    const PlistArray* array = value.asArray();
    const PlistDictionary* dict = value.asDictionary();
    const void* block = array ? static_cast<const void*>(array) : static_cast<const void*>(dict);
    const bool shared = value.isShared();
    if (shared) {
        if (const auto found = m_measured.find(block); found != m_measured.end())
            return found->second;
    }
    std::uint64_t bytes = 0;
    if (array) {
        bytes = std::string_view(array->empty() ? "<array/>\n" : "<array>\n</array>\n").size();
        for (const PlistValue& item : *array)
            bytes = plus(bytes, bytesAtLeast(item));
    } else {
        bytes = std::string_view(dict->empty() ? "<dict/>\n" : "<dict>\n</dict>\n").size();
        for (std::size_t i = 0; i < dict->size(); ++i)
            bytes = plus(bytes, plus(std::string_view("<key></key>\n").size() + dict->keyAt(i).size(),
                                     bytesAtLeast(dict->valueAt(i))));
    }
    if (shared)
        m_measured.emplace(block, bytes);
    return bytes;
}

bool PlistXmlWriter::writeText(std::string_view element, const std::string& text, std::size_t level)
{
    if (!isXmlText(text))
        return false;
    indent(level);
    m_out += '<';
    m_out += element;
    m_out += '>';
    appendEscaped(m_out, text);
    m_out += "</";
    m_out += element;
    m_out += ">\n";
    return true;
}

bool PlistXmlWriter::writeValue(const PlistValue& value, std::size_t level)
{
    // Past the size the reader takes, the document is refused.
    if (m_out.size() > kMaxPropertyListBytes)
        return refuse(PlistWriteFailure::TooLarge);
    switch (value.type()) {
    case PlistValue::Type::String:
        return writeText("string", *value.asString(), level) || refuse(PlistWriteFailure::NotRepresentable);
    case PlistValue::Type::Integer:
        indent(level);
        m_out += "<integer>";
        m_out += value.asInteger() ? std::to_string(*value.asInteger()) : std::to_string(*value.asUnsignedInteger());
        m_out += "</integer>\n";
        return true;
    case PlistValue::Type::Real:
        indent(level);
        m_out += "<real>" + formatReal(*value.asReal()) + "</real>\n";
        return true;
    case PlistValue::Type::Boolean:
        indent(level);
        m_out += *value.asBoolean() ? "<true/>\n" : "<false/>\n";
        return true;
    case PlistValue::Type::Date: {
        const auto text = formatDate(value.asDate()->secondsSinceReference);
        if (!text)
            return refuse(PlistWriteFailure::NotRepresentable);
        indent(level);
        m_out += "<date>" + *text + "</date>\n";
        return true;
    }
    case PlistValue::Type::Data: {
        const std::string encoded = base64(value.asData()->bytes);
        indent(level);
        m_out += "<data>\n";
        // Lines of at most 76 columns, counting a tab as eight, and never under 16 characters.
        const std::size_t columns = 8 * level < 60 ? 76 - 8 * level : 16;
        const std::size_t line = columns / 4 * 4;
        for (std::size_t i = 0; i < encoded.size(); i += line) {
            indent(level);
            m_out.append(encoded, i, line);
            m_out += '\n';
        }
        indent(level);
        m_out += "</data>\n";
        return true;
    }
    case PlistValue::Type::Array: {
        const PlistArray& array = *value.asArray();
        indent(level);
        if (array.empty()) {
            m_out += "<array/>\n";
            return true;
        }
        m_out += "<array>\n";
        for (const PlistValue& item : array) {
            if (!writeValue(item, level + 1))
                return false;
        }
        indent(level);
        m_out += "</array>\n";
        return true;
    }
    case PlistValue::Type::Dictionary: {
        const PlistDictionary& dict = *value.asDictionary();
        indent(level);
        if (dict.empty()) {
            m_out += "<dict/>\n";
            return true;
        }
        m_out += "<dict>\n";
        for (const std::size_t i : sortedKeyOrder(dict)) {
            if (!writeText("key", dict.keyAt(i), level + 1))
                return refuse(PlistWriteFailure::NotRepresentable);
            if (!writeValue(dict.valueAt(i), level + 1))
                return false;
        }
        indent(level);
        m_out += "</dict>\n";
        return true;
    }
    }
    return false;
}

std::optional<std::string> PlistXmlWriter::write(const PlistValue& root)
{
    m_failure = PlistWriteFailure::None;
    m_out.clear();
    m_measured.clear();
    // What the value's shape alone refuses is found before anything is written: the depth, and
    // a size that the shared parts, written out wherever they occur, would pass.
    if (!nestsWithin(root, kMaxPropertyListDepth)) {
        refuse(PlistWriteFailure::TooDeep);
        return std::nullopt;
    }
    const std::uint64_t least = bytesAtLeast(root);
    m_measured.clear();
    if (least > kMaxPropertyListBytes) {
        refuse(PlistWriteFailure::TooLarge);
        return std::nullopt;
    }
    m_out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n";
    if (!writeValue(root, 0) || m_out.size() + std::string_view("</plist>\n").size() > kMaxPropertyListBytes) {
        refuse(PlistWriteFailure::TooLarge);
        std::string().swap(m_out);
        return std::nullopt;
    }
    m_out += "</plist>\n";
    return std::move(m_out);
}

}  // namespace platform::plist
