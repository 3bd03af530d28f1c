#include "platform/foundation/PropertyList.h"

#include "platform/foundation/FileManager.h"
#include "platform/foundation/Path.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <locale.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Seconds between 1970-01-01 and the reference date 2001-01-01.
constexpr double kReferenceDateOffset = 978307200.0;

// A binary list may refer to one object from many places, and decoding copies the object each
// time. Without shared containers the decoded tree has at most one value per reference slot in
// the file; a tree that grows past that (or past these absolute bounds) comes from a file built
// to multiply itself and is refused.
constexpr std::uint64_t kMaxDecodedValues = 4u * 1024u * 1024u;
constexpr std::uint64_t kMaxDecodedPayloadBytes = 2u * kMaxPropertyListBytes;

// ---------------------------------------------------------------------------------------------
// XML: a validating scan that runs before libplist sees the bytes. It bounds nesting and lets
// through only documents of the property-list vocabulary whose dictionaries pair keys with
// values and whose leaves hold text of their kind, so libplist never meets the malformed input
// that makes it abort or recurse without end.

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isNameChar(char c)
{
    return c != '>' && c != '/' && !isXmlSpace(c) && c != '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isXmlSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isXmlSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// Finds the '>' that ends a tag starting at from, skipping quoted attribute values.
std::size_t findTagEnd(std::string_view text, std::size_t from)
{
    char quote = 0;
    for (std::size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

// Finds the '>' that ends a <!DOCTYPE ...> declaration, including an internal subset in [ ].
std::size_t findDeclarationEnd(std::string_view text, std::size_t from)
{
    char quote = 0;
    int brackets = 0;
    for (std::size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++brackets;
        } else if (c == ']') {
            if (--brackets < 0)
                return std::string_view::npos;
        } else if (c == '>' && brackets == 0) {
            return i;
        }
    }
    return std::string_view::npos;
}

// Character data may hold the five predefined entities and references to characters that
// UTF-8 can carry, except NUL.
bool referencesAreValid(std::string_view text)
{
    for (std::size_t amp = text.find('&'); amp != std::string_view::npos; amp = text.find('&', amp + 1)) {
        const std::size_t semicolon = text.find(';', amp);
        if (semicolon == std::string_view::npos || semicolon - amp > 12)
            return false;
        const std::string_view name = text.substr(amp + 1, semicolon - amp - 1);
        if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos")
            continue;
        if (name.size() < 2 || name[0] != '#')
            return false;
        const bool hex = name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 8)
            return false;
        std::uint32_t value = 0;
        for (const char c : digits) {
            if (hex ? !isHexDigit(c) : !isDigit(c))
                return false;
            const std::uint32_t digit = isDigit(c) ? static_cast<std::uint32_t>(c - '0')
                                                   : static_cast<std::uint32_t>((c | 0x20) - 'a' + 10);
            value = value * (hex ? 16 : 10) + digit;
        }
        if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
    }
    return true;
}

bool isIntegerText(std::string_view text)
{
    text = trimmed(text);
    if (text.empty())
        return true;
    if (text.front() == '+' || text.front() == '-')
        text.remove_prefix(1);
    bool hex = false;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        hex = true;
        text.remove_prefix(2);
    }
    return !text.empty() && text.size() <= 40
           && std::all_of(text.begin(), text.end(), [hex](char c) { return hex ? isHexDigit(c) : isDigit(c); });
}

bool isRealText(std::string_view text)
{
    text = trimmed(text);
    return text.size() <= 400 && std::all_of(text.begin(), text.end(), [](char c) {
               return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '+'
                      || c == '-';
           });
}

bool isDateText(std::string_view text)
{
    // YYYY-MM-DDTHH:MM:SSZ
    text = trimmed(text);
    if (text.size() != 20)
        return false;
    constexpr std::string_view kPattern = "dddd-dd-ddTdd:dd:ddZ";
    for (std::size_t i = 0; i < kPattern.size(); ++i) {
        if (kPattern[i] == 'd' ? !isDigit(text[i]) : text[i] != kPattern[i])
            return false;
    }
    const auto number = [&](std::size_t at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); };
    return number(5) >= 1 && number(5) <= 12 && number(8) >= 1 && number(8) <= 31 && number(11) <= 23
           && number(14) <= 59 && number(17) <= 60;
}

bool isBase64Text(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c) || c == '+' || c == '/' || c == '='
               || isXmlSpace(c);
    });
}

// libplist's XML reader spends time quadratic in the number of keys of one dictionary; beyond
// this many a file is refused rather than read for minutes.
constexpr std::size_t kMaxXmlDictionaryKeys = 200000;

enum class Element { Plist, Array, Dict, Key, String, Integer, Real, Date, Data, True, False };

std::optional<Element> elementNamed(std::string_view name)
{
    static constexpr std::pair<std::string_view, Element> kNames[] = {
        {"plist", Element::Plist},     {"array", Element::Array}, {"dict", Element::Dict},
        {"key", Element::Key},         {"string", Element::String}, {"integer", Element::Integer},
        {"real", Element::Real},       {"date", Element::Date},   {"data", Element::Data},
        {"true", Element::True},       {"false", Element::False},
    };
    for (const auto& [elementName, element] : kNames) {
        if (elementName == name)
            return element;
    }
    return std::nullopt;
}

