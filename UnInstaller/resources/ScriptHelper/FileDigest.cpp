#include "UnInstaller/resources/ScriptHelper/FileDigest.h"

#include <cerrno>

#include <nettle/sha2.h>
#include <unistd.h>

namespace scripthelper {

namespace {

std::string hex(const sha256_ctx& context)
{
    sha256_ctx copy = context;
    unsigned char digest[SHA256_DIGEST_SIZE];
    sha256_digest(&copy, sizeof digest, digest);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * sizeof digest);
    for (unsigned char byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xf];
    }
    return text;
}

}  // namespace

std::string FileDigest::ofBytes(std::string_view bytes)
{
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
    return hex(context);
}

std::optional<std::string> FileDigest::ofFile(int fd)
{
    sha256_ctx context;
    sha256_init(&context);
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        sha256_update(&context, static_cast<std::size_t>(n), reinterpret_cast<const std::uint8_t*>(buffer));
    }
    return hex(context);
}

}  // namespace scripthelper
