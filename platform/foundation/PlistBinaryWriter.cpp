#include "platform/foundation/PlistBinaryWriter.h"

#include "platform/foundation/PlistBinaryReader.h"
#include "platform/foundation/PlistEncoding.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::plist {

namespace {

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The least that text takes in this form: a byte a character in ASCII, otherwise two bytes a
// UTF-16 unit, which is never less than two thirds of its UTF-8 bytes.
std::uint64_t leastTextBytes(std::string_view text)
{
    return isAscii(text) ? text.size() : text.size() / 3 * 2;
}

}  // namespace

std::optional<std::string> PlistBinaryWriter::write(const PlistValue& root)
{
    m_failure = PlistWriteFailure::None;
    m_refSize = 1;
    m_next = 0;
    m_written.clear();
    // The depth is known before the tree is walked in full, which it also bounds.
    if (!nestsWithin(root, kMaxPropertyListDepth)) {
        m_failure = PlistWriteFailure::TooDeep;
        return std::nullopt;
    }
    std::uint64_t count = 0;
    Tally tally;
    {
        std::unordered_set<const void*> seen;
        count = countObjects(root, seen, tally);
    }
    // Every object takes a byte at least, besides its text and data.
    if (count + tally.contentBytes > kMaxPropertyListBytes) {
        m_failure = PlistWriteFailure::TooLarge;
        return std::nullopt;
    }
    // The reader takes only dates that are points in time.
    if (tally.endlessDates) {
        m_failure = PlistWriteFailure::NotRepresentable;
        return std::nullopt;
    }
    if (count > 0xFF)
        m_refSize = 2;
    if (count > 0xFFFF)
        m_refSize = 4;
    if (count > 0xFFFFFFFFull)
        m_refSize = 8;
    // The reader charges what the values take against the size of the file, so where the
    // narrowest references leave too few bytes for what they name (many small containers that
    // references share), they are written wider, until the reader takes the file.
    for (;;) {
        emit(root, count);
        if (m_out.size() > kMaxPropertyListBytes) {
            m_failure = PlistWriteFailure::TooLarge;
            std::string().swap(m_out);
            return std::nullopt;
        }
        if (m_refSize == 8 || PlistBinaryReader::check(m_out) != PlistReadFailure::TooExpansive)
            break;
        m_refSize *= 2;
    }
    return std::move(m_out);
}

void PlistBinaryWriter::emit(const PlistValue& root, std::uint64_t count)
{
    m_next = 0;
    m_written.clear();
    m_offsets.assign(static_cast<std::size_t>(count), 0);
    m_out = "bplist00";
    encode(root);
    const std::uint64_t tableAt = m_out.size();
    unsigned offsetSize = 1;
    while (offsetSize < 8 && (tableAt >> (8 * offsetSize)) != 0)
        offsetSize *= 2;
    for (const std::uint64_t offset : m_offsets)
        appendUInt(offset, offsetSize);
    m_out.append(6, '\0');
    m_out += static_cast<char>(offsetSize);
    m_out += static_cast<char>(m_refSize);
    appendUInt(count, 8);
    appendUInt(0, 8);
    appendUInt(tableAt, 8);
    m_written.clear();
    std::vector<std::uint64_t>().swap(m_offsets);
}

const void* PlistBinaryWriter::blockOf(const PlistValue& value)
{
    // Copies of a string, data, array or dictionary share the block that holds it, so its
    // address tells one shared value from equal ones.
    switch (value.type()) {
    case PlistValue::Type::String: return value.asString();
    case PlistValue::Type::Data: return value.asData();
    case PlistValue::Type::Array: return value.asArray();
    case PlistValue::Type::Dictionary: return value.asDictionary();
    default: return nullptr;
    }
}

std::uint64_t PlistBinaryWriter::countObjects(const PlistValue& value, std::unordered_set<const void*>& seen,
                                              Tally& tally)
{
    if (const void* block = blockOf(value); block && !seen.insert(block).second)
        return 0;
    std::uint64_t count = 1;
    if (const std::string* text = value.asString()) {
        tally.contentBytes += leastTextBytes(*text);
    } else if (const PlistData* data = value.asData()) {
        tally.contentBytes += data->bytes.size();
    } else if (const PlistDate* date = value.asDate()) {
        tally.endlessDates = tally.endlessDates || !std::isfinite(date->secondsSinceReference);
    } else if (const PlistArray* array = value.asArray()) {
        for (const PlistValue& item : *array)
            count += countObjects(item, seen, tally);
    } else if (const PlistDictionary* dict = value.asDictionary()) {
        for (std::size_t i = 0; i < dict->size(); ++i) {
            if (seen.insert(&dict->keyAt(i)).second) {
                ++count;
                tally.contentBytes += leastTextBytes(dict->keyAt(i));
            }
            count += countObjects(dict->valueAt(i), seen, tally);
        }
    }
    return count;
}

