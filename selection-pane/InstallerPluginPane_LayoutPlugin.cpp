#include "selection-pane/InstallerPluginPane_LayoutPlugin.h"

#include "selection-pane/APPViewControl_LayoutPlugin.h"
#include "selection-pane/LayoutPluginKeys.h"

#include "platform/appkit/Interface.h"
#include "platform/appkit/UiBackend.h"
#include "platform/installer/InstallerSection.h"

#include <new>

namespace oxlade {

using platform::PlistArray;
using platform::PlistDictionary;
using platform::PlistValue;

InstallerPluginPane_LayoutPlugin::InstallerPluginPane_LayoutPlugin() = default;

InstallerPluginPane_LayoutPlugin::~InstallerPluginPane_LayoutPlugin()
{
    if (m_appViewCtl && m_appViewCtl->delegate() == this)
        m_appViewCtl->setDelegate(nullptr);
}

std::string InstallerPluginPane_LayoutPlugin::title()
{
    return localizedStringForKey(getBundleArray(), std::string(kTitleKey));
}

void InstallerPluginPane_LayoutPlugin::didEnterPane(int)
{
    if (!m_appViewCtl)
        contentView();
    const std::optional<std::vector<std::string>> previousSelection = getSharedDictionary();
    if (!m_appViewCtl)
        return;
    m_appViewCtl->setDelegate(this);
    m_appViewCtl->initUI(previousSelection);
}

bool InstallerPluginPane_LayoutPlugin::shouldExitPane(int direction)
{
    bool result = true;
    if (direction == platform::kInstallerDirectionForward)
        result = m_appViewCtl && m_appViewCtl->saveInstallPlist();
    setSharedDictionary();
    return result;
}

void InstallerPluginPane_LayoutPlugin::didExitPane(int)
{
    if (m_appViewCtl)
        m_appViewCtl->terminateUI();
}

bool InstallerPluginPane_LayoutPlugin::gotoNextPane()
{
    return true;
}

bool InstallerPluginPane_LayoutPlugin::gotoPreviousPane()
{
    return true;
}

void InstallerPluginPane_LayoutPlugin::setNextButtonState(bool enabled)
{
    setNextEnabled(enabled);
}

std::optional<std::vector<std::string>> InstallerPluginPane_LayoutPlugin::getSharedDictionary() const
{
    platform::InstallerSection* installerSection = section();
    if (!installerSection)
        return std::nullopt;
    const PlistArray* stored = installerSection->sharedDictionary().arrayForKey(kSelectionAppKey);
    if (!stored)
        return std::nullopt;
    std::vector<std::string> selection;
    for (const PlistValue& value : *stored) {
        if (const std::string* name = value.asString())
            selection.push_back(*name);
    }
    return selection;
}

void InstallerPluginPane_LayoutPlugin::setSharedDictionary()
{
    platform::InstallerSection* installerSection = section();
    if (!installerSection || !m_appViewCtl)
        return;

    PlistDictionary update;
    try {
        PlistArray selection;
        const auto& checks = m_appViewCtl->arrayCheck();
        const auto& apps = m_appViewCtl->appArray();
        for (std::size_t i = 0; checks && i < checks->size(); ++i) {
            if ((*checks)[i] != kCheckOn || !apps || i >= apps->size())
                continue;
            const PlistDictionary* entry = (*apps)[i].asDictionary();
            if (!entry)
                continue;
            if (const std::string* name = entry->stringForKey(kAppNameKey))
                selection.push_back(*name);
        }
        update.set(kSelectionAppKey, std::move(selection));
        update.set(kLayoutPluginInstallKey, m_appViewCtl->layoutInstallCheck() == 1 ? kYes : kNo);
    } catch (const std::bad_alloc&) {
        return;
    }
    installerSection->sharedDictionary().addEntriesFromDictionary(update);
}

std::optional<std::string> InstallerPluginPane_LayoutPlugin::interfacePath() const
{
    if (const std::shared_ptr<platform::Bundle> own = codeBundle()) {
        if (auto path = own->pathForResource(kInterfaceName, kInterfaceType))
            return path;
    }
    if (const std::optional<BundleList> bundles = getBundleArray()) {
        for (const auto& bundle : *bundles) {
            if (!bundle)
                continue;
            if (auto path = bundle->pathForResource(kInterfaceName, kInterfaceType))
                return path;
        }
    }
    return std::nullopt;
}

void* InstallerPluginPane_LayoutPlugin::contentView()
{
    if (m_loadedInterface)
        return m_loadedInterface->nativeView();
    if (!platform::hasUiBackend())
        return nullptr;
    const std::optional<std::string> path = interfacePath();
    if (!path)
        return nullptr;
    std::unique_ptr<platform::Interface> interface = platform::uiBackend().loadInterface(*path);
    if (!interface)
        return nullptr;

    auto controller = std::make_unique<APPViewControl_LayoutPlugin>();
    platform::connectInterface(*interface, *controller);
    m_loadedController = std::move(controller);
    m_loadedInterface = std::move(interface);
    m_appViewCtl = m_loadedController.get();
    return m_loadedInterface->nativeView();
}

}  // namespace oxlade
