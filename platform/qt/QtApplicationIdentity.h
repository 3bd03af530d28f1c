#pragma once

#include <QIcon>
#include <QString>

namespace platform {
class Bundle;
}

namespace platform::qt {

/// Tells the toolkit and the desktop which application a window belongs to, from the main bundle's
/// Info.plist: the name shown (CFBundleName), the window class that a desktop entry's StartupWMClass
/// names (CFBundleExecutable), the desktop entry itself (CFBundleIdentifier, Wayland's app id) and
/// the window icon, the theme's icon of that identifier as the installed package provides it.
class QtApplicationIdentity {
public:
    /// Applies the bundle's identity to the running QApplication.
    static void apply(const Bundle& bundle);

    /// The icon named identifier in the icon theme, else the bundle's CFBundleIconFile resource;
    /// null when neither exists.
    static QIcon iconFor(const Bundle& bundle);
};

}  // namespace platform::qt