void PlistBinaryWriter::appendUInt(std::uint64_t value, unsigned width)
{
    for (unsigned i = width; i-- > 0;)
        m_out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PlistBinaryWriter::appendMarker(unsigned type, std::uint64_t length)
{
    if (length < 15) {
        m_out += static_cast<char>((type << 4) | length);
        return;
    }
    m_out += static_cast<char>((type << 4) | 0xF);
    appendInteger(length);
}

void PlistBinaryWriter::appendInteger(std::uint64_t value)
{
    if (value <= 0xFF) {
        m_out += '\x10';
        appendUInt(value, 1);
    } else if (value <= 0xFFFF) {
        m_out += '\x11';
        appendUInt(value, 2);
    } else if (value <= 0xFFFFFFFFull) {
        m_out += '\x12';
        appendUInt(value, 4);
    } else {
        m_out += '\x13';
        appendUInt(value, 8);
    }
}

void PlistBinaryWriter::appendDouble(unsigned type, double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    m_out += static_cast<char>((type << 4) | 3);
    appendUInt(bits, 8);
}

void PlistBinaryWriter::appendString(std::string_view text)
{
    if (isAscii(text)) {
        appendMarker(0x5, text.size());
        m_out += text;
        return;
    }
    std::vector<std::uint16_t> units;
    units.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = 0xFFFD;
        std::size_t length = 1;
        if (b >= 0xC2 && b <= 0xDF)
            length = 2;
        else if (b >= 0xE0 && b <= 0xEF)
            length = 3;
        else if (b >= 0xF0 && b <= 0xF4)
            length = 4;
        if (b < 0x80) {
            cp = b;
        } else if (length > 1 && i + length <= text.size()) {
            std::uint32_t value = b & (0x7F >> length);
            bool ok = true;
            for (std::size_t k = 1; k < length; ++k) {
                const auto c = static_cast<unsigned char>(text[i + k]);
                if ((c & 0xC0) != 0x80) {
                    ok = false;
                    break;
                }
                value = (value << 6) | (c & 0x3F);
            }
            const std::uint32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
            if (ok && value >= minimum && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF))
                cp = value;
            else
                length = 1;
        } else {
            length = 1;
        }
        i += length;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(cp));
        }
    }
    appendMarker(0x6, units.size());
    for (const std::uint16_t unit : units)
        appendUInt(unit, 2);
}

std::uint64_t PlistBinaryWriter::encode(const PlistValue& value)
{
    // A shared value is written once; every later reference names the same object.
    const void* block = blockOf(value);
    if (block) {
        const auto [at, added] = m_written.try_emplace(block, m_next);
        if (!added)
            return at->second;
    }
    const std::uint64_t index = m_next++;
    switch (value.type()) {
    case PlistValue::Type::String:
        m_offsets[index] = m_out.size();
        appendString(*value.asString());
        break;
    case PlistValue::Type::Integer: {
        m_offsets[index] = m_out.size();
        if (const std::uint64_t* large = value.asUnsignedInteger()) {
            m_out += '\x14';
            appendUInt(0, 8);
            appendUInt(*large, 8);
            break;
        }
        const std::int64_t number = *value.asInteger();
        if (number < 0) {
            m_out += '\x13';
            appendUInt(static_cast<std::uint64_t>(number), 8);
        } else {
            appendInteger(static_cast<std::uint64_t>(number));
        }
        break;
    }
    case PlistValue::Type::Real:
        m_offsets[index] = m_out.size();
        appendDouble(0x2, *value.asReal());
        break;
    case PlistValue::Type::Boolean:
        m_offsets[index] = m_out.size();
        m_out += *value.asBoolean() ? '\x09' : '\x08';
        break;
    case PlistValue::Type::Date:
        m_offsets[index] = m_out.size();
        appendDouble(0x3, value.asDate()->secondsSinceReference);
        break;
    case PlistValue::Type::Data: {
        m_offsets[index] = m_out.size();
        const auto& bytes = value.asData()->bytes;
        appendMarker(0x4, bytes.size());
        m_out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        break;
    }
    case PlistValue::Type::Array: {
        const PlistArray& array = *value.asArray();
        std::vector<std::uint64_t> refs;
        refs.reserve(array.size());
        for (const PlistValue& item : array)
            refs.push_back(encode(item));
        m_offsets[index] = m_out.size();
        appendMarker(0xA, refs.size());
        for (const std::uint64_t ref : refs)
            appendUInt(ref, m_refSize);
        break;
    }
    case PlistValue::Type::Dictionary: {
        const PlistDictionary& dict = *value.asDictionary();
        const std::vector<std::size_t> order = sortedKeyOrder(dict);
        std::vector<std::uint64_t> keyRefs;
        std::vector<std::uint64_t> valueRefs;
        keyRefs.reserve(order.size());
        valueRefs.reserve(order.size());
        for (const std::size_t i : order) {
            const auto [at, added] = m_written.try_emplace(&dict.keyAt(i), m_next);
            if (added) {
                m_offsets[m_next++] = m_out.size();
                appendString(dict.keyAt(i));
            }
            keyRefs.push_back(at->second);
            valueRefs.push_back(encode(dict.valueAt(i)));
        }
        m_offsets[index] = m_out.size();
        appendMarker(0xD, order.size());
        for (const std::uint64_t ref : keyRefs)
            appendUInt(ref, m_refSize);
        for (const std::uint64_t ref : valueRefs)
            appendUInt(ref, m_refSize);
        break;
    }
    }
    return index;
}

}  // namespace platform::plist
