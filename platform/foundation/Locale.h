#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// The user's languages, most preferred first, as platform tags ("de-DE", "zh-Hans"), from
/// LANGUAGE (a ":" list), then the first of LC_ALL, LC_MESSAGES, LANG that is set.
std::vector<std::string> preferredLanguages();

/// Turns a POSIX locale name into a platform tag: "de_DE.UTF-8" is "de-DE", "zh_CN" is
/// "zh-Hans", "zh_TW" is "zh-Hant"; "C", "POSIX" and "" are none.
std::optional<std::string> languageTagFromPosixLocale(std::string_view locale);

/// The language code of a legacy localization folder name ("German" is "de", "zh_CN" is
/// "zh-Hans"); other names are answered unchanged with "_" turned into "-".
std::string canonicalLocalizationName(std::string_view name);

/// Makes preferredLanguages() answer the given list until reset with none (for tests).
void setPreferredLanguagesOverride(std::optional<std::vector<std::string>> languages);

}  // namespace platform
