#include "platform/qt/QtApplicationIdentity.h"

#include "platform/foundation/Bundle.h"

#include <QApplication>
#include <QStandardPaths>

namespace platform::qt {

namespace {

QString infoString(const Bundle& bundle, const char* key)
{
    const std::string* value = bundle.infoDictionary().stringForKey(key);
    return value ? QString::fromStdString(*value) : QString();
}

}  // namespace

void QtApplicationIdentity::apply(const Bundle& bundle)
{
    if (const QString name = infoString(bundle, "CFBundleName"); !name.isEmpty()) {
        QApplication::setApplicationDisplayName(name);
    }
    // The X window class is the application name: the same whether the program was started
    // through a link named otherwise or from the build tree.
    if (const QString executable = infoString(bundle, "CFBundleExecutable"); !executable.isEmpty()) {
        QApplication::setApplicationName(executable);
    }
    if (const QString identifier = infoString(bundle, "CFBundleIdentifier"); !identifier.isEmpty()) {
        QGuiApplication::setDesktopFileName(identifier);
    }
    if (const QIcon icon = iconFor(bundle); !icon.isNull()) {
        QApplication::setWindowIcon(icon);
    }
}

QIcon QtApplicationIdentity::iconFor(const Bundle& bundle)
{
    const QString identifier = infoString(bundle, "CFBundleIdentifier");
    if (!identifier.isEmpty()) {
        if (QIcon themed = QIcon::fromTheme(identifier); !themed.isNull()) {
            return themed;
        }
        // Without a desktop's icon theme, the installed hicolor icons all the same.
        QIcon installed;
        for (const char* size : {"128x128", "256x256", "64x64", "48x48"}) {
            const QString path = QStandardPaths::locate(
                QStandardPaths::GenericDataLocation,
                QStringLiteral("icons/hicolor/%1/apps/%2.png").arg(QLatin1String(size), identifier));
            if (!path.isEmpty()) {
                installed.addFile(path);
            }
        }
        if (!installed.isNull()) {
            return installed;
        }
    }
    if (const QString iconFile = infoString(bundle, "CFBundleIconFile"); !iconFile.isEmpty()) {
        const std::string base = iconFile.toStdString();
        const auto dot = base.rfind('.');
        const std::optional<std::string> path = dot == std::string::npos
                                                    ? bundle.pathForResource(base, "png")
                                                    : bundle.pathForResource(base.substr(0, dot), base.substr(dot + 1));
        if (path) {
            return QIcon(QString::fromStdString(*path));
        }
    }
    return QIcon();
}

}  // namespace platform::qt
