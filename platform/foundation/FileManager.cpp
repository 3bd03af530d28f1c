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

int openRegularFile(const std::string& path, std::size_t maxBytes, std::size_t* size)
{
    if (path.empty())
        return -1;
    // O_NONBLOCK keeps a FIFO planted at the path from stalling the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0
        || static_cast<unsigned long long>(info.st_size) > maxBytes) {
        ::close(fd);
        return -1;
    }
    *size = static_cast<std::size_t>(info.st_size);
    return fd;
}

long readFully(int fd, char* buffer, std::size_t room)
{
    std::size_t filled = 0;
    while (filled < room) {
        const ssize_t got = ::read(fd, buffer + filled, room - filled);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    return static_cast<long>(filled);
}

std::optional<std::string> contentsOfRegularFile(const std::string& path, std::size_t maxBytes)
{
    std::size_t size = 0;
    const int fd = openRegularFile(path, maxBytes, &size);
    if (fd < 0)
        return std::nullopt;
    // One byte more than fstat gave tells a file that grew since; it is refused rather than
    // read to an unbounded length.
    std::string bytes(size + 1, '\0');
    const long got = readFully(fd, bytes.data(), bytes.size());
    ::close(fd);
    if (got < 0 || static_cast<std::size_t>(got) > size)
        return std::nullopt;
    bytes.resize(static_cast<std::size_t>(got));
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
