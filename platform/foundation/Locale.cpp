#include "platform/foundation/Locale.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace platform {

namespace {

std::mutex& overrideMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::optional<std::vector<std::string>>& languagesOverride()
{
    static std::optional<std::vector<std::string>> languages;
    return languages;
}

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool allOf(std::string_view text, bool (*test)(char))
{
    return std::all_of(text.begin(), text.end(), test);
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

std::string uppered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), upper);
    return out;
}

struct LegacyName {
    std::string_view name;
    std::string_view code;
};

// Localization folder names from before language codes were used, and Chinese region names
// that stand for a script.
constexpr LegacyName kLegacyNames[] = {
    {"English", "en"},     {"German", "de"},     {"French", "fr"},     {"Spanish", "es"},
    {"Italian", "it"},     {"Japanese", "ja"},   {"Dutch", "nl"},      {"Korean", "ko"},
    {"Portuguese", "pt"},  {"Swedish", "sv"},    {"Danish", "da"},     {"Finnish", "fi"},
    {"Norwegian", "nb"},   {"Russian", "ru"},    {"Polish", "pl"},     {"Turkish", "tr"},
    {"Greek", "el"},       {"Hungarian", "hu"},  {"Czech", "cs"},      {"Arabic", "ar"},
    {"Hebrew", "he"},      {"Chinese", "zh-Hans"},
    {"zh_CN", "zh-Hans"},  {"zh_SG", "zh-Hans"}, {"zh_TW", "zh-Hant"}, {"zh_HK", "zh-Hant-HK"},
    {"zh_MO", "zh-Hant-MO"},
};

}  // namespace

std::optional<std::string> languageTagFromPosixLocale(std::string_view locale)
{
    std::string_view modifier;
    if (const auto at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at + 1);
        locale = locale.substr(0, at);
    }
    if (const auto dot = locale.find('.'); dot != std::string_view::npos)
        locale = locale.substr(0, dot);
    if (locale.empty() || locale == "C" || locale == "POSIX")
        return std::nullopt;

    std::vector<std::string_view> parts;
    while (true) {
        const auto separator = locale.find_first_of("_-");
        parts.push_back(locale.substr(0, separator));
        if (separator == std::string_view::npos)
            break;
        locale.remove_prefix(separator + 1);
    }
    const std::string_view language = parts.front();
    if (language.size() < 2 || language.size() > 3 || !allOf(language, isAsciiLetter))
        return std::nullopt;
    std::string tag = lowered(language);

    std::string script;
    if (modifier == "latin")
        script = "Latn";
    else if (modifier == "cyrillic")
        script = "Cyrl";
    std::string regionCode;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string_view part = parts[i];
        if (part.size() == 4 && allOf(part, isAsciiLetter) && regionCode.empty())
            script = std::string(1, upper(part[0])) + lowered(part.substr(1));
        else if ((part.size() == 2 && allOf(part, isAsciiLetter)) || (part.size() == 3 && allOf(part, isAsciiDigit)))
            regionCode = uppered(part);
    }

    if (tag == "zh" && script.empty()) {
        if (regionCode == "CN" || regionCode == "SG") {
            script = "Hans";
            regionCode.clear();
        } else if (regionCode == "TW") {
            script = "Hant";
            regionCode.clear();
        } else if (regionCode == "HK" || regionCode == "MO") {
            script = "Hant";
        }
    }
    if (!script.empty())
        tag += "-" + script;
    if (!regionCode.empty())
        tag += "-" + regionCode;
    return tag;
}

std::vector<std::string> preferredLanguages()
{
    {
        std::lock_guard lock(overrideMutex());
        if (languagesOverride())
            return *languagesOverride();
    }
    std::vector<std::string> languages;
    auto add = [&](std::string_view locale) {
        const auto tag = languageTagFromPosixLocale(locale);
        if (tag && std::find(languages.begin(), languages.end(), *tag) == languages.end())
            languages.push_back(*tag);
    };
    if (const char* list = std::getenv("LANGUAGE"); list && *list) {
        std::string_view rest(list);
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            add(rest.substr(0, colon));
            if (colon == std::string_view::npos)
                break;
            rest.remove_prefix(colon + 1);
        }
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(name); value && *value) {
            add(value);
            break;
        }
    }
    return languages;
}

std::string canonicalLocalizationName(std::string_view name)
{
    for (const LegacyName& legacy : kLegacyNames) {
        if (legacy.name == name)
            return std::string(legacy.code);
    }
    std::string out(name);
    std::replace(out.begin(), out.end(), '_', '-');
    return out;
}

void setPreferredLanguagesOverride(std::optional<std::vector<std::string>> languages)
{
    std::lock_guard lock(overrideMutex());
    languagesOverride() = std::move(languages);
}

}  // namespace platform
