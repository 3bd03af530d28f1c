#include "platform/foundation/TestSeams.h"

#include <cstdlib>

namespace platform {

std::optional<std::string> testSeamFromEnvironment(const char* name)
{
#if PLATFORM_TEST_SEAMS
    if (const char* value = std::getenv(name); value != nullptr && *value != '\0')
        return std::string(value);
#else
    (void)name;
#endif
    return std::nullopt;
}

}  // namespace platform
