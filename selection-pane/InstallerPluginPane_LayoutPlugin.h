#pragma once

#include "selection-pane/APPViewDelegate.h"
#include "selection-pane/LayoutPluginBundleLookup.h"

#include "platform/installer/InstallerPane.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class Interface;
}

namespace oxlade {

class APPViewControl_LayoutPlugin;

/// The plug-in's one installer pane: it drives the checklist through the pane's lifecycle,
/// makes leaving forward depend on writing the install plan, passes the Continue-button state
/// on to the installer, and publishes the selection in the section's shared dictionary.
class InstallerPluginPane_LayoutPlugin : public platform::InstallerPane,
                                         public APPViewDelegate,
                                         public LayoutPluginBundleLookup {
public:
    InstallerPluginPane_LayoutPlugin();
    ~InstallerPluginPane_LayoutPlugin() override;
    InstallerPluginPane_LayoutPlugin(const InstallerPluginPane_LayoutPlugin&) = delete;
    InstallerPluginPane_LayoutPlugin& operator=(const InstallerPluginPane_LayoutPlugin&) = delete;

    /// The localized "Title".
    std::string title() override;
    /// Restores the previous selection into the checklist; loads the view first when it has not
    /// been loaded yet.
    void didEnterPane(int direction) override;
    /// Forward (0) writes the install plan and answers whether that worked; any other direction
    /// answers true. The selection is published either way.
    bool shouldExitPane(int direction) override;
    /// Drops the checklist's rows.
    void didExitPane(int direction) override;
    bool gotoNextPane() override;
    bool gotoPreviousPane() override;
    /// Loads the interface description "InstallerPane.ui" of the plug-in's bundle through the UI
    /// backend, creates the view controller and connects it; the backend's root widget, or null
    /// when nothing could be loaded.
    void* contentView() override;

    /// Passes the state on to the installer's Continue button.
    void setNextButtonState(bool enabled) override;

    /// The selection stored under "selectionAPPKey" in the section's shared dictionary (its
    /// string elements); none without a section or without an array there.
    std::optional<std::vector<std::string>> getSharedDictionary() const;
    /// Publishes "selectionAPPKey" and "LayoutPluginInstall" in one merge into the section's
    /// shared dictionary; nothing without a section or a view controller.
    void setSharedDictionary();

    /// The view controller showing the checklist, or null before the view is loaded.
    APPViewControl_LayoutPlugin* appViewController() const { return m_appViewCtl; }
    /// Connects a view controller that someone else loaded and keeps alive, as the interface
    /// description does; for hosts and tests that supply their own view.
    void connectAppViewController(APPViewControl_LayoutPlugin* controller) { m_appViewCtl = controller; }

private:
    /// The path of the interface description among the plug-in's bundles, or none.
    std::optional<std::string> interfacePath() const;

    APPViewControl_LayoutPlugin* m_appViewCtl = nullptr;

    // What loading the view created; the controller is destroyed after the interface whose table
    // refers to it.
    std::unique_ptr<APPViewControl_LayoutPlugin> m_loadedController;
    std::unique_ptr<platform::Interface> m_loadedInterface;
};

}  // namespace oxlade
