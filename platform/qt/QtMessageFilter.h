#pragma once

#include <QString>
#include <QtGlobal>

namespace platform::qt {

/// Keeps the toolkit's notes about its own environment off the terminal: the platform plug-in
/// that cannot raise or resize a window on a virtual screen, the runtime folder it defaults.
/// They tell a user nothing they can act on. Every other message goes on to the handler
/// installed before.
class QtMessageFilter {
public:
    /// Installs the filter once per process.
    static void install();
    /// Whether the message is one of the notes above.
    static bool isNoise(QtMsgType type, const QString& message);
};

}  // namespace platform::qt
