#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

/// The plural forms a count takes in the languages the programs speak.
enum class PluralCategory { One, Other };

/// The plural category of n in a language ("de", "fr", "zh-Hans", or a legacy localization name
/// such as "German"): English, German, Italian and Spanish say "one" for 1 alone, French for 0
/// and 1; Japanese, Korean and Chinese have one form. Unknown languages follow English.
PluralCategory pluralCategory(std::string_view language, std::uint64_t n);

/// n written as the language writes counts: digits grouped by threes with "," (English,
/// Japanese, Korean, Chinese), "." (German, Italian, Spanish; Spanish groups only from five
/// digits on) or a narrow no-break space (French).
std::string formatCount(std::string_view language, std::uint64_t n);

/// The text for a count: key + "_ONE" or key + "_OTHER" in a strings table, picked by lookup,
/// with "%@" replaced by the formatted count. A missing "_ONE" text falls back to "_OTHER".
template <class Lookup>
std::string countedText(std::string_view language, const std::string& key, std::uint64_t n, Lookup lookup)
{
    std::string text;
    if (pluralCategory(language, n) == PluralCategory::One)
        text = lookup(key + "_ONE");
    if (text.empty() || text == key + "_ONE")
        text = lookup(key + "_OTHER");
    const std::string count = formatCount(language, n);
    for (std::size_t at = text.find("%@"); at != std::string::npos; at = text.find("%@", at + count.size()))
        text.replace(at, 2, count);
    return text;
}

}  // namespace platform
