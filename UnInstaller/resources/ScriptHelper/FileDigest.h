#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace scripthelper {

/// SHA-256 of bytes and of open files, in lower-case hex.
class FileDigest {
public:
    static std::string ofBytes(std::string_view bytes);
    /// Reads the open file fd from where it stands to its end; none on a read error.
    static std::optional<std::string> ofFile(int fd);
};

}  // namespace scripthelper
