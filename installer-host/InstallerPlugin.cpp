#include "installer-host/InstallerPlugin.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/installer/InstallerPane.h"
#include "platform/installer/InstallerSection.h"

namespace installerhost {

std::unique_ptr<InstallerPlugin> InstallerPlugin::load(const std::string& bundlePath,
                                                       std::shared_ptr<platform::PlistDictionary> sharedDictionary,
                                                       std::string& error)
{
    bool isDirectory = false;
    if (!platform::fileExistsAtPath(bundlePath, &isDirectory) || !isDirectory) {
        error = bundlePath + ": no such bundle folder";
        return nullptr;
    }
    std::shared_ptr<platform::Bundle> bundle = platform::Bundle::bundleWithPath(bundlePath);
    if (!bundle) {
        error = bundlePath + ": not a bundle";
        return nullptr;
    }
    if (!bundle->executablePath()) {
        error = bundlePath + ": the bundle names no executable (CFBundleExecutable)";
        return nullptr;
    }
    if (!bundle->load()) {
        error = bundlePath + ": cannot load " + *bundle->executablePath();
        return nullptr;
    }
    void* entry = bundle->symbol(platform::kInstallerPaneFactorySymbol);
    if (!entry) {
        error = bundlePath + ": the plug-in exports no " + platform::kInstallerPaneFactorySymbol;
        return nullptr;
    }
    auto factory = reinterpret_cast<platform::InstallerPaneFactory>(entry);

    std::unique_ptr<InstallerPlugin> plugin(new InstallerPlugin);
    plugin->m_bundle = bundle;
    plugin->m_section = std::make_unique<platform::InstallerSection>(bundle, std::move(sharedDictionary));
    plugin->m_pane.reset(factory(plugin->m_section.get()));
    if (!plugin->m_pane) {
        error = bundlePath + ": the plug-in created no pane";
        return nullptr;
    }
    return plugin;
}

InstallerPlugin::~InstallerPlugin()
{
    m_pane.reset();
    m_section.reset();
}

}  // namespace installerhost
