#include "platform/foundation/PlistBinaryLayout.h"

#include "platform/foundation/PlistEncoding.h"

#include <cmath>
#include <cstring>

namespace platform::plist {

namespace {

constexpr std::uint64_t kTrailerBytes = 32;

bool isHighSurrogate(std::uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(std::uint32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

std::uint64_t utf8BytesOf(std::uint32_t codePoint)
{
    return codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
}

}  // namespace

bool PlistBinaryLayout::open()
{
    if (m_bytes.size() < 8 + kTrailerBytes + 1 || m_bytes.substr(0, 8) != "bplist00")
        return false;
    const std::uint64_t trailerAt = m_bytes.size() - kTrailerBytes;
    m_offsetSize = static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(trailerAt + 6)]);
    m_refSize = static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(trailerAt + 7)]);
    if (!readUInt(trailerAt + 8, 8, m_objectCount) || !readUInt(trailerAt + 16, 8, m_topObject)
        || !readUInt(trailerAt + 24, 8, m_tableAt))
        return false;
    if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
        return false;
    if (m_objectCount == 0 || m_topObject >= m_objectCount || m_tableAt < 9 || m_tableAt > trailerAt)
        return false;
    return m_objectCount <= (trailerAt - m_tableAt) / m_offsetSize;
}

bool PlistBinaryLayout::readUInt(std::uint64_t at, unsigned width, std::uint64_t& out) const
{
    if (width == 0 || width > 8 || at > m_bytes.size() || m_bytes.size() - at < width)
        return false;
    const unsigned char* bytes = byteAt(at);
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i)
        value = (value << 8) | bytes[i];
    out = value;
    return true;
}

bool PlistBinaryLayout::lengthOf(std::uint64_t at, unsigned info, std::uint64_t& length,
                                 std::uint64_t& contentAt) const
{
    if (info != 0xF) {
        length = info;
        contentAt = at + 1;
        return true;
    }
    if (at + 1 >= m_tableAt)
        return false;
    const auto marker = static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(at + 1)]);
    if ((marker >> 4) != 0x1 || (marker & 0xF) > 3)
        return false;
    const unsigned width = 1u << (marker & 0xF);
    if (!readUInt(at + 2, width, length))
        return false;
    contentAt = at + 2 + width;
    return true;
}

bool PlistBinaryLayout::object(std::uint64_t index, Object& out) const
{
    std::uint64_t offset = 0;
    if (index >= m_objectCount || !readUInt(m_tableAt + index * m_offsetSize, m_offsetSize, offset) || offset < 8
        || offset >= m_tableAt)
        return false;
    const auto marker = static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(offset)]);
    out = Object();
    out.type = marker >> 4;
    out.info = marker & 0xF;
    out.offset = offset;
    out.contentAt = offset + 1;
    // What lies after the marker: references, text units or data bytes, each of a known size.
    std::uint64_t unit = 0;
    switch (out.type) {
    case 0x4: unit = 1; break;
    case 0x5: unit = 1; break;
    case 0x6: unit = 2; break;
    case 0xA: unit = m_refSize; break;
    case 0xD: unit = 2 * std::uint64_t{m_refSize}; break;
    default: return true;  // a scalar, whose bytes check() reads
    }
    if (!lengthOf(offset, out.info, out.length, out.contentAt))
        return false;
    return out.length <= m_tableAt / unit && out.contentAt <= m_tableAt
           && m_tableAt - out.contentAt >= out.length * unit;
}

bool PlistBinaryLayout::reference(const Object& container, std::uint64_t n, std::uint64_t& index) const
{
    return readUInt(container.contentAt + n * m_refSize, m_refSize, index) && index < m_objectCount;
}

std::uint32_t PlistBinaryLayout::unitAt(const Object& text, std::uint64_t i) const
{
    const unsigned char* units = byteAt(text.contentAt);
    const auto at = static_cast<std::size_t>(2 * i);
    return static_cast<std::uint32_t>(units[at] << 8 | units[at + 1]);
}