bool isContainer(Element e)
{
    return e == Element::Plist || e == Element::Array || e == Element::Dict;
}

class XmlGuard {
public:
    explicit XmlGuard(std::string_view text) : m_text(text) {}

    bool accepts();

private:
    struct Open {
        Element element;
        std::size_t children = 0;  // values in an array or plist, keys and values in a dict
        std::size_t textFrom = 0;  // where a leaf's content starts
        bool hasCdata = false;
    };

    bool startElement(Element element, bool selfClosing, std::size_t contentFrom);
    bool endElement(Element element, std::size_t contentTo);
    bool textIsAllowed(std::string_view text) const;

    std::string_view m_text;
    std::vector<Open> m_open;
    std::size_t m_containers = 0;
    bool m_sawRoot = false;
};

bool XmlGuard::startElement(Element element, bool selfClosing, std::size_t contentFrom)
{
    if (m_open.empty()) {
        if (m_sawRoot)
            return false;
        m_sawRoot = true;
    } else {
        Open& parent = m_open.back();
        if (!isContainer(parent.element))
            return false;  // leaves hold text only
        if (parent.element == Element::Plist && (element == Element::Plist || parent.children > 0))
            return false;
        if (parent.element == Element::Dict && (element == Element::Key) != (parent.children % 2 == 0))
            return false;  // keys and values alternate, a key first
        if (parent.element != Element::Dict && (element == Element::Key || element == Element::Plist))
            return false;
        if (parent.element == Element::Dict && parent.children >= 2 * kMaxXmlDictionaryKeys)
            return false;
        ++parent.children;
    }
    if (selfClosing)
        return element != Element::Date;  // an empty date has no value
    if (element == Element::Array || element == Element::Dict) {
        if (++m_containers > kMaxPropertyListDepth)
            return false;
    }
    m_open.push_back(Open{element, 0, contentFrom, false});
    return true;
}

bool XmlGuard::endElement(Element element, std::size_t contentTo)
{
    if (m_open.empty() || m_open.back().element != element)
        return false;
    const Open open = m_open.back();
    m_open.pop_back();
    if (element == Element::Array || element == Element::Dict)
        --m_containers;
    if (element == Element::Dict && open.children % 2 != 0)
        return false;
    if (isContainer(element))
        return true;
    const std::string_view content = m_text.substr(open.textFrom, contentTo - open.textFrom);
    if (open.hasCdata && element != Element::String && element != Element::Key)
        return false;
    switch (element) {
    case Element::Integer: return isIntegerText(content);
    case Element::Real: return isRealText(content);
    case Element::Date: return isDateText(content);
    case Element::Data: return isBase64Text(content);
    case Element::True:
    case Element::False: return trimmed(content).empty();
    default: return true;
    }
}

bool XmlGuard::textIsAllowed(std::string_view text) const
{
    if (m_open.empty() || isContainer(m_open.back().element))
        return trimmed(text).empty();
    return referencesAreValid(text);
}

bool XmlGuard::accepts()
{
    if (m_text.find('\0') != std::string_view::npos)
        return false;
    std::size_t i = 0;
    while (i < m_text.size()) {
        const std::size_t lt = m_text.find('<', i);
        if (!textIsAllowed(m_text.substr(i, lt == std::string_view::npos ? std::string_view::npos : lt - i)))
            return false;
        if (lt == std::string_view::npos)
            break;
        const std::string_view rest = m_text.substr(lt);
        const bool inLeaf = !m_open.empty() && !isContainer(m_open.back().element);
        std::size_t end;
        if (rest.substr(0, 9) == "<![CDATA[") {
            if (!inLeaf)
                return false;
            end = m_text.find("]]>", lt + 9);
            if (end == std::string_view::npos)
                return false;
            m_open.back().hasCdata = true;
            i = end + 3;
            continue;
        }
        if (rest.substr(0, 4) == "<!--" || rest.substr(0, 2) == "<?" || rest.substr(0, 2) == "<!") {
            if (inLeaf)
                return false;
            if (rest.substr(0, 4) == "<!--") {
                end = m_text.find("-->", lt + 4);
                i = end == std::string_view::npos ? end : end + 3;
            } else if (rest.substr(0, 2) == "<?") {
                end = m_text.find("?>", lt + 2);
                i = end == std::string_view::npos ? end : end + 2;
            } else {
                if (m_sawRoot)
                    return false;  // a DOCTYPE comes before the root element
                end = findDeclarationEnd(m_text, lt + 2);
                i = end == std::string_view::npos ? end : end + 1;
            }
            if (end == std::string_view::npos)
                return false;
            continue;
        }
        const bool closing = rest.substr(0, 2) == "</";
        const std::size_t nameFrom = lt + (closing ? 2 : 1);
        std::size_t nameEnd = nameFrom;
        while (nameEnd < m_text.size() && isNameChar(m_text[nameEnd]))
            ++nameEnd;
        const auto element = elementNamed(m_text.substr(nameFrom, nameEnd - nameFrom));
        if (!element)
            return false;
        end = closing ? m_text.find('>', nameEnd) : findTagEnd(m_text, nameEnd);
        if (end == std::string_view::npos)
            return false;
        if (closing) {
            if (!trimmed(m_text.substr(nameEnd, end - nameEnd)).empty() || !endElement(*element, lt))
                return false;
        } else if (!startElement(*element, m_text[end - 1] == '/', end + 1)) {
            return false;
        }
        i = end + 1;
    }
    return m_sawRoot && m_open.empty();
}

