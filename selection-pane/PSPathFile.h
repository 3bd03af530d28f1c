#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace oxlade {

/// Path files are a few hundred bytes; larger files are refused without being read whole.
inline constexpr std::size_t kMaxPSPathFileBytes = 1024u * 1024u;

/// The plug-in folder that the bytes of a PS path file name: the bytes after the last NUL found
/// searching back from position n-2 to position 1, without a final NUL. None when no NUL lies
/// there (so for fewer than three bytes) or when the path is not valid UTF-8.
std::optional<std::string> pluginPathFromPSPathFileBytes(std::string_view bytes);

/// Reads the PS path file at path; none when it is missing, not a plain file, unreadable, larger than
/// kMaxPSPathFileBytes, or names no path.
std::optional<std::string> readPSPathFile(const std::string& path);

/// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
/// U+10FFFF).
bool isValidUtf8(std::string_view bytes);

}  // namespace oxlade
