#include "platform/foundation/PlistXmlWriter.h"

#include "platform/foundation/PlistEncoding.h"
#include "platform/foundation/PropertyList.h"

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

}  // namespace

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
    // Past the size the reader takes, the document is refused; stopping here also bounds the
    // work for a value whose shared parts would repeat without end.
    if (m_out.size() > kMaxPropertyListBytes)
        return false;
    switch (value.type()) {
    case PlistValue::Type::String:
        return writeText("string", *value.asString(), level);
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
            return false;
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
        if (level >= kMaxPropertyListDepth)
            return false;
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
        if (level >= kMaxPropertyListDepth)
            return false;
        m_out += "<dict>\n";
        for (const std::size_t i : sortedKeyOrder(dict)) {
            if (!writeText("key", dict.keyAt(i), level + 1) || !writeValue(dict.valueAt(i), level + 1))
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
    m_out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n";
    m_tooLarge = false;
    if (!writeValue(root, 0)) {
        m_tooLarge = m_out.size() > kMaxPropertyListBytes;
        m_out.clear();
        return std::nullopt;
    }
    m_out += "</plist>\n";
    return std::move(m_out);
}

}  // namespace platform::plist
