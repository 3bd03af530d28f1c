#pragma once

#include "platform/foundation/PlistValue.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::plist {

/// Where the parts of a binary property list ("bplist00") lie: its trailer, its offset table and
/// each object's marker, length and content, every position checked against the file. It reads
/// objects one at a time and knows nothing of how they refer to each other.
class PlistBinaryLayout {
public:
    /// One object as its marker describes it.
    struct Object {
        unsigned type = 0;  // the marker's high four bits
        unsigned info = 0;  // its low four bits
        std::uint64_t offset = 0;
        // Entries of an array, pairs of a dictionary, units of a string, bytes of data.
        std::uint64_t length = 0;
        std::uint64_t contentAt = 0;

        bool isContainer() const { return type == 0xA || type == 0xD; }
        bool isDictionary() const { return type == 0xD; }
        bool isText() const { return type == 0x5 || type == 0x6; }
        /// Whether its value lives in a heap block that references may share.
        bool isBoxed() const { return isContainer() || isText() || type == 0x4; }
    };

    explicit PlistBinaryLayout(std::string_view bytes) : m_bytes(bytes) {}

    /// Reads the header and trailer; false when they do not describe a binary list these bytes
    /// can hold.
    bool open();

    std::uint64_t objectCount() const { return m_objectCount; }
    std::uint64_t topObject() const { return m_topObject; }

    /// The object numbered index, its length and content found to lie before the offset table
    /// (a container's references, a string's units, data's bytes); false when they do not.
    bool object(std::uint64_t index, Object& out) const;
    /// The object that the reference number n of a container names: for a dictionary, its
    /// keys come first, then its values.
    bool reference(const Object& container, std::uint64_t n, std::uint64_t& index) const;

    /// Checks an object that is not a container the way scalar() reads it: a known marker,
    /// bytes that fit, text that is ASCII or whole UTF-16, a finite date. utf8Bytes is then the
    /// length of its text in UTF-8, or of its data.
    bool check(const Object& object, std::uint64_t& utf8Bytes) const;
    /// The value of an object that check() accepted.
    PlistValue scalar(const Object& object) const;

private:
    const unsigned char* byteAt(std::uint64_t position) const
    {
        return reinterpret_cast<const unsigned char*>(m_bytes.data()) + static_cast<std::size_t>(position);
    }
    bool readUInt(std::uint64_t at, unsigned width, std::uint64_t& out) const;
    bool lengthOf(std::uint64_t at, unsigned info, std::uint64_t& length, std::uint64_t& contentAt) const;
    std::uint32_t unitAt(const Object& text, std::uint64_t i) const;
    std::string text(const Object& object, std::uint64_t utf8Bytes) const;

    std::string_view m_bytes;
    unsigned m_offsetSize = 0;
    unsigned m_refSize = 0;
    std::uint64_t m_objectCount = 0;
    std::uint64_t m_topObject = 0;
    std::uint64_t m_tableAt = 0;
};

}  // namespace platform::plist
