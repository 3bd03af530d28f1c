#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scripthelper {

/// The folders where modules may live: an administrator's setting, one absolute path per line of
/// /etc/plugsweep/module-folders ("#" starts a comment, blank lines are ignored), read by
/// ScriptHelper and by the window alike. Without the file the folders the build names apply,
/// resolved under the machine root; the setting's folders are taken as written.
class ModuleFolders {
public:
    /// The setting's fixed path, before it is resolved under the machine root.
    static constexpr const char* kSettingPath = "/etc/plugsweep/module-folders";

    /// The folders, or none with *error set when the file exists but may not be trusted (see
    /// TrustedFile) or does not parse.
    static std::optional<std::vector<std::string>> load(std::string* error);

    /// The folders a setting's text names, or none with *error set for a line that is not an
    /// absolute path free of "." and "..", or a text that names none.
    static std::optional<std::vector<std::string>> parse(std::string_view text, std::string* error);

    /// Where the setting is read from: /etc/plugsweep/module-folders (under the machine root only in
    /// test runs that set one).
    static std::string settingFile();
};

}  // namespace scripthelper
