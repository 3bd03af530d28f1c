#include "platform/foundation/FileManager.h"

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::optional<std::string> contentsOfRegularFile(const std::string& path, std::size_t maxBytes)
{
    if (path.empty())
        return std::nullopt;
    // O_NONBLOCK keeps a FIFO planted at the path from stalling the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0
        || static_cast<unsigned long long>(info.st_size) > maxBytes) {
        ::close(fd);
        return std::nullopt;
    }
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    char overflow = 0;
    for (;;) {
        char* target = filled < bytes.size() ? bytes.data() + filled : &overflow;
        const std::size_t room = filled < bytes.size() ? bytes.size() - filled : 1;
        const ssize_t got = ::read(fd, target, room);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        if (target == &overflow) {
            // The file grew after fstat; refuse rather than read an unbounded amount.
            ::close(fd);
            return std::nullopt;
        }
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    bytes.resize(filled);
    return bytes;
}

}  // namespace platform

namespace platform {

bool createDirectoryAtPath(const std::string& path)
{
    bool isDirectory = false;
    if (fileExistsAtPath(path, &isDirectory))
        return isDirectory;
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return fileExistsAtPath(path, &isDirectory) && isDirectory;
}

}  // namespace platform
