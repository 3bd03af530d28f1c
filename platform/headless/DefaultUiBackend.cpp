#include "platform/appkit/UiBackend.h"
#include "platform/headless/HeadlessUi.h"

namespace platform {

std::unique_ptr<UiBackend> createDefaultUiBackend(int& argc, char** argv)
{
    (void)argc;
    (void)argv;
    return std::make_unique<headless::HeadlessUi>();
}

std::optional<std::string> defaultUiBackendUnavailable()
{
    return std::nullopt;
}

}  // namespace platform
