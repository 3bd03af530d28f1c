#include "platform/foundation/TestSeams.h"

#include <cstdlib>

namespace platform {

bool testSeamsEnabled()
{
#if PLATFORM_TEST_SEAMS
    return true;
#else
    return false;
#endif
}

std::optional<std::string> testSeam([[maybe_unused]] const char* name)
{
#if PLATFORM_TEST_SEAMS
    if (const char* value = std::getenv(name); value != nullptr && *value != '\0')
        return std::string(value);
#endif
    return std::nullopt;
}

}  // namespace platform