// Sets the calling thread's locale to "C" while alive, so that libplist reads reals the same
// way whatever the process locale is.
class CLocaleScope {
public:
    CLocaleScope()
    {
        m_locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        if (m_locale)
            m_previous = ::uselocale(m_locale);
    }
    ~CLocaleScope()
    {
        if (m_locale) {
            ::uselocale(m_previous);
            ::freelocale(m_locale);
        }
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t m_locale = static_cast<locale_t>(nullptr);
    locale_t m_previous = static_cast<locale_t>(nullptr);
};

bool isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        std::uint32_t cp;
        std::uint32_t minimum;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            cp = b & 0x1Fu;
            minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            cp = b & 0x0Fu;
            minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            cp = b & 0x07u;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// Converts libplist's tree; none when a string or key is not valid UTF-8 (raw bytes or
// character references that XML does not allow).
std::optional<PlistValue> fromLibplist(plist_t node, std::size_t depth)
{
    if (!node || depth > kMaxPropertyListDepth + 1)
        return std::nullopt;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return PlistValue(value != 0);
    }
    case PLIST_UINT: {
        std::uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return PlistValue(static_cast<std::int64_t>(value));
    }
    case PLIST_UID: {
        std::uint64_t value = 0;
        plist_get_uid_val(node, &value);
        return PlistValue(static_cast<std::int64_t>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return PlistValue(value);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        char* value = nullptr;
        if (plist_get_node_type(node) == PLIST_STRING)
            plist_get_string_val(node, &value);
        else
            plist_get_key_val(node, &value);
        std::string text = value ? value : "";
        std::free(value);
        if (!isValidUtf8(text))
            return std::nullopt;
        return PlistValue(std::move(text));
    }
    case PLIST_DATE: {
        std::int32_t seconds = 0;
        std::int32_t micro = 0;
        plist_get_date_val(node, &seconds, &micro);
        return PlistValue(PlistDate{static_cast<double>(seconds) + static_cast<double>(micro) / 1e6});
    }
    case PLIST_DATA: {
        std::uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        PlistData data;
        if (bytes && length)
            data.bytes.assign(reinterpret_cast<const std::uint8_t*>(bytes),
                              reinterpret_cast<const std::uint8_t*>(bytes) + length);
        return PlistValue(std::move(data));
    }
    case PLIST_ARRAY: {
        PlistArray array;
        const std::uint32_t count = plist_array_get_size(node);
        array.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            auto item = fromLibplist(plist_array_get_item(node, i), depth + 1);
            if (!item)
                return std::nullopt;
            array.push_back(std::move(*item));
        }
        return PlistValue(std::move(array));
    }
    case PLIST_DICT: {
        PlistDictionary dict;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        if (!iter)
            return std::nullopt;
        bool ok = true;
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iter, &key, &value);
            if (!value) {
                std::free(key);
                break;
            }
            auto converted = fromLibplist(value, depth + 1);
            if (!converted || !key || !isValidUtf8(key)) {
                std::free(key);
                ok = false;
                break;
            }
            dict.set(key, std::move(*converted));
            std::free(key);
        }
        std::free(iter);
        if (!ok)
            return std::nullopt;
        return PlistValue(std::move(dict));
    }
    default:
        return std::nullopt;
    }
}

std::optional<PlistValue> parseXml(std::string_view bytes)
{
    if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF
        && static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF)
        bytes.remove_prefix(3);
    if (!XmlGuard(bytes).accepts())
        return std::nullopt;
    // A copy that ends in NUL guards against reads past the end of the buffer.
    const std::string copy(bytes);
    plist_t root = nullptr;
    {
        CLocaleScope cLocale;
        plist_from_xml(copy.c_str(), static_cast<std::uint32_t>(copy.size()), &root);
    }
    if (!root)
        return std::nullopt;
    auto value = fromLibplist(root, 0);
    plist_free(root);
    return value;
}

// ---------------------------------------------------------------------------------------------
// Binary: the trailer, the offset table and every object are checked while decoding.

class BinaryReader {
public:
    explicit BinaryReader(std::string_view bytes) : m_bytes(bytes) {}

    std::optional<PlistValue> read();

private:
    struct Frame {
        bool isDictionary = false;
        std::uint64_t refsAt = 0;  // position of the first reference
        std::uint64_t count = 0;   // entries (pairs for a dictionary)
        std::uint64_t next = 0;
        PlistArray array;
        PlistDictionary dict;
    };

