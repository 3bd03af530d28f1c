#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace platform {

/// True when something exists at path (a plain file as well as a folder); sets *isDirectory
/// when given.
bool fileExistsAtPath(const std::string& path, bool* isDirectory = nullptr);

/// The whole contents of a regular file of at most maxBytes bytes; none for anything else
/// (missing, a folder, a device or pipe, unreadable, larger). Never blocks on a pipe and never
/// reads more than maxBytes + 1 bytes.
std::optional<std::string> contentsOfRegularFile(const std::string& path, std::size_t maxBytes);

/// Opens a regular file of at most maxBytes bytes for reading and sets *size to its size; -1
/// for anything else, as contentsOfRegularFile refuses it. The caller closes the descriptor.
int openRegularFile(const std::string& path, std::size_t maxBytes, std::size_t* size);

/// Reads until room bytes are in or the file ends, retrying when interrupted: the count read,
/// or -1 on an error.
long readFully(int fd, char* buffer, std::size_t room);

}  // namespace platform

namespace platform {

/// Makes the folder and any missing folders above it; true when the folder exists afterwards.
bool createDirectoryAtPath(const std::string& path);

}  // namespace platform
