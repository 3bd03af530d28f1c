#include "UnInstaller/resources/ScriptHelper/CrashPoint.h"

#include "platform/foundation/TestSeams.h"

#include <csignal>
#include <cstdlib>

namespace scripthelper {

void crashPoint()
{
#if PLATFORM_TEST_SEAMS
    static long countdown = [] {
        const auto value = platform::testSeam("PLATFORM_CRASH_AFTER");
        return value ? std::strtol(value->c_str(), nullptr, 10) : 0L;
    }();
    if (countdown > 0 && --countdown == 0)
        std::raise(SIGKILL);
#endif
}

}  // namespace scripthelper
