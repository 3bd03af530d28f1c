#pragma once

#include "UnInstaller/resources/ScriptHelper/Receipt.h"
#include "UnInstaller/resources/ScriptHelper/TrustedFile.h"

#include "platform/foundation/PlistValue.h"
#include "platform/foundation/PropertyList.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scripthelper {

/// The machine-wide module registry ("KEP2_KEY_MODULES": module identifier to a dictionary with
/// "ModuleName" and "InstallPath"), read only when it can be trusted and rewritten whole in the
/// form it was read in.
class ModuleRegistry {
public:
    struct Module {
        std::string uuid;
        /// None when the entry is not a dictionary or its "InstallPath" is not a string.
        std::optional<std::string> installPath;
        /// None when the entry is not a dictionary or its "ModuleName" is not a string.
        std::optional<std::string> name;
    };

    /// Reads the registry at path when TrustedFile trusts it; none with *error set otherwise.
    static std::optional<ModuleRegistry> load(const std::string& path, std::string* error);

    /// As load(), but a registry file that does not exist yet reads as an empty registry that
    /// save() creates, owned by the effective user.
    static std::optional<ModuleRegistry> loadOrCreate(const std::string& path, std::string* error);

    /// Reads a registry from the bytes of a property list of either form, trusting them as they
    /// are; none with *error set unless its root is a dictionary holding a "KEP2_KEY_MODULES"
    /// dictionary. A registry read this way has no file to save to.
    static std::optional<ModuleRegistry> fromBytes(std::string_view bytes, std::string* error);

    /// The modules in the registry's order.
    std::vector<Module> modules() const;
    /// Calls visit with each module's identifier and install path (null when the entry has none),
    /// in the registry's order, copying nothing.
    void forEachInstallPath(const std::function<void(const std::string& uuid, const std::string* installPath)>& visit) const;
    bool contains(const std::string& uuid) const;
    std::optional<std::string> installPath(const std::string& uuid) const;
    std::optional<std::string> moduleName(const std::string& uuid) const;

    /// Drops a module's entry; the file changes only with save().
    void removeModule(const std::string& uuid);
    /// Drops the modules of these identifiers in one pass, whatever their number; answers how
    /// many were listed. The file changes only with save().
    std::size_t removeModules(const std::vector<std::string>& uuids);
    std::size_t moduleCount() const;

    /// The receipt the install step recorded for the module; none for a module registered without
    /// one (by other software) or with one that does not read whole.
    std::optional<Receipt> receipt(const std::string& uuid) const;
    /// Adds or replaces the module's entry: name, install path and receipt (with its token). The
    /// file changes only with save().
    void setModule(const std::string& uuid, const std::string& name, const std::string& installPath,
                   const Receipt& receipt);

    /// Rewrites the registry whole, through a temporary file and a rename, in the form it was
    /// read in and with its owner and mode; false with *error set on failure.
    bool save(std::string* error) const;

    platform::PlistFormat format() const { return m_format; }

private:
    ModuleRegistry() = default;
    static std::optional<ModuleRegistry> fromContents(const std::string& path, const TrustedFile::Contents& contents,
                                                      std::string* error);
    const platform::PlistDictionary* moduleDictionary() const;

    std::string m_path;
    platform::PlistValue m_root;
    platform::PlistFormat m_format = platform::PlistFormat::Xml;
    unsigned long m_owner = 0;
    unsigned long m_group = 0;
};

}  // namespace scripthelper
