#pragma once

#include "platform/foundation/PropertyList.h"

#include <optional>
#include <string>

namespace installerhost {

/// A saved-answers file: the shared dictionary of an installation kept as a property list, read
/// to seed a run and written back at its end, so that a run can be repeated unattended. A file
/// read in the binary form is written back in it; a new one is written as XML.
class SavedAnswersFile {
public:
    explicit SavedAnswersFile(std::string path) : m_path(std::move(path)) {}

    const std::string& path() const { return m_path; }

    /// The dictionary the file holds; an empty one when nothing exists at the path. None with a
    /// one-line reason when something exists there that is not a property list with a
    /// dictionary at its root (the reason says so when the file is too large), so that the run
    /// neither starts from nothing nor overwrites it. Remembers the file's form for write().
    std::optional<platform::PlistDictionary> read(std::string& error) const;

    /// Writes the dictionary atomically, replacing the file, in the form it was read in; false
    /// with a one-line reason, and the file unchanged, when the result would not read again.
    bool write(const platform::PlistDictionary& dictionary, std::string& error) const;

private:
    std::string m_path;
    mutable platform::PlistFormat m_format = platform::PlistFormat::Xml;
};

}  // namespace installerhost
