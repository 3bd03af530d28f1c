#pragma once

#include <set>
#include <string>
#include <vector>

namespace testsupport {

/// The texts that a UI script's output says the user sees: every quoted text of a "show:" line
/// of a control that is not hidden, the rest of each "pane:" line, and the quoted texts of
/// "alert:" lines; escapes undone.
std::vector<std::string> shownTexts(const std::string& scriptOutput);

/// The English texts of the strings tables in resourceFolders (each holding English.lproj and
/// the named localization's folder) that the localization's table words differently. A text
/// that both tables give alike (a brand name, "OK") is not among them.
std::set<std::string> englishTextsTranslatedIn(const std::vector<std::string>& resourceFolders,
                                               const std::string& localization);

/// The texts of the localization's tables in resourceFolders, for checks that a screen shows them.
std::set<std::string> localizedTexts(const std::vector<std::string>& resourceFolders, const std::string& localization);

/// The localization folders of the languages both deliverables ship, each with the language
/// tag a user sets in LANGUAGE.
struct Language {
    std::string localization;
    std::string tag;
};
const std::vector<Language>& shippedLanguages();

}  // namespace testsupport
