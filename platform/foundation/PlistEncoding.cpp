#include "platform/foundation/PlistEncoding.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <string>
#include <limits>
#include <unordered_map>

namespace platform::plist {

namespace {

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Decodes the code point at text[i] and advances i; none for an ill-formed sequence.
std::optional<std::uint32_t> nextCodePoint(std::string_view text, std::size_t& i)
{
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
        ++i;
        return b;
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
        return std::nullopt;
    }
    if (text.size() - i < length)
        return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80)
            return std::nullopt;
        cp = (cp << 6) | (c & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    i += length;
    return cp;
}

// The first UTF-16 code unit of a code point.
std::uint32_t leadingUnit(std::uint32_t cp)
{
    return cp < 0x10000 ? cp : 0xD800 + ((cp - 0x10000) >> 10);
}

std::int64_t floorDivide(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = floorDivide(year, 400);
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool isLeapYear(std::int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Digit(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// The value of a decimal number that from_chars reports as out of range, rounded as strtod in
// the "C" locale rounds it.
std::optional<double> outOfRangeReal(std::string_view text)
{
    const std::string number(text);
    const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (!cLocale)
        return std::nullopt;
    const double value = ::strtod_l(number.c_str(), nullptr, cLocale);
    ::freelocale(cLocale);
    return value;
}

}  // namespace

std::string_view trimXmlSpace(std::string_view text)
{
    while (!text.empty() && isXmlSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isXmlSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
        } else if (!nextCodePoint(text, i)) {
            return false;
        }
    }
    return true;
}

bool isXmlText(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        // Most text is ASCII: its characters are judged where they stand.
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            if (b < 0x20 && b != '\t' && b != '\n' && b != '\r')
                return false;
            ++i;
            continue;
        }
        const auto cp = nextCodePoint(text, i);
        if (!cp)
            return false;
        if (*cp < 0x20 ? (*cp != '\t' && *cp != '\n' && *cp != '\r') : (*cp == 0xFFFE || *cp == 0xFFFF))
            return false;
    }
    return true;
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

bool lessInUtf16(std::string_view a, std::string_view b)
{
    // A run of equal ASCII characters decodes alike on both sides; where the texts part, two
    // ASCII characters compare as their bytes.
    std::size_t same = 0;
    const std::size_t shorter = std::min(a.size(), b.size());
    while (same < shorter && a[same] == b[same] && static_cast<unsigned char>(a[same]) < 0x80)
        ++same;
    if (same == shorter)
        return a.size() < b.size();
    const auto x = static_cast<unsigned char>(a[same]);
    const auto y = static_cast<unsigned char>(b[same]);
    if (x < 0x80 && y < 0x80)
        return x < y;
    std::size_t i = same;
    std::size_t j = same;
    while (i < a.size() && j < b.size()) {
        // Bytes of ill-formed text compare as themselves.
        const std::size_t iBefore = i;
        const std::size_t jBefore = j;
        const std::uint32_t x = nextCodePoint(a, i).value_or(static_cast<unsigned char>(a[iBefore]));
        const std::uint32_t y = nextCodePoint(b, j).value_or(static_cast<unsigned char>(b[jBefore]));
        if (i == iBefore)
            ++i;
        if (j == jBefore)
            ++j;
        if (x == y)
            continue;
        const std::uint32_t ux = leadingUnit(x);
        const std::uint32_t uy = leadingUnit(y);
        return ux != uy ? ux < uy : x < y;
    }
    return i == a.size() && j < b.size();
}

std::vector<std::size_t> sortedKeyOrder(const PlistDictionary& dict)
{
    std::vector<std::size_t> order(dict.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return lessInUtf16(dict.keyAt(a), dict.keyAt(b)); });
    return order;
}

std::string formatReal(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "+infinity" : "-infinity";
    if (value == 0)
        return "0.0";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 17);
    return std::string(buffer, result.ptr);
}

std::optional<double> parseReal(std::string_view text)
{
    text = trimXmlSpace(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '+' || text.front() == '-')
        return std::nullopt;
    std::string lower(text.size() <= 8 ? text : std::string_view());
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return static_cast<char>(c | 0x20); });
    double value;
    if (lower == "nan") {
        value = std::numeric_limits<double>::quiet_NaN();
    } else if (lower == "inf" || lower == "infinity") {
        value = std::numeric_limits<double>::infinity();
    } else {
        // Only digits, a point and an exponent: from_chars alone would also take "inf" spellings.
        if (!std::all_of(text.begin(), text.end(), [](char c) {
                return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
            }))
            return std::nullopt;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (result.ptr != text.data() + text.size()) {
            return std::nullopt;
        }
        if (result.ec == std::errc::result_out_of_range) {
            // The magnitude decides, not the exponent's sign: "0.000...1" is tiny and "1000...e-5"
            // is huge. strtod in the "C" locale rounds to infinity, to a denormal or to zero as
            // the magnitude asks; the text holds nothing but the characters checked above.
            const auto rounded = outOfRangeReal(text);
            if (!rounded)
                return std::nullopt;
            value = *rounded;
        } else if (result.ec != std::errc()) {
            return std::nullopt;
        }
    }
    return negative ? -value : value;
}