    bool readUInt(std::uint64_t at, unsigned width, std::uint64_t& out) const;
    bool objectOffset(std::uint64_t index, std::uint64_t& out) const;
    bool reference(std::uint64_t at, std::uint64_t& out) const;
    bool lengthOf(std::uint64_t at, unsigned info, std::uint64_t& length, std::uint64_t& contentAt) const;
    bool weigh(std::uint64_t payload);
    // Decodes a scalar, or opens a frame for a container. Sets isContainer accordingly.
    bool decode(std::uint64_t index, std::optional<PlistValue>& scalar, Frame& frame, bool& isContainer);
    bool decodeKey(std::uint64_t index, std::string& key);
    bool decodeString(std::uint64_t offset, std::string& out);

    std::string_view m_bytes;
    unsigned m_offsetSize = 0;
    unsigned m_refSize = 0;
    std::uint64_t m_objectCount = 0;
    std::uint64_t m_topObject = 0;
    std::uint64_t m_tableAt = 0;
    std::uint64_t m_valueLimit = 0;
    std::uint64_t m_values = 0;
    std::uint64_t m_payload = 0;
};

bool BinaryReader::readUInt(std::uint64_t at, unsigned width, std::uint64_t& out) const
{
    if (width == 0 || width > 8 || at > m_bytes.size() || m_bytes.size() - at < width)
        return false;
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i)
        value = (value << 8) | static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(at + i)]);
    out = value;
    return true;
}

bool BinaryReader::objectOffset(std::uint64_t index, std::uint64_t& out) const
{
    if (index >= m_objectCount)
        return false;
    if (!readUInt(m_tableAt + index * m_offsetSize, m_offsetSize, out))
        return false;
    return out >= 8 && out < m_tableAt;
}

bool BinaryReader::reference(std::uint64_t at, std::uint64_t& out) const
{
    return readUInt(at, m_refSize, out) && out < m_objectCount;
}

bool BinaryReader::lengthOf(std::uint64_t at, unsigned info, std::uint64_t& length,
                            std::uint64_t& contentAt) const
{
    if (info != 0xF) {
        length = info;
        contentAt = at + 1;
        return true;
    }
    if (at + 1 >= m_tableAt)
        return false;
    const auto marker = static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(at + 1)]);
    if ((marker >> 4) != 0x1 || (marker & 0xF) > 3)
        return false;
    const unsigned width = 1u << (marker & 0xF);
    if (!readUInt(at + 2, width, length))
        return false;
    contentAt = at + 2 + width;
    return true;
}

bool BinaryReader::weigh(std::uint64_t payload)
{
    if (payload > kMaxDecodedPayloadBytes)
        return false;
    m_payload += payload;
    return ++m_values <= m_valueLimit && m_payload <= kMaxDecodedPayloadBytes;
}

void appendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool BinaryReader::decodeString(std::uint64_t offset, std::string& out)
{
    const auto marker = static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(offset)]);
    const unsigned type = marker >> 4;
    std::uint64_t length = 0;
    std::uint64_t at = 0;
    if ((type != 0x5 && type != 0x6) || !lengthOf(offset, marker & 0xF, length, at))
        return false;
    const std::uint64_t unit = type == 0x6 ? 2 : 1;
    if (length > m_tableAt / unit || at > m_tableAt || m_tableAt - at < length * unit)
        return false;
    if (!weigh(length * unit))
        return false;
    out.clear();
    const char* data = m_bytes.data() + static_cast<std::size_t>(at);
    if (type == 0x5) {
        out.reserve(static_cast<std::size_t>(length));
        for (std::uint64_t i = 0; i < length; ++i)
            appendUtf8(out, static_cast<unsigned char>(data[i]));
        return true;
    }
    out.reserve(static_cast<std::size_t>(length) * 3 / 2);
    for (std::uint64_t i = 0; i < length; ++i) {
        std::uint32_t unitValue = (static_cast<unsigned char>(data[2 * i]) << 8)
                                  | static_cast<unsigned char>(data[2 * i + 1]);
        if (unitValue >= 0xD800 && unitValue <= 0xDBFF && i + 1 < length) {
            const std::uint32_t low = (static_cast<unsigned char>(data[2 * i + 2]) << 8)
                                      | static_cast<unsigned char>(data[2 * i + 3]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((unitValue - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (unitValue >= 0xD800 && unitValue <= 0xDFFF)
            unitValue = 0xFFFD;
        appendUtf8(out, unitValue);
    }
    return true;
}

bool BinaryReader::decodeKey(std::uint64_t index, std::string& key)
{
    std::uint64_t offset = 0;
    return objectOffset(index, offset) && decodeString(offset, key);
}

bool BinaryReader::decode(std::uint64_t index, std::optional<PlistValue>& scalar, Frame& frame, bool& isContainer)
{
    std::uint64_t offset = 0;
    if (!objectOffset(index, offset))
        return false;
    const auto marker = static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(offset)]);
    const unsigned type = marker >> 4;
    const unsigned info = marker & 0xF;
    isContainer = false;
    switch (type) {
    case 0x0:
        if (info != 0x8 && info != 0x9)
            return false;
        if (!weigh(0))
            return false;
        scalar = PlistValue(info == 0x9);
        return true;
    case 0x1: {
        if (info > 4)
            return false;
        std::uint64_t value = 0;
        if (info == 4) {
            // A 16-byte integer holds values above the signed 64-bit range; keep the low half.
            if (!readUInt(offset + 1, 8, value) || !readUInt(offset + 9, 8, value))
                return false;
        } else if (!readUInt(offset + 1, 1u << info, value)) {
            return false;
        }
        if (!weigh(0))
            return false;
        scalar = PlistValue(static_cast<std::int64_t>(value));
        return true;
    }
    case 0x2:
    case 0x3: {
        if (info != 2 && info != 3)
            return false;
        if (type == 0x3 && info != 3)
            return false;
        std::uint64_t raw = 0;
        if (!readUInt(offset + 1, 1u << info, raw))
            return false;
        double value;
        if (info == 2) {
            const auto bits = static_cast<std::uint32_t>(raw);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            value = f;
        } else {
            std::memcpy(&value, &raw, sizeof value);
        }
        if (!weigh(0))
            return false;
        if (type == 0x2)
            scalar.emplace(value);
        else
            scalar.emplace(PlistDate{value});
        return true;
    }
    case 0x4: {
        std::uint64_t length = 0;
        std::uint64_t at = 0;
        if (!lengthOf(offset, info, length, at) || at > m_tableAt || m_tableAt - at < length)
            return false;
        if (!weigh(length))
            return false;
        PlistData data;
        const auto* begin = reinterpret_cast<const std::uint8_t*>(m_bytes.data()) + at;
        data.bytes.assign(begin, begin + length);
        scalar = PlistValue(std::move(data));
        return true;
    }
    case 0x5:
    case 0x6: {
        std::string text;
        if (!decodeString(offset, text))
            return false;
        scalar = PlistValue(std::move(text));
        return true;
    }
    case 0x8: {
        std::uint64_t value = 0;
        if (!readUInt(offset + 1, info + 1, value) || !weigh(0))
            return false;
        scalar = PlistValue(static_cast<std::int64_t>(value));
        return true;
    }
    case 0xA:
    case 0xD: {
        std::uint64_t count = 0;
        std::uint64_t at = 0;
        if (!lengthOf(offset, info, count, at))
            return false;
        const std::uint64_t refs = type == 0xD ? 2 : 1;
        if (count > m_tableAt / (refs * m_refSize) || at > m_tableAt || m_tableAt - at < count * refs * m_refSize)
            return false;
        if (!weigh(0))
            return false;
        frame = Frame();
        frame.isDictionary = type == 0xD;
        frame.refsAt = at;
        frame.count = count;
        if (!frame.isDictionary)
            frame.array.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, 1u << 16)));
        isContainer = true;
        return true;
    }
    default:
        return false;
    }
}

std::optional<PlistValue> BinaryReader::read()
{
    constexpr std::size_t kTrailer = 32;
    if (m_bytes.size() < 8 + kTrailer + 1 || m_bytes.substr(0, 8) != "bplist00")
        return std::nullopt;
    const std::uint64_t trailerAt = m_bytes.size() - kTrailer;
    m_offsetSize = static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(trailerAt + 6)]);
    m_refSize = static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(trailerAt + 7)]);
    if (!readUInt(trailerAt + 8, 8, m_objectCount) || !readUInt(trailerAt + 16, 8, m_topObject)
        || !readUInt(trailerAt + 24, 8, m_tableAt))
        return std::nullopt;
    if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
        return std::nullopt;
    if (m_objectCount == 0 || m_topObject >= m_objectCount || m_tableAt < 9 || m_tableAt > trailerAt)
        return std::nullopt;
    if (m_objectCount > (trailerAt - m_tableAt) / m_offsetSize)
        return std::nullopt;
    m_valueLimit = std::min<std::uint64_t>(kMaxDecodedValues, 1 + (m_tableAt - 8) / m_refSize);

    std::vector<Frame> stack;

    {
        std::optional<PlistValue> scalar;
        Frame frame;
        bool isContainer = false;
        if (!decode(m_topObject, scalar, frame, isContainer))
            return std::nullopt;
        if (!isContainer)
            return scalar;
        stack.push_back(std::move(frame));
    }

    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.count) {
            PlistValue done = top.isDictionary ? PlistValue(std::move(top.dict)) : PlistValue(std::move(top.array));
            stack.pop_back();
            if (stack.empty())
                return done;
            Frame& parent = stack.back();
            if (parent.isDictionary) {
                std::string key;
                std::uint64_t keyRef = 0;
                if (!reference(parent.refsAt + parent.next * m_refSize, keyRef) || !decodeKey(keyRef, key))
                    return std::nullopt;
                parent.dict.set(std::move(key), std::move(done));
            } else {
                parent.array.push_back(std::move(done));
            }
            ++parent.next;
            continue;
        }
        const std::uint64_t valueAt = top.isDictionary ? top.refsAt + (top.count + top.next) * m_refSize
                                                       : top.refsAt + top.next * m_refSize;
        std::uint64_t valueRef = 0;
        if (!reference(valueAt, valueRef))
            return std::nullopt;
        std::optional<PlistValue> scalar;
        Frame frame;
        bool isContainer = false;
        if (!decode(valueRef, scalar, frame, isContainer))
            return std::nullopt;
        if (isContainer) {
            // Depth bounds cycles as well: a cycle never ends and so exceeds the bound.
            if (stack.size() >= kMaxPropertyListDepth)
                return std::nullopt;
            stack.push_back(std::move(frame));
            continue;
        }
        if (top.isDictionary) {
            std::string key;
            std::uint64_t keyRef = 0;
            if (!reference(top.refsAt + top.next * m_refSize, keyRef) || !decodeKey(keyRef, key))
                return std::nullopt;
            top.dict.set(std::move(key), std::move(*scalar));
        } else {
            top.array.push_back(std::move(*scalar));
        }
        ++top.next;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// XML writer.

