#include "support/ShownTexts.h"

#include "platform/foundation/StringsTable.h"

#include <sstream>

namespace testsupport {

namespace {

// The quoted texts of one line, from the first quote on.
void appendQuoted(const std::string& line, std::vector<std::string>& texts)
{
    std::size_t i = line.find('"');
    while (i != std::string::npos && i < line.size()) {
        std::string text;
        std::size_t j = i + 1;
        for (; j < line.size() && line[j] != '"'; ++j) {
            if (line[j] == '\\' && j + 1 < line.size()) {
                ++j;
                text += line[j] == 'n' ? '\n' : line[j] == 't' ? '\t' : line[j];
            } else {
                text += line[j];
            }
        }
        if (j >= line.size())
            return;
        texts.push_back(text);
        i = line.find('"', j + 1);
    }
}

platform::StringsTable tableOf(const std::string& folder, const std::string& localization)
{
    return platform::readStringsTableFile(folder + "/" + localization + ".lproj/Localizable.strings")
        .value_or(platform::StringsTable());
}

}  // namespace

std::vector<std::string> shownTexts(const std::string& scriptOutput)
{
    std::vector<std::string> texts;
    std::istringstream in(scriptOutput);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("show:", 0) == 0) {
            if (line.find(" hidden=1") == std::string::npos)
                appendQuoted(line, texts);
        } else if (line.rfind("pane: ", 0) == 0) {
            texts.push_back(line.substr(6));
        } else if (line.rfind("alert:", 0) == 0) {
            appendQuoted(line, texts);
        }
    }
    return texts;
}

std::set<std::string> englishTextsTranslatedIn(const std::vector<std::string>& resourceFolders,
                                               const std::string& localization)
{
    std::set<std::string> texts;
    for (const std::string& folder : resourceFolders) {
        const platform::StringsTable english = tableOf(folder, "English");
        const platform::StringsTable local = tableOf(folder, localization);
        for (const auto& [key, text] : english) {
            const auto found = local.find(key);
            if (found == local.end() || found->second != text)
                texts.insert(text);
        }
    }
    return texts;
}

std::set<std::string> localizedTexts(const std::vector<std::string>& resourceFolders, const std::string& localization)
{
    std::set<std::string> texts;
    for (const std::string& folder : resourceFolders) {
        for (const auto& entry : tableOf(folder, localization))
            texts.insert(entry.second);
    }
    return texts;
}

const std::vector<Language>& shippedLanguages()
{
    static const std::vector<Language> languages = {
        {"English", "en"}, {"German", "de"}, {"French", "fr"}, {"Italian", "it"},
        {"Spanish", "es"}, {"Japanese", "ja"}, {"ko", "ko"},   {"zh_CN", "zh_CN"},
    };
    return languages;
}

}  // namespace testsupport
