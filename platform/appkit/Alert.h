#pragma once

#include "platform/foundation/Types.h"

#include <string>

namespace platform {

/// Shows an application-modal critical alert with only a default button; returns when dismissed.
NSInteger NSRunCriticalAlertPanel(const std::string& title, const std::string& message,
                                  const std::string& defaultButton);

/// Shows an application-modal informational alert with only a default button.
NSInteger NSRunInformationalAlertPanel(const std::string& title, const std::string& message,
                                       const std::string& defaultButton);

}  // namespace platform