void appendEscaped(std::string& out, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c; break;
        }
    }
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64(const std::vector<std::uint8_t>& bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const std::uint32_t n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += kBase64[(n >> 18) & 63];
        out += kBase64[(n >> 12) & 63];
        out += kBase64[(n >> 6) & 63];
        out += kBase64[n & 63];
    }
    if (i + 1 == bytes.size()) {
        const std::uint32_t n = bytes[i] << 16;
        out += kBase64[(n >> 18) & 63];
        out += kBase64[(n >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const std::uint32_t n = (bytes[i] << 16) | (bytes[i + 1] << 8);
        out += kBase64[(n >> 18) & 63];
        out += kBase64[(n >> 12) & 63];
        out += kBase64[(n >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string formatReal(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "+infinity" : "-infinity";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string formatDate(double secondsSinceReference)
{
    const double unixSeconds = std::floor(secondsSinceReference + kReferenceDateOffset);
    // Years past 9999 or before 1 do not fit the ISO 8601 form; clamp to its range.
    const double clamped = std::clamp(unixSeconds, -62135596800.0, 253402300799.0);
    const auto seconds = static_cast<std::int64_t>(clamped);
    // Civil-from-days, valid for the whole clamped range and independent of time_t's width.
    std::int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    std::int64_t secondsOfDay = seconds - days * 86400;
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", static_cast<int>(year),
                  static_cast<int>(month), static_cast<int>(day), static_cast<int>(secondsOfDay / 3600),
                  static_cast<int>(secondsOfDay / 60 % 60), static_cast<int>(secondsOfDay % 60));
    return buffer;
}

std::vector<std::size_t> sortedKeyOrder(const PlistDictionary& dict)
{
    std::vector<std::size_t> order(dict.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto& keys = dict.keys();
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    return order;
}

void writeXmlValue(std::string& out, const PlistValue& value, std::size_t level)
{
    const std::string indent(level, '\t');
    switch (value.type()) {
    case PlistValue::Type::String:
        out += indent + "<string>";
        appendEscaped(out, *value.asString());
        out += "</string>\n";
        break;
    case PlistValue::Type::Integer:
        out += indent + "<integer>" + std::to_string(*value.asInteger()) + "</integer>\n";
        break;
    case PlistValue::Type::Real:
        out += indent + "<real>" + formatReal(*value.asReal()) + "</real>\n";
        break;
    case PlistValue::Type::Boolean:
        out += indent + (*value.asBoolean() ? "<true/>\n" : "<false/>\n");
        break;
    case PlistValue::Type::Date:
        out += indent + "<date>" + formatDate(value.asDate()->secondsSinceReference) + "</date>\n";
        break;
    case PlistValue::Type::Data: {
        const std::string encoded = base64(value.asData()->bytes);
        out += indent + "<data>\n";
        // Lines of at most 76 columns, counting a tab as eight, and never under 16 characters.
        const std::size_t columns = 8 * level < 60 ? 76 - 8 * level : 16;
        const std::size_t line = columns / 4 * 4;
        for (std::size_t i = 0; i < encoded.size(); i += line)
            out += indent + encoded.substr(i, line) + "\n";
        out += indent + "</data>\n";
        break;
    }
    case PlistValue::Type::Array: {
        const PlistArray& array = *value.asArray();
        if (array.empty()) {
            out += indent + "<array/>\n";
            break;
        }
        out += indent + "<array>\n";
        for (const PlistValue& item : array)
            writeXmlValue(out, item, level + 1);
        out += indent + "</array>\n";
        break;
    }
    case PlistValue::Type::Dictionary: {
        const PlistDictionary& dict = *value.asDictionary();
        if (dict.empty()) {
            out += indent + "<dict/>\n";
            break;
        }
        out += indent + "<dict>\n";
        for (const std::size_t i : sortedKeyOrder(dict)) {
            out += indent + "\t<key>";
            appendEscaped(out, dict.keys()[i]);
            out += "</key>\n";
            writeXmlValue(out, dict.valueAt(i), level + 1);
        }
        out += indent + "</dict>\n";
        break;
    }
    }
}

// ---------------------------------------------------------------------------------------------
// Binary writer: objects numbered in pre-order, written children first, one pass.

class BinaryWriter {
public:
    std::string write(const PlistValue& root)
    {
        m_refSize = 1;
        const std::uint64_t count = countObjects(root);
        if (count > 0xFF)
            m_refSize = 2;
        if (count > 0xFFFF)
            m_refSize = 4;
        if (count > 0xFFFFFFFFull)
            m_refSize = 8;
        m_offsets.assign(static_cast<std::size_t>(count), 0);
        m_out = "bplist00";
        encode(root);
        const std::uint64_t tableAt = m_out.size();
        unsigned offsetSize = 1;
        while (offsetSize < 8 && (tableAt >> (8 * offsetSize)) != 0)
            offsetSize *= 2;
        for (const std::uint64_t offset : m_offsets)
            appendUInt(offset, offsetSize);
        m_out.append(6, '\0');
        m_out += static_cast<char>(offsetSize);
        m_out += static_cast<char>(m_refSize);
        appendUInt(count, 8);
        appendUInt(0, 8);
        appendUInt(tableAt, 8);
        return std::move(m_out);
    }

private:
    static std::uint64_t countObjects(const PlistValue& value)
    {
        std::uint64_t count = 1;
        if (const PlistArray* array = value.asArray()) {
            for (const PlistValue& item : *array)
                count += countObjects(item);
        } else if (const PlistDictionary* dict = value.asDictionary()) {
            count += dict->size();
            for (std::size_t i = 0; i < dict->size(); ++i)
                count += countObjects(dict->valueAt(i));
        }
        return count;
    }

    void appendUInt(std::uint64_t value, unsigned width)
    {
        for (unsigned i = width; i-- > 0;)
            m_out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }

    void appendMarker(unsigned type, std::uint64_t length)
    {
        if (length < 15) {
            m_out += static_cast<char>((type << 4) | length);
            return;
        }
        m_out += static_cast<char>((type << 4) | 0xF);
        appendInteger(length);
    }

    void appendInteger(std::uint64_t value)
    {
        if (value <= 0xFF) {
            m_out += '\x10';
            appendUInt(value, 1);
        } else if (value <= 0xFFFF) {
            m_out += '\x11';
            appendUInt(value, 2);
        } else if (value <= 0xFFFFFFFFull) {
            m_out += '\x12';
            appendUInt(value, 4);
        } else {
            m_out += '\x13';
            appendUInt(value, 8);
        }
    }

    void appendDouble(unsigned type, double value)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        m_out += static_cast<char>((type << 4) | 3);
        appendUInt(bits, 8);
    }

    void appendString(std::string_view text)
    {
        const bool ascii = std::all_of(text.begin(), text.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x80;
        });
        if (ascii) {
            appendMarker(0x5, text.size());
            m_out += text;
            return;
        }
        std::vector<std::uint16_t> units;
        units.reserve(text.size());
        for (std::size_t i = 0; i < text.size();) {
            const auto b = static_cast<unsigned char>(text[i]);
            std::uint32_t cp = 0xFFFD;
            std::size_t length = 1;
            if (b >= 0xC2 && b <= 0xDF)
                length = 2;
            else if (b >= 0xE0 && b <= 0xEF)
                length = 3;
            else if (b >= 0xF0 && b <= 0xF4)
                length = 4;
            if (b < 0x80) {
                cp = b;
            } else if (length > 1 && i + length <= text.size()) {
                std::uint32_t value = b & (0x7F >> length);
                bool ok = true;
                for (std::size_t k = 1; k < length; ++k) {
                    const auto c = static_cast<unsigned char>(text[i + k]);
                    if ((c & 0xC0) != 0x80) {
                        ok = false;
                        break;
                    }
                    value = (value << 6) | (c & 0x3F);
                }
                const std::uint32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
                if (ok && value >= minimum && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF))
                    cp = value;
                else
                    length = 1;
            } else {
                length = 1;
            }
            i += length;
            if (cp >= 0x10000) {
                cp -= 0x10000;
                units.push_back(static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
                units.push_back(static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
            } else {
                units.push_back(static_cast<std::uint16_t>(cp));
            }
        }
        appendMarker(0x6, units.size());
        for (const std::uint16_t unit : units)
            appendUInt(unit, 2);
    }

    std::uint64_t encode(const PlistValue& value)
    {
        const std::uint64_t index = m_next++;
        switch (value.type()) {
        case PlistValue::Type::String:
            m_offsets[index] = m_out.size();
            appendString(*value.asString());
            break;
        case PlistValue::Type::Integer: {
            m_offsets[index] = m_out.size();
            const std::int64_t number = *value.asInteger();
            if (number < 0) {
                m_out += '\x13';
                appendUInt(static_cast<std::uint64_t>(number), 8);
            } else {
                appendInteger(static_cast<std::uint64_t>(number));
            }
            break;
        }
        case PlistValue::Type::Real:
            m_offsets[index] = m_out.size();
            appendDouble(0x2, *value.asReal());
            break;
        case PlistValue::Type::Boolean:
            m_offsets[index] = m_out.size();
            m_out += *value.asBoolean() ? '\x09' : '\x08';
            break;
        case PlistValue::Type::Date:
            m_offsets[index] = m_out.size();
            appendDouble(0x3, value.asDate()->secondsSinceReference);
            break;
        case PlistValue::Type::Data: {
            m_offsets[index] = m_out.size();
            const auto& bytes = value.asData()->bytes;
            appendMarker(0x4, bytes.size());
            m_out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            break;
        }
        case PlistValue::Type::Array: {
            const PlistArray& array = *value.asArray();
            std::vector<std::uint64_t> refs;
            refs.reserve(array.size());
            for (const PlistValue& item : array)
                refs.push_back(encode(item));
            m_offsets[index] = m_out.size();
            appendMarker(0xA, refs.size());
            for (const std::uint64_t ref : refs)
                appendUInt(ref, m_refSize);
            break;
        }
        case PlistValue::Type::Dictionary: {
            const PlistDictionary& dict = *value.asDictionary();
            const std::vector<std::size_t> order = sortedKeyOrder(dict);
            std::vector<std::uint64_t> keyRefs;
            std::vector<std::uint64_t> valueRefs;
            keyRefs.reserve(order.size());
            valueRefs.reserve(order.size());
            for (const std::size_t i : order) {
                const std::uint64_t keyIndex = m_next++;
                m_offsets[keyIndex] = m_out.size();
                appendString(dict.keys()[i]);
                keyRefs.push_back(keyIndex);
                valueRefs.push_back(encode(dict.valueAt(i)));
            }
            m_offsets[index] = m_out.size();
            appendMarker(0xD, order.size());
            for (const std::uint64_t ref : keyRefs)
                appendUInt(ref, m_refSize);
            for (const std::uint64_t ref : valueRefs)
                appendUInt(ref, m_refSize);
            break;
        }
        }
        return index;
    }

    std::string m_out;
    std::vector<std::uint64_t> m_offsets;
    std::uint64_t m_next = 0;
    unsigned m_refSize = 1;
};

// ---------------------------------------------------------------------------------------------
// Files.

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

mode_t defaultFileMode()
{
    // The process umask, read without changing it (umask() would race other threads).
    mode_t mask = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            unsigned value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value & 0777);
                break;
            }
        }
        std::fclose(status);
    }
    return static_cast<mode_t>(0666 & ~mask);
}

bool writeBytesInPlace(const std::string& path, std::string_view bytes)
{
    if (path.empty())
        return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, bytes);
    const bool closed = ::close(fd) == 0;
    return written && closed;
}

