#include "platform/foundation/StringsTable.h"

#include "platform/foundation/FileManager.h"
#include "platform/foundation/PlistEncoding.h"

#include <vector>

namespace platform {

namespace {

// Decodes UTF-8 strictly: no overlong forms, no surrogates, nothing above U+10FFFF.
bool decodeUtf8(std::string_view bytes, std::u32string& out)
{
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out += b;
            ++i;
            continue;
        }
        std::size_t length;
        char32_t cp;
        char32_t minimum;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            cp = b & 0x1F;
            minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            cp = b & 0x0F;
            minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            cp = b & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (bytes.size() - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        out += cp;
        i += length;
    }
    return true;
}

bool decodeUtf16(std::string_view bytes, bool bigEndian, std::u32string& out)
{
    if (bytes.size() % 2 != 0)
        return false;
    out.reserve(bytes.size() / 2);
    auto unitAt = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? static_cast<char32_t>((a << 8) | b) : static_cast<char32_t>((b << 8) | a);
    };
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const char32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 2 >= bytes.size())
                return false;
            const char32_t low = unitAt(i + 2);
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            out += 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;
        } else {
            out += unit;
        }
    }
    return true;
}

using plist::appendUtf8;

int hexValue(char32_t c)
{
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    return -1;
}

bool isUnquotedChar(char32_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.'
           || c == '-' || c == '$' || c == ':';
}

bool isSpace(char32_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == 0xFEFF
           || c == 0x2028 || c == 0x2029;
}

class Parser {
public:
    explicit Parser(const std::u32string& text) : m_text(text) {}

    std::optional<StringsTable> parse()
    {
        StringsTable table;
        if (!skipSpaceAndComments())
            return std::nullopt;
        // The entries may stand in braces, as one dictionary of the old property-list form.
        const bool braced = !atEnd() && peek() == '{';
        if (braced)
            ++m_pos;
        for (;;) {
            if (!skipSpaceAndComments())
                return std::nullopt;
            if (braced && !atEnd() && peek() == '}') {
                ++m_pos;
                if (!skipSpaceAndComments() || !atEnd())
                    return std::nullopt;
                return table;
            }
            if (atEnd())
                return braced ? std::nullopt : std::optional<StringsTable>(std::move(table));
            std::string key;
            if (!readToken(key) || !skipSpaceAndComments() || atEnd())
                return std::nullopt;
            std::string value;
            if (peek() == ';') {
                // "key"; stands for "key" = "key";
                value = key;
            } else {
                if (peek() != '=')
                    return std::nullopt;
                ++m_pos;
                if (!skipSpaceAndComments() || !readToken(value) || !skipSpaceAndComments() || atEnd()
                    || peek() != ';')
                    return std::nullopt;
            }
            ++m_pos;
            table[std::move(key)] = std::move(value);
        }
    }

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    char32_t peek(std::size_t ahead = 0) const
    {
        return m_pos + ahead < m_text.size() ? m_text[m_pos + ahead] : 0;
    }

    // False for an unterminated /* comment.
    bool skipSpaceAndComments()
    {
        while (!atEnd()) {
            const char32_t c = peek();
            if (isSpace(c)) {
                ++m_pos;
            } else if (c == '/' && peek(1) == '*') {
                const auto end = m_text.find(U"*/", m_pos + 2);
                if (end == std::u32string::npos)
                    return false;
                m_pos = end + 2;
            } else if (c == '/' && peek(1) == '/') {
                while (!atEnd() && peek() != '\n' && peek() != '\r' && peek() != 0x2028 && peek() != 0x2029)
                    ++m_pos;
            } else {
                return true;
            }
        }
        return true;
    }

    bool readToken(std::string& out)
    {
        if (atEnd())
            return false;
        if (peek() == '"')
            return readQuoted(out);
        if (!isUnquotedChar(peek()))
            return false;
        while (!atEnd() && isUnquotedChar(peek()))
            appendUtf8(out, m_text[m_pos++]);
        return true;
    }

    bool readQuoted(std::string& out)
    {
        ++m_pos;
        for (;;) {
            if (atEnd())
                return false;
            const char32_t c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (c != '\\') {
                appendUtf8(out, c);
                continue;
            }
            if (atEnd())
                return false;
            const char32_t e = m_text[m_pos++];
            switch (e) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'a': out += '\a'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'v': out += '\v'; break;
            case 'U':
            case 'u': {
                char32_t unit = 0;
                if (!readHex(unit))
                    return false;
                if (unit >= 0xDC00 && unit <= 0xDFFF)
                    return false;
                if (unit >= 0xD800 && unit <= 0xDBFF) {
                    if (peek() != '\\' || (peek(1) != 'U' && peek(1) != 'u'))
                        return false;
                    m_pos += 2;
                    char32_t low = 0;
                    if (!readHex(low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(out, unit);
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    char32_t value = e - '0';
                    for (int k = 0; k < 2 && peek() >= '0' && peek() <= '7'; ++k)
                        value = value * 8 + (m_text[m_pos++] - '0');
                    appendUtf8(out, value);
                } else {
                    // \" \\ \' and any other escaped character stand for themselves.
                    appendUtf8(out, e);
                }
                break;
            }
        }
    }

    bool readHex(char32_t& out)
    {
        int digits = 0;
        out = 0;
        while (digits < 4 && hexValue(peek()) >= 0) {
            out = out * 16 + static_cast<char32_t>(hexValue(peek()));
            ++m_pos;
            ++digits;
        }
        return digits > 0;
    }

    const std::u32string& m_text;
    std::size_t m_pos = 0;
};

}  // namespace

std::optional<StringsTable> parseStringsTable(std::string_view bytes)
{
    try {
        if (bytes.size() > kMaxStringsTableBytes)
            return std::nullopt;
        std::u32string text;
        const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
        bool decoded;
        if (bytes.size() >= 2 && byteAt(0) == 0xFF && byteAt(1) == 0xFE)
            decoded = decodeUtf16(bytes.substr(2), false, text);
        else if (bytes.size() >= 2 && byteAt(0) == 0xFE && byteAt(1) == 0xFF)
            decoded = decodeUtf16(bytes.substr(2), true, text);
        else if (bytes.size() >= 3 && byteAt(0) == 0xEF && byteAt(1) == 0xBB && byteAt(2) == 0xBF)
            decoded = decodeUtf8(bytes.substr(3), text);
        else
            decoded = decodeUtf8(bytes, text);
        if (!decoded)
            return std::nullopt;
        return Parser(text).parse();
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<StringsTable> readStringsTableFile(const std::string& path)
{
    try {
        const auto bytes = contentsOfRegularFile(path, kMaxStringsTableBytes);
        if (!bytes)
            return std::nullopt;
        return parseStringsTable(*bytes);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace platform
