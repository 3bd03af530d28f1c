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
    platform::PlistFormat format = platform::PlistFormat::Xml;
    platform::PlistReadFailure failure = platform::PlistReadFailure::None;
    std::optional<platform::PlistValue> root = platform::readPropertyListFile(m_path, &format, &failure);
    platform::PlistDictionary* dictionary = root ? root->asDictionary() : nullptr;
    if (!dictionary) {
        error = m_path
                + (failure == platform::PlistReadFailure::TooLarge
                       ? ": larger than the 64 MiB a saved-answers file may hold"
                       : ": not a property list with a dictionary at its root");
        return std::nullopt;
    }
    m_format = format;
    return std::move(*dictionary);
}

bool SavedAnswersFile::write(const platform::PlistDictionary& dictionary, std::string& error) const
{
    // Written back in the form it came in; the write is refused, and the file left as it was,
    // when the next run could not read it again.
    platform::PlistWriteFailure failure = platform::PlistWriteFailure::None;
    if (!platform::writePropertyListAtomically(platform::PlistValue(dictionary), m_path, m_format, &failure)) {
        if (failure == platform::PlistWriteFailure::TooLarge)
            error = m_path + ": the shared dictionary is larger than the 64 MiB a saved-answers file may hold";
        else if (failure == platform::PlistWriteFailure::Unwritable)
            error = m_path + ": cannot write the shared dictionary";
        else
            error = m_path + ": cannot write the shared dictionary: it is "
                    + std::string(platform::describePlistWriteFailure(failure));
        return false;
    }
    return true;
}

}  // namespace installerhost