bool writeBytesAtomically(const std::string& path, std::string_view bytes)
{
    if (path.empty() || path.back() == '/')
        return false;
    std::string folder = stringByDeletingLastPathComponent(path);
    if (folder.empty())
        folder = ".";
    const std::string name = lastPathComponent(path);
    std::string temp = stringByAppendingPathComponent(folder, "." + name + ".XXXXXX");
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    struct stat existing {};
    mode_t mode = defaultFileMode();
    if (::lstat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        mode = existing.st_mode & 07777;
    bool ok = ::fchmod(fd, mode) == 0;
    ok = ok && writeAll(fd, bytes);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace

std::optional<PlistValue> parsePropertyList(std::string_view bytes, PlistFormat* formatOut)
{
    try {
        if (bytes.empty() || bytes.size() > kMaxPropertyListBytes)
            return std::nullopt;
        if (bytes.substr(0, 6) == "bplist") {
            auto value = BinaryReader(bytes).read();
            if (value && formatOut)
                *formatOut = PlistFormat::Binary;
            return value;
        }
        auto value = parseXml(bytes);
        if (value && formatOut)
            *formatOut = PlistFormat::Xml;
        return value;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<PlistValue> readPropertyListFile(const std::string& path, PlistFormat* formatOut)
{
    try {
        const auto bytes = contentsOfRegularFile(path, kMaxPropertyListBytes);
        if (!bytes)
            return std::nullopt;
        return parsePropertyList(*bytes, formatOut);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<PlistDictionary> dictionaryWithContentsOfFile(const std::string& path)
{
    auto value = readPropertyListFile(path);
    if (!value)
        return std::nullopt;
    PlistDictionary* dict = value->asDictionary();
    if (!dict)
        return std::nullopt;
    return std::move(*dict);
}

std::string xmlPropertyList(const PlistValue& root)
{
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n";
    writeXmlValue(out, root, 0);
    out += "</plist>\n";
    return out;
}

std::string binaryPropertyList(const PlistValue& root)
{
    return BinaryWriter().write(root);
}

bool writeToFile(const PlistValue& root, const std::string& path, bool atomically)
{
    try {
        const std::string bytes = xmlPropertyList(root);
        return atomically ? writeBytesAtomically(path, bytes) : writeBytesInPlace(path, bytes);
    } catch (...) {
        return false;
    }
}

bool writePropertyListAtomically(const PlistValue& root, const std::string& path, PlistFormat format)
{
    try {
        const std::string bytes = format == PlistFormat::Binary ? binaryPropertyList(root) : xmlPropertyList(root);
        return writeBytesAtomically(path, bytes);
    } catch (...) {
        return false;
    }
}

}  // namespace platform
