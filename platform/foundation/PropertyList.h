#pragma once

#include "platform/foundation/PlistSelection.h"
#include "platform/foundation/PlistValue.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class PlistFormat { Xml, Binary };

/// Why a property list was not read.
enum class PlistReadFailure {
    None,
    /// The file is missing, not a regular file or cannot be read.
    Unreadable,
    /// The file is larger than kMaxPropertyListBytes.
    TooLarge,
    /// Arrays and dictionaries nest deeper than kMaxPropertyListDepth.
    TooDeep,
    /// A binary list whose shared objects would decode to far more than the file holds.
    TooExpansive,
    /// Not a property list of either form, or one that breaks its grammar.
    Malformed,
};

/// A short English phrase for a failure, for log lines ("nested too deeply").
std::string_view describePlistReadFailure(PlistReadFailure failure);

/// Files above this size are refused before they are read whole.
inline constexpr std::size_t kMaxPropertyListBytes = 64u * 1024u * 1024u;
/// Arrays and dictionaries nested deeper than this are refused while parsing.
inline constexpr std::size_t kMaxPropertyListDepth = 256;
/// A binary list may decode to at most this many times its own size in strings and data, each
/// object counted once however many references share it, and to at most one value per
/// reference.
inline constexpr std::size_t kMaxBinaryExpansion = 8;

/// Parses XML (UTF-8, UTF-16 with a byte-order mark, or ISO-8859-1 / US-ASCII by declaration)
/// or binary property-list bytes; none for anything malformed, too large, too deep or, in the
/// binary form, expanding far past its own size.
std::optional<PlistValue> parsePropertyList(std::string_view bytes, PlistFormat* formatOut = nullptr);

/// parsePropertyList that also tells why bytes were refused; failure is set on every call. With a
/// selection, only the values it keeps are built (the same bytes are refused either way).
std::optional<PlistValue> parsePropertyList(std::string_view bytes, PlistFormat* formatOut, PlistReadFailure* failure,
                                            const PlistSelection* selection = nullptr);

/// Reads a property-list file of either form; none when it is missing, a folder, unreadable,
/// not a property list, larger than kMaxPropertyListBytes or nested too deeply.
std::optional<PlistValue> readPropertyListFile(const std::string& path, PlistFormat* formatOut = nullptr);

/// readPropertyListFile that also tells why the file was refused; failure is set on every call.
/// With a selection, only the values it keeps are built. A binary file is read whole into working
/// memory and decoded from there; an XML file is read whole into the parser's buffer and parsed
/// in one pass that hands the pages already parsed back to the system.
std::optional<PlistValue> readPropertyListFile(const std::string& path, PlistFormat* formatOut,
                                               PlistReadFailure* failure, const PlistSelection* selection = nullptr);

/// The file's root dictionary, or none unless the file reads and its root is a dictionary.
std::optional<PlistDictionary> dictionaryWithContentsOfFile(const std::string& path);

/// The platform's XML form: header, DOCTYPE, one tab per level, dictionary keys sorted by UTF-16
/// code units. Empty when the value cannot be written in XML: a string or key holding a
/// character that XML 1.0 forbids (NUL among them), or a date that is not finite.
std::string xmlPropertyList(const PlistValue& root);

/// The binary form ("bplist00"), dictionary keys sorted by UTF-16 code units.
std::string binaryPropertyList(const PlistValue& root);

/// Writes the XML form. With atomically false the file is written in place, replacing an
/// earlier one; with true it goes through a temporary file in the same folder and a rename.
/// False on any failure, including a value that the XML form cannot hold and a document that
/// the reader would refuse (larger than kMaxPropertyListBytes, nested too deeply); the earlier
/// file then stays as it was.
bool writeToFile(const PlistValue& root, const std::string& path, bool atomically);

/// Why a property list was not written.
enum class PlistWriteFailure {
    None,
    /// The form cannot hold a value (a character XML forbids, a date XML cannot write).
    NotRepresentable,
    /// The result would be larger than kMaxPropertyListBytes, which the reader refuses.
    TooLarge,
    /// The reader would refuse the result for another reason, such as its depth.
    NotReadable,
    /// The file could not be written or put in place.
    Unwritable,
};

/// Writes root in the given form through a temporary file in the same folder and a rename,
/// keeping the mode of an existing file. False on any failure, including bytes that the reader
/// would refuse (larger than kMaxPropertyListBytes, nested too deeply); the earlier file then
/// stays, and failure, when given, tells why.
bool writePropertyListAtomically(const PlistValue& root, const std::string& path, PlistFormat format,
                                 PlistWriteFailure* failure = nullptr);

}  // namespace platform
