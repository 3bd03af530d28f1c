#include "platform/appkit/Alert.h"

#include "platform/appkit/UiBackend.h"

namespace platform {

NSInteger NSRunCriticalAlertPanel(const std::string& title, const std::string& message,
                                  const std::string& defaultButton)
{
    return uiBackend().runAlert(AlertKind::Critical, title, message, defaultButton);
}

NSInteger NSRunInformationalAlertPanel(const std::string& title, const std::string& message,
                                       const std::string& defaultButton)
{
    return uiBackend().runAlert(AlertKind::Informational, title, message, defaultButton);
}

}  // namespace platform
