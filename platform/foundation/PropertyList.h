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
/// A read allocates at most this many bytes for each byte of the file, plus a fixed base of its
/// own. A binary list whose values would take more, however its objects are shared, is refused
/// as TooExpansive before any value is built (PlistBinaryReader.h says how it is counted); an
/// XML list stays within it as it is, every value being spelled out in the file
/// (tests/platform/foundation/PlistMemoryTest.cpp counts the densest of either form).
inline constexpr std::size_t kMaxReadBytesPerFileByte = 16;

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

/// Why a property list was not written. Each refusal has one reason, the same in both forms.
enum class PlistWriteFailure {
    None,
    /// The form cannot hold a value: in neither form a date that is not finite, which no reader
    /// takes; in the XML form also a string or key holding a character that XML 1.0 forbids (NUL
    /// among them), or a date more than 2^62 seconds from the reference date.
    NotRepresentable,
    /// The document would be larger than kMaxPropertyListBytes, which the reader refuses.
    TooLarge,
    /// Arrays and dictionaries nest deeper than kMaxPropertyListDepth, which the reader refuses.
    TooDeep,
    /// The reader would refuse the result for a reason the writer did not foresee.
    NotReadable,
    /// The file could not be written or put in place.
    Unwritable,
};

/// A short English phrase for a failure, for messages ("nested more than 256 levels deep").
std::string_view describePlistWriteFailure(PlistWriteFailure failure);

/// The platform's XML form: header, DOCTYPE, one tab per level, dictionary keys sorted by UTF-16
/// code units. Empty when root is refused, and failure, when given, then tells why (None when it
/// is written):
/// - TooDeep: arrays and dictionaries nest deeper than kMaxPropertyListDepth (an empty one
///   counts as a level, as the reader counts it);
/// - TooLarge: the document would be larger than kMaxPropertyListBytes. The XML form cannot
///   share, so a value that copies share is written out wherever it occurs: a tree whose
///   shared parts would repeat past that size is refused before any of it is written, however
///   small it is in memory or in the binary form;
/// - NotRepresentable: a string or key holds a character that XML 1.0 forbids (NUL among
///   them), or a date cannot be written (not finite, or more than 2^62 seconds from the
///   reference date).
/// The depth, and a size that the value's text and shape alone pass, are found before anything
/// is written and given first; what the text and dates cannot hold, and the exact size, are
/// found as the document is written, and the first met is given.
std::string xmlPropertyList(const PlistValue& root, PlistWriteFailure* failure = nullptr);

/// The binary form ("bplist00"), dictionary keys sorted by UTF-16 code units; a value that
/// copies share is written once. Empty when root is refused, and failure, when given, then tells
/// why (None when it is written), looked for in this order:
/// - TooDeep: as xmlPropertyList() says it;
/// - TooLarge: the result would be larger than kMaxPropertyListBytes (found before writing when
///   the text and data alone pass it);
/// - NotRepresentable: a date is not finite.
/// Text of every kind and dates of any finite value are written.
std::string binaryPropertyList(const PlistValue& root, PlistWriteFailure* failure = nullptr);

/// Writes the XML form. With atomically false the file is written in place, replacing an
/// earlier one; with true it goes through a temporary file in the same folder and a rename.
/// False on any failure, including every refusal of xmlPropertyList(); the earlier file then
/// stays as it was.
bool writeToFile(const PlistValue& root, const std::string& path, bool atomically);

/// Writes root in the given form through a temporary file in the same folder and a rename,
/// keeping the mode of an existing file. False on any failure; the earlier file then stays, and
/// failure, when given, tells why: the writer's refusal (xmlPropertyList(), binaryPropertyList()),
/// NotReadable when the reader would refuse the bytes all the same, Unwritable when the file
/// cannot be written or put in place.
bool writePropertyListAtomically(const PlistValue& root, const std::string& path, PlistFormat format,
                                 PlistWriteFailure* failure = nullptr);

}  // namespace platform
