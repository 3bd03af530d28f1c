#pragma once

#include "platform/foundation/PlistValue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Text, number and date encodings that the property-list readers and writers share.
namespace platform::plist {

/// Seconds between 1970-01-01 and the reference date 2001-01-01.
inline constexpr double kReferenceDateOffset = 978307200.0;

/// True when text is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isValidUtf8(std::string_view text);

/// True when text is valid UTF-8 holding only characters that XML 1.0 allows in a document:
/// tab, line feed, carriage return, U+0020..U+D7FF, U+E000..U+FFFD and U+10000..U+10FFFF.
bool isXmlText(std::string_view text);

/// Appends the UTF-8 form of one code point.
void appendUtf8(std::string& out, std::uint32_t codePoint);

/// Orders two UTF-8 strings by their UTF-16 code units, the way the platform sorts keys.
bool lessInUtf16(std::string_view a, std::string_view b);

/// The positions of the dictionary's keys in UTF-16 code-unit order.
std::vector<std::size_t> sortedKeyOrder(const PlistDictionary& dict);

/// The XML form of a real: "0.0" for zero of either sign, "nan", "+infinity", "-infinity",
/// otherwise 17 significant digits.
std::string formatReal(double value);

/// Reads an XML real: a decimal number with optional sign and exponent, or nan / inf / infinity
/// with an optional sign, in any case; surrounding XML white space is ignored.
std::optional<double> parseReal(std::string_view text);

/// Reads an XML integer from -2^63 to 2^64-1: decimal or "0x" hexadecimal, with optional sign.
std::optional<PlistValue> parseInteger(std::string_view text);

/// The XML form of a date, "YYYY-MM-DDTHH:MM:SSZ" in UTC with the year widened and signed where
/// it falls outside 0000..9999; none for a date that is not finite or lies beyond 2^62 seconds.
std::optional<std::string> formatDate(double secondsSinceReference);

/// Reads the XML form of a date written by formatDate; none for anything else or an impossible day.
std::optional<double> parseDate(std::string_view text);

/// The base64 form of bytes, without line breaks.
std::string base64(const std::vector<std::uint8_t>& bytes);

/// Decodes base64 text that may hold XML white space between its characters; none when it holds
/// anything else or its padding is misplaced.
std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text);

/// Removes XML white space (space, tab, CR, LF) at both ends.
std::string_view trimXmlSpace(std::string_view text);

/// Whether value holds at most levels levels of arrays and dictionaries, empty ones included (a
/// leaf holds none). A block that copies share is measured once, however often it occurs, and
/// the walk goes no deeper than levels, so it ends soon on any tree.
bool nestsWithin(const PlistValue& value, std::size_t levels);

}  // namespace platform::plist
