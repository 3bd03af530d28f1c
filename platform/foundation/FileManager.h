#pragma once

#include <string>

namespace platform {

/// True when something exists at path (a plain file as well as a folder); sets *isDirectory
/// when given.
bool fileExistsAtPath(const std::string& path, bool* isDirectory = nullptr);

}  // namespace platform
