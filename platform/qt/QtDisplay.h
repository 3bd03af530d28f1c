#pragma once

#include <map>
#include <optional>
#include <string>

namespace platform::qt {

/// Whether Qt will find a display to draw on. Qt ends the process (abort) when its platform
/// plug-in cannot connect, so programs ask here before they create the application.
class QtDisplay {
public:
    /// Why no display can be used, from this process's environment; none when one can.
    static std::optional<std::string> missingDisplay();

    /// The same for the given values of QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY (absent
    /// keys are unset); an X display named ":N" must accept a connection on its local socket, and a
    /// Wayland display needs the toolkit's Wayland plug-in.
    static std::optional<std::string> missingDisplay(const std::map<std::string, std::string>& environment,
                                                     bool waylandInstalled = true);

    /// The platform plug-in to ask the toolkit for, where its own choice would fail: "xcb" when a
    /// Wayland session has no Wayland plug-in installed but an X display (XWayland) answers; none
    /// when the toolkit's choice works or nothing would.
    static std::optional<std::string> platformToUse(const std::map<std::string, std::string>& environment,
                                                    bool waylandInstalled);

    /// Sets QT_QPA_PLATFORM to platformToUse() for this process; call before the application exists.
    static void choosePlatform();

    /// Whether the toolkit's Wayland platform plug-in is installed.
    static bool waylandPluginInstalled();
};

}  // namespace platform::qt
