#pragma once

#include "platform/foundation/PlistValue.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

/// A bundle folder: Contents/Info.plist (application and plug-in layout), Resources/Info.plist
/// or Versions/Current/Resources/Info.plist (framework layout), or a flat folder whose resources
/// lie in the folder itself.
class Bundle : public std::enable_shared_from_this<Bundle> {
public:
    /// A bundle for any existing folder, or null. The same path gives the same object.
    static std::shared_ptr<Bundle> bundleWithPath(const std::string& path);

    /// The bundle of the running program: X.app when the executable is X.app/Contents/MacOS/x,
    /// else the executable's folder as a flat bundle.
    static std::shared_ptr<Bundle> mainBundle();

    /// The main bundle and every bundle whose code was loaded since, in loading order.
    static std::vector<std::shared_ptr<Bundle>> allBundles();

    /// The loaded bundle whose executable holds the given address, or null.
    static std::shared_ptr<Bundle> bundleForAddress(const void* address);

    /// Makes mainBundle() answer the given bundle (for tests and hosts); null restores the default.
    static void setMainBundleOverride(std::shared_ptr<Bundle> bundle);

    const std::string& bundlePath() const { return m_path; }
    /// CFBundleIdentifier, or none.
    std::optional<std::string> bundleIdentifier() const;
    /// The information property list; empty when there is none.
    const PlistDictionary& infoDictionary() const { return m_info; }
    /// A value of the information property list, or null.
    const PlistValue* objectForInfoDictionaryKey(const std::string& key) const;

    /// The folder of the resources: Contents/Resources, Resources, or the bundle folder.
    std::string resourcePath() const;
    /// Contents/MacOS/<CFBundleExecutable>, or none without CFBundleExecutable.
    std::optional<std::string> executablePath() const;

    /// The localizations the bundle holds (names of its .lproj folders, without ".lproj").
    std::vector<std::string> localizations() const;
    /// CFBundleDevelopmentRegion, default "en".
    std::string developmentLocalization() const;
    /// The bundle's localizations in the order the user's preferred languages ask for them,
    /// followed by the development region.
    std::vector<std::string> preferredLocalizations() const;

    /// A resource named name.type ("name" alone when type is empty): non-localized first, then
    /// each preferred localization, then the development region.
    std::optional<std::string> pathForResource(const std::string& name, const std::string& type) const;
    /// A resource in one named localization (name of the .lproj folder) and optional subfolder.
    std::optional<std::string> pathForResource(const std::string& name, const std::string& type,
                                               const std::string& inDirectory,
                                               const std::string& forLocalization) const;

    /// The standard lookup: table (default "Localizable") in each preferred localization, then
    /// the non-localized one; value when given and not empty, else the key, when no table has it.
    std::string localizedStringForKey(const std::string& key, const std::string& value = std::string(),
                                      const std::string& table = std::string()) const;

    /// Loads the executable (dlopen) and adds the bundle to allBundles(); true when loaded.
    /// A bundle made with the constructor rather than bundleWithPath() is added only when it is
    /// owned by a shared_ptr.
    bool load();
    bool isLoaded() const { return m_handle != nullptr; }
    /// The address of an exported symbol of the loaded executable, or null.
    void* symbol(const std::string& name) const;

    /// A bundle for the folder path with the given information property list; the folder's
    /// layout (Contents, framework or flat) is taken from what lies in it.
    Bundle(std::string path, PlistDictionary info);
    ~Bundle();
    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;

private:
    struct CachedTable;

    const CachedTable* tableAt(const std::string& path) const;
    std::optional<std::string> findResource(const std::string& folder, const std::string& file) const;

    std::string m_path;
    PlistDictionary m_info;
    std::string m_resourcePath;
    std::string m_executableFolder;
    std::atomic<void*> m_handle{nullptr};
    mutable std::mutex m_mutex;
    mutable std::vector<std::unique_ptr<CachedTable>> m_tables;
};

/// Adds a bundle to allBundles() without loading code (hosts that link a pane statically, tests).
void registerLoadedBundle(const std::shared_ptr<Bundle>& bundle);
/// Removes every bundle but the main one from allBundles() (for tests).
void resetLoadedBundles();

}  // namespace platform
