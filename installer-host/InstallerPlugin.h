#pragma once

#include "platform/foundation/PlistValue.h"

#include <memory>
#include <string>

namespace platform {
class Bundle;
class InstallerPane;
class InstallerSection;
}  // namespace platform

namespace installerhost {

/// One plug-in bundle loaded as a section of the installation, with the pane that its entry
/// point created for that section. The pane goes before the section it was made for.
class InstallerPlugin {
public:
    /// Loads the bundle's code (so that it joins the loaded bundles), looks up the pane entry
    /// point and creates the pane for a new section that shares sharedDictionary. Null with a
    /// one-line reason in error when the folder is no bundle, its code does not load, it exports
    /// no entry point, or the entry point creates no pane.
    static std::unique_ptr<InstallerPlugin> load(const std::string& bundlePath,
                                                 std::shared_ptr<platform::PlistDictionary> sharedDictionary,
                                                 std::string& error);

    ~InstallerPlugin();
    InstallerPlugin(const InstallerPlugin&) = delete;
    InstallerPlugin& operator=(const InstallerPlugin&) = delete;

    const std::shared_ptr<platform::Bundle>& bundle() const { return m_bundle; }
    platform::InstallerSection& section() const { return *m_section; }
    platform::InstallerPane* pane() const { return m_pane.get(); }

private:
    InstallerPlugin() = default;

    std::shared_ptr<platform::Bundle> m_bundle;
    std::unique_ptr<platform::InstallerSection> m_section;
    std::unique_ptr<platform::InstallerPane> m_pane;
};

}  // namespace installerhost
