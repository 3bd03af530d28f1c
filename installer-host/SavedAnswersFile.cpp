#include "installer-host/SavedAnswersFile.h"

#include "platform/foundation/FileManager.h"
#include "platform/foundation/PropertyList.h"

namespace installerhost {

std::optional<platform::PlistDictionary> SavedAnswersFile::read(std::string& error) const
{
    bool isDirectory = false;
    if (!platform::fileExistsAtPath(m_path, &isDirectory))
        return platform::PlistDictionary();
    if (isDirectory) {
        error = m_path + ": is a folder, not a saved-answers file";
        return std::nullopt;
    }
    std::optional<platform::PlistDictionary> dictionary = platform::dictionaryWithContentsOfFile(m_path);
    if (!dictionary) {
        error = m_path + ": not a property list with a dictionary at its root";
        return std::nullopt;
    }
    return dictionary;
}

bool SavedAnswersFile::write(const platform::PlistDictionary& dictionary, std::string& error) const
{
    if (!platform::writeToFile(platform::PlistValue(dictionary), m_path, true)) {
        error = m_path + ": cannot write the shared dictionary";
        return false;
    }
    return true;
}

}  // namespace installerhost
