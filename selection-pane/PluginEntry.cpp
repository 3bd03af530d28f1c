// The plug-in's one exported symbol: the installer host looks it up by the name
// kInstallerPaneFactorySymbol and calls it once per section.

#include "selection-pane/InstallerPluginPane_LayoutPlugin.h"

#include "platform/installer/InstallerPane.h"

#include <exception>
#include <type_traits>

extern "C" __attribute__((visibility("default"))) platform::InstallerPane* InstallerPluginCreatePane(
    platform::InstallerSection* section)
{
    try {
        auto* pane = new oxlade::InstallerPluginPane_LayoutPlugin();
        pane->initWithSection(section);
        return pane;
    } catch (const std::exception&) {
        return nullptr;
    }
}

// The entry point must keep the signature the host expects.
static_assert(std::is_same_v<decltype(&InstallerPluginCreatePane), platform::InstallerPaneFactory>);
