#include "platform/foundation/Plural.h"

#include "platform/foundation/Locale.h"

namespace platform {

namespace {

/// The language part of a tag or localization name: "de" for "German", "de-DE" or "de_DE".
std::string languageOf(std::string_view name)
{
    const std::string canonical = canonicalLocalizationName(name);
    const std::size_t end = canonical.find_first_of("-_");
    return canonical.substr(0, end);
}

}  // namespace

PluralCategory pluralCategory(std::string_view language, std::uint64_t n)
{
    const std::string code = languageOf(language);
    if (code == "ja" || code == "ko" || code == "zh")
        return PluralCategory::Other;
    if (code == "fr")
        return n <= 1 ? PluralCategory::One : PluralCategory::Other;
    return n == 1 ? PluralCategory::One : PluralCategory::Other;
}

std::string formatCount(std::string_view language, std::uint64_t n)
{
    const std::string code = languageOf(language);
    std::string separator = ",";
    std::size_t minimumDigits = 4;
    if (code == "de" || code == "it" || code == "es")
        separator = ".";
    if (code == "es")
        minimumDigits = 5;
    if (code == "fr")
        separator = "\u202f";
    const std::string digits = std::to_string(n);
    if (digits.size() < minimumDigits)
        return digits;
    std::string result;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            result += separator;
        result += digits[i];
    }
    return result;
}

}  // namespace platform
