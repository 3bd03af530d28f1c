#include "platform/appkit/UiBackend.h"
#include "platform/qt/QtDisplay.h"
#include "platform/qt/QtUi.h"

namespace platform {

std::unique_ptr<UiBackend> createDefaultUiBackend(int& argc, char** argv)
{
    qt::QtDisplay::choosePlatform();
    return std::make_unique<qt::QtUi>(argc, argv);
}

std::optional<std::string> defaultUiBackendUnavailable()
{
    return qt::QtDisplay::missingDisplay();
}

}  // namespace platform
