#pragma once

#include <functional>
#include <string>

namespace platform {

class InstallerSection;

/// Direction values of pane entry and exit.
inline constexpr int kInstallerDirectionForward = 0;
inline constexpr int kInstallerDirectionBackward = 1;

/// Base of a pane that the installer host shows; plug-ins override the lifecycle operations.
class InstallerPane {
public:
    virtual ~InstallerPane() = default;

    /// Base initialisation with the section; answers this pane.
    virtual InstallerPane* initWithSection(InstallerSection* section);
    virtual std::string title() { return std::string(); }
    virtual void didEnterPane(int direction) { (void)direction; }
    virtual bool shouldExitPane(int direction) { (void)direction; return true; }
    virtual void didExitPane(int direction) { (void)direction; }
    virtual bool gotoNextPane() { return true; }
    virtual bool gotoPreviousPane() { return true; }

    /// The pane's view, loaded by the plug-in: the backend's root widget, or null.
    virtual void* contentView() { return nullptr; }

    InstallerSection* section() const { return m_section; }
    /// Enables or disables the host's Continue button.
    void setNextEnabled(bool enabled);
    bool nextEnabled() const { return m_nextEnabled; }
    /// The host's handler for setNextEnabled.
    void setNextEnabledHandler(std::function<void(bool)> handler) { m_nextEnabledHandler = std::move(handler); }

private:
    InstallerSection* m_section = nullptr;
    bool m_nextEnabled = true;
    std::function<void(bool)> m_nextEnabledHandler;
};

/// The exported entry point of a pane plug-in: creates the pane of a section, owned by the caller.
using InstallerPaneFactory = InstallerPane* (*)(InstallerSection* section);
inline constexpr const char* kInstallerPaneFactorySymbol = "InstallerPluginCreatePane";

}  // namespace platform