std::optional<PlistValue> parseInteger(std::string_view text)
{
    text = trimXmlSpace(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), magnitude, static_cast<int>(base));
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        return std::nullopt;
    if (!negative)
        return PlistValue(magnitude);
    constexpr std::uint64_t kLowest = std::uint64_t{1} << 63;
    if (magnitude > kLowest)
        return std::nullopt;
    return PlistValue(magnitude == kLowest ? std::numeric_limits<std::int64_t>::min()
                                           : -static_cast<std::int64_t>(magnitude));
}

std::optional<std::string> formatDate(double secondsSinceReference)
{
    constexpr double kLimit = 4611686018427387904.0;  // 2^62
    if (!std::isfinite(secondsSinceReference) || std::fabs(secondsSinceReference) > kLimit)
        return std::nullopt;
    const auto unixSeconds = static_cast<std::int64_t>(std::floor(secondsSinceReference))
                             + static_cast<std::int64_t>(kReferenceDateOffset);
    std::int64_t days = floorDivide(unixSeconds, 86400);
    const std::int64_t secondsOfDay = unixSeconds - days * 86400;
    days += 719468;
    const std::int64_t era = floorDivide(days, 146097);
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s%04lld-%02d-%02dT%02d:%02d:%02dZ", year < 0 ? "-" : "",
                  static_cast<long long>(year < 0 ? -year : year), static_cast<int>(month), static_cast<int>(day),
                  static_cast<int>(secondsOfDay / 3600), static_cast<int>(secondsOfDay / 60 % 60),
                  static_cast<int>(secondsOfDay % 60));
    return std::string(buffer);
}

std::optional<double> parseDate(std::string_view text)
{
    text = trimXmlSpace(text);
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    const std::size_t yearDigits = text.find('-');
    if (yearDigits == std::string_view::npos || yearDigits < 4 || yearDigits > 12)
        return std::nullopt;
    const std::string_view rest = text.substr(yearDigits);
    constexpr std::string_view kPattern = "-dd-ddTdd:dd:ddZ";
    if (rest.size() != kPattern.size())
        return std::nullopt;
    for (std::size_t i = 0; i < kPattern.size(); ++i) {
        const bool digit = rest[i] >= '0' && rest[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : rest[i] != kPattern[i])
            return std::nullopt;
    }
    std::int64_t year = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + yearDigits, year);
    if (parsed.ec != std::errc() || parsed.ptr != text.data() + yearDigits)
        return std::nullopt;
    if (negative)
        year = -year;
    const auto number = [&](std::size_t at) { return static_cast<unsigned>((rest[at] - '0') * 10 + (rest[at + 1] - '0')); };
    const unsigned month = number(1);
    const unsigned day = number(4);
    const unsigned hour = number(7);
    const unsigned minute = number(10);
    const unsigned second = number(13);
    static constexpr unsigned kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    if (day > kDaysInMonth[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0))
        return std::nullopt;
    const std::int64_t seconds = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return static_cast<double>(seconds - static_cast<std::int64_t>(kReferenceDateOffset));
}

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

std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text)
{
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    std::uint32_t bits = 0;
    unsigned pending = 0;
    std::size_t padding = 0;
    for (const char c : text) {
        if (isXmlSpace(c))
            continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int digit = base64Digit(c);
        if (digit < 0 || padding > 0)
            return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(digit);
        if (++pending == 4) {
            out.push_back(static_cast<std::uint8_t>(bits >> 16));
            out.push_back(static_cast<std::uint8_t>(bits >> 8));
            out.push_back(static_cast<std::uint8_t>(bits));
            bits = 0;
            pending = 0;
        }
    }
    if (pending == 1 || padding > 2 || (padding > 0 && pending + padding != 4))
        return std::nullopt;
    if (pending == 2) {
        out.push_back(static_cast<std::uint8_t>(bits >> 4));
    } else if (pending == 3) {
        out.push_back(static_cast<std::uint8_t>(bits >> 10));
        out.push_back(static_cast<std::uint8_t>(bits >> 2));
    }
    return out;
}

namespace {

// The levels of containers value holds, or none past room; shared blocks measured before are
// looked up in measured.
std::optional<std::size_t> levelsOf(const PlistValue& value, std::size_t room,
                                     std::unordered_map<const void*, std::size_t>& measured)
{
    const PlistArray* array = value.asArray();
    const PlistDictionary* dict = value.asDictionary();
    if (!array && !dict)
        return 0;
    const void* block = array ? static_cast<const void*>(array) : static_cast<const void*>(dict);
    const bool shared = value.isShared();
    if (shared) {
        if (const auto found = measured.find(block); found != measured.end())
            return found->second <= room ? std::optional<std::size_t>(found->second) : std::nullopt;
    }
    if (room == 0)
        return std::nullopt;
    std::size_t below = 0;
    const std::size_t count = array ? array->size() : dict->size();
    for (std::size_t i = 0; i < count; ++i) {
        const auto levels = levelsOf(array ? (*array)[i] : dict->valueAt(i), room - 1, measured);
        if (!levels)
            return std::nullopt;
        below = std::max(below, *levels);
    }
    if (shared)
        measured.emplace(block, below + 1);
    return below + 1;
}

}  // namespace

bool nestsWithin(const PlistValue& value, std::size_t levels)
{
    std::unordered_map<const void*, std::size_t> measured;
    return levelsOf(value, levels, measured).has_value();
}

}  // namespace platform::plist
