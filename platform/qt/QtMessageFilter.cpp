#include "platform/qt/QtMessageFilter.h"

#include <QStringList>

namespace platform::qt {

namespace {

QtMessageHandler g_previous = nullptr;

void filtered(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (QtMessageFilter::isNoise(type, message)) {
        return;
    }
    if (g_previous) {
        g_previous(type, context, message);
    }
}

}  // namespace

void QtMessageFilter::install()
{
    static const bool installed = [] {
        g_previous = qInstallMessageHandler(&filtered);
        return true;
    }();
    (void)installed;
}

bool QtMessageFilter::isNoise(QtMsgType type, const QString& message)
{
    if (type != QtWarningMsg && type != QtDebugMsg && type != QtInfoMsg) {
        return false;
    }
    static const QStringList prefixes = {
        QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set"),
        QStringLiteral("QStandardPaths: runtime directory"),
        QStringLiteral("This plugin does not support "),
    };
    for (const QString& prefix : prefixes) {
        if (message.startsWith(prefix)) {
            return true;
        }
    }
    return false;
}

}  // namespace platform::qt
