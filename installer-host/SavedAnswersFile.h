#pragma once

#include "platform/foundation/PlistValue.h"

#include <optional>
#include <string>

namespace installerhost {

/// A saved-answers file: the shared dictionary of an installation kept as an XML property list,
/// read to seed a run and written back at its end, so that a run can be repeated unattended.
class SavedAnswersFile {
public:
    explicit SavedAnswersFile(std::string path) : m_path(std::move(path)) {}

    const std::string& path() const { return m_path; }

    /// The dictionary the file holds; an empty one when nothing exists at the path. None with a
    /// one-line reason when something exists there that is not a property list with a
    /// dictionary at its root, so that the run neither starts from nothing nor overwrites it.
    std::optional<platform::PlistDictionary> read(std::string& error) const;

    /// Writes the dictionary atomically, replacing the file; false with a one-line reason.
    bool write(const platform::PlistDictionary& dictionary, std::string& error) const;

private:
    std::string m_path;
};

}  // namespace installerhost
