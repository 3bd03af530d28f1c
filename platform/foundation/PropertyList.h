#pragma once

#include "platform/foundation/PlistValue.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class PlistFormat { Xml, Binary };

/// Files above this size are refused before they are read whole.
inline constexpr std::size_t kMaxPropertyListBytes = 64u * 1024u * 1024u;
/// Arrays and dictionaries nested deeper than this are refused before parsing.
inline constexpr std::size_t kMaxPropertyListDepth = 256;

/// Parses XML or binary property-list bytes; none for anything malformed, too large or too deep,
/// and for an XML dictionary of more than 200,000 keys.
std::optional<PlistValue> parsePropertyList(std::string_view bytes, PlistFormat* formatOut = nullptr);

/// Reads a property-list file of either form; none when it is missing, a folder, unreadable,
/// not a property list, larger than kMaxPropertyListBytes or nested too deeply.
std::optional<PlistValue> readPropertyListFile(const std::string& path, PlistFormat* formatOut = nullptr);

/// The file's root dictionary, or none unless the file reads and its root is a dictionary.
std::optional<PlistDictionary> dictionaryWithContentsOfFile(const std::string& path);

/// The platform's XML form: header, DOCTYPE, one tab per level, dictionary keys sorted.
std::string xmlPropertyList(const PlistValue& root);

/// The binary form ("bplist00"), dictionary keys sorted.
std::string binaryPropertyList(const PlistValue& root);

/// Writes the XML form. With atomically false the file is written in place, replacing an
/// earlier one; with true it goes through a temporary file in the same folder and a rename.
/// False on any failure.
bool writeToFile(const PlistValue& root, const std::string& path, bool atomically);

/// Writes root in the given form through a temporary file in the same folder and a rename,
/// keeping the mode of an existing file. False on any failure; the earlier file then stays.
bool writePropertyListAtomically(const PlistValue& root, const std::string& path, PlistFormat format);

}  // namespace platform
