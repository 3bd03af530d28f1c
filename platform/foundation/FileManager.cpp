#include "platform/foundation/FileManager.h"

#include <sys/stat.h>

namespace platform {

bool fileExistsAtPath(const std::string& path, bool* isDirectory)
{
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return false;
    if (isDirectory)
        *isDirectory = S_ISDIR(info.st_mode);
    return true;
}

}  // namespace platform