bool PlistBinaryLayout::check(const Object& object, std::uint64_t& utf8Bytes) const
{
    utf8Bytes = 0;
    std::uint64_t ignored = 0;
    switch (object.type) {
    case 0x0: return object.info == 0x8 || object.info == 0x9;
    case 0x1:
        if (object.info == 4) {
            // Sixteen bytes hold the integers above INT64_MAX; anything wider is refused.
            std::uint64_t high = 0;
            return readUInt(object.offset + 1, 8, high) && high == 0 && readUInt(object.offset + 9, 8, ignored);
        }
        return object.info <= 3 && readUInt(object.offset + 1, 1u << object.info, ignored);
    case 0x2:
    case 0x3: {
        std::uint64_t raw = 0;
        if ((object.info != 2 && object.info != 3) || (object.type == 0x3 && object.info != 3)
            || !readUInt(object.offset + 1, 1u << object.info, raw))
            return false;
        double value = 0;
        std::memcpy(&value, &raw, sizeof value);
        return object.type == 0x2 || std::isfinite(value);  // a date is a point in time
    }
    case 0x4: utf8Bytes = object.length; return true;
    case 0x5: {
        // ASCII means seven bits: a byte above them is refused, as the platform refuses it.
        const unsigned char* text = byteAt(object.contentAt);
        unsigned char bits = 0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(object.length); ++i)
            bits |= text[i];
        utf8Bytes = object.length;
        return bits < 0x80;
    }
    case 0x6:
        for (std::uint64_t i = 0; i < object.length; ++i) {
            const std::uint32_t unit = unitAt(object, i);
            if (isHighSurrogate(unit) && i + 1 < object.length && isLowSurrogate(unitAt(object, i + 1))) {
                utf8Bytes += 4;
                ++i;
                continue;
            }
            if (isHighSurrogate(unit) || isLowSurrogate(unit))
                return false;  // a lone surrogate is not text
            utf8Bytes += utf8BytesOf(unit);
        }
        return true;
    case 0x8:
        // A keyed archive's reference reads as its number.
        return object.info + 1 <= 8 && readUInt(object.offset + 1, object.info + 1, ignored);
    default: return false;
    }
}

std::string PlistBinaryLayout::text(const Object& object, std::uint64_t utf8Bytes) const
{
    const char* at = m_bytes.data() + static_cast<std::size_t>(object.contentAt);
    if (object.type == 0x5)
        return std::string(at, static_cast<std::size_t>(object.length));
    std::string out;
    out.reserve(static_cast<std::size_t>(utf8Bytes));
    for (std::uint64_t i = 0; i < object.length; ++i) {
        const std::uint32_t unit = unitAt(object, i);
        if (isHighSurrogate(unit)) {
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(object, i + 1) - 0xDC00));
            ++i;
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

PlistValue PlistBinaryLayout::scalar(const Object& object) const
{
    std::uint64_t value = 0;
    switch (object.type) {
    case 0x0: return PlistValue(object.info == 0x9);
    case 0x1:
        if (object.info == 4) {
            readUInt(object.offset + 9, 8, value);
            return PlistValue(value);
        }
        readUInt(object.offset + 1, 1u << object.info, value);
        // Eight bytes are signed; fewer are always positive.
        return object.info == 3 ? PlistValue(static_cast<std::int64_t>(value)) : PlistValue(value);
    case 0x2:
    case 0x3: {
        readUInt(object.offset + 1, 1u << object.info, value);
        double real = 0;
        if (object.info == 2) {
            const auto bits = static_cast<std::uint32_t>(value);
            float f = 0;
            std::memcpy(&f, &bits, sizeof f);
            real = f;
        } else {
            std::memcpy(&real, &value, sizeof real);
        }
        return object.type == 0x2 ? PlistValue(real) : PlistValue(PlistDate{real});
    }
    case 0x4: {
        PlistData data;
        const unsigned char* begin = byteAt(object.contentAt);
        data.bytes.assign(begin, begin + static_cast<std::size_t>(object.length));
        return PlistValue(std::move(data));
    }
    case 0x5:
    case 0x6: {
        std::uint64_t utf8Bytes = 0;
        check(object, utf8Bytes);
        return PlistValue(text(object, utf8Bytes));
    }
    default:
        readUInt(object.offset + 1, object.info + 1, value);
        return PlistValue(value);
    }
}

}  // namespace platform::plist
