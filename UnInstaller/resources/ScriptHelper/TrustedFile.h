#pragma once

#include "UnInstaller/resources/ScriptHelper/UniqueFd.h"

#include <cstddef>
#include <optional>
#include <string>

struct stat;

namespace scripthelper {

/// Reads machine-wide files that decide what ScriptHelper removes: the registry and the
/// module-folders setting. A file is trusted when it is a regular file reached without a symbolic
/// link, owned by root (or, when not running as root, by the effective user), not writable by group
/// or others, and, when running as root, every folder above it is owned by root and not writable by
/// others (a sticky folder excepted).
class TrustedFile {
public:
    struct Contents {
        std::string bytes;
        unsigned long owner = 0;
        unsigned long group = 0;
    };

    /// Opens the folder that holds path, with the folder checks above when running as root; an
    /// invalid descriptor with *error set otherwise.
    static UniqueFd openFolderOf(const std::string& path, std::string* error);

    /// Whether the file may be trusted (and is at most maxBytes long), without reading it.
    static bool check(const std::string& path, std::size_t maxBytes, std::string* error, bool* missing = nullptr);

    /// The file's bytes (at most maxBytes), or none with *error set; *missing tells a file that
    /// does not exist from one that may not be used.
    static std::optional<Contents> read(const std::string& path, std::size_t maxBytes, std::string* error,
                                        bool* missing = nullptr);

private:
    static UniqueFd open(const std::string& path, std::size_t maxBytes, std::string* error, bool* missing,
                         struct stat* info);
};

}  // namespace scripthelper
