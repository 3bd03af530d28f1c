#include "platform/foundation/SearchPaths.h"

#include "platform/foundation/Path.h"
#include "platform/foundation/TestSeams.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#ifndef PLATFORM_SYSTEM_ROOT
#define PLATFORM_SYSTEM_ROOT "/"
#endif

namespace platform {

std::string NSHomeDirectory()
{
    if (const auto home = testSeam("HOME"))
        return *home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/')
        return entry->pw_dir;
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    return "/";
}

std::string callerHomeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    return NSHomeDirectory();
}

std::string userLibraryDirectory()
{
    return stringByAppendingPathComponent(NSHomeDirectory(), "Library");
}

std::string preferencesDirectory()
{
    return stringByAppendingPathComponent(userLibraryDirectory(), "Preferences");
}

std::string platformRoot()
{
    return testSeam("PLATFORM_ROOT").value_or(PLATFORM_SYSTEM_ROOT);
}

std::string resolveSystemPath(std::string_view absolutePath)
{
    const std::string root = platformRoot();
    if (root == "/")
        return std::string(absolutePath);
    return stringByAppendingPathComponent(root, absolutePath);
}

}  // namespace platform
