#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

using StringsTable = std::map<std::string, std::string>;

/// Files above this size are not read as strings tables.
inline constexpr std::size_t kMaxStringsTableBytes = 16u * 1024u * 1024u;

/// Parses a strings table: UTF-8, or UTF-16 with a byte-order mark; "key" = "value"; entries,
/// all of them optionally wrapped in one pair of braces (a dictionary), /* */ and // comments, the escapes \n \t \r \" \\ \Uxxxx and octal. None for any syntax
/// error or invalid encoding: a table is read whole or not at all.
std::optional<StringsTable> parseStringsTable(std::string_view bytes);

/// Reads and parses a strings-table file; none when missing, a folder, unreadable or malformed.
std::optional<StringsTable> readStringsTableFile(const std::string& path);

}  // namespace platform
