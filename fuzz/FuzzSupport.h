#pragma once

#include "platform/foundation/PropertyList.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <unistd.h>

namespace fuzz {

/// Stops the run with a message when a check on what was read fails; libFuzzer saves the input.
[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

/// The heap block of an array or dictionary, which copies of it share; null for any other value.
inline const void* containerBlock(const platform::PlistValue& value)
{
    if (const platform::PlistArray* array = value.asArray())
        return array;
    return value.asDictionary();
}

/// Whether two trees hold the same values, a NaN being the same as a NaN. Dates need only fall
/// in the same second when datesToTheSecond, as the XML form writes them to the second. A pair
/// of containers found the same is not compared again, so trees whose parts are shared many
/// times over compare in time of their blocks, not of their paths.
class SameValue {
public:
    explicit SameValue(bool datesToTheSecond) : m_datesToTheSecond(datesToTheSecond) {}

    bool operator()(const platform::PlistValue& a, const platform::PlistValue& b)
    {
        if (a.type() != b.type())
            return false;
        if (const double* x = a.asReal())
            return (std::isnan(*x) && std::isnan(*b.asReal())) || *x == *b.asReal();
        if (const platform::PlistDate* x = a.asDate()) {
            const double y = b.asDate()->secondsSinceReference;
            // The XML form writes a date down to its second, which a date just below a whole
            // second differs from by a hair under one second: 1.0 once rounded.
            return m_datesToTheSecond ? std::floor(x->secondsSinceReference) == std::floor(y)
                                      : x->secondsSinceReference == y;
        }
        const void* mine = containerBlock(a);
        if (!mine)
            return a == b;
        const std::pair<const void*, const void*> pair(mine, containerBlock(b));
        if (m_same.count(pair) != 0)
            return true;
        bool same = true;
        if (const platform::PlistArray* x = a.asArray()) {
            const platform::PlistArray& y = *b.asArray();
            same = x->size() == y.size();
            for (std::size_t i = 0; same && i < x->size(); ++i)
                same = (*this)((*x)[i], y[i]);
        } else {
            const platform::PlistDictionary& mineDict = *a.asDictionary();
            const platform::PlistDictionary& theirDict = *b.asDictionary();
            same = mineDict.size() == theirDict.size();
            for (std::size_t i = 0; same && i < mineDict.size(); ++i) {
                const platform::PlistValue* theirs = theirDict.find(mineDict.keyAt(i));
                same = theirs && (*this)(mineDict.valueAt(i), *theirs);
            }
        }
        if (same)
            m_same.insert(pair);
        return same;
    }

private:
    bool m_datesToTheSecond;
    std::set<std::pair<const void*, const void*>> m_same;
};

inline bool sameValue(const platform::PlistValue& a, const platform::PlistValue& b, bool datesToTheSecond = false)
{
    return SameValue(datesToTheSecond)(a, b);
}

/// Writes a tree that was read from fuzzed bytes in both forms and reads each back: the binary
/// form must give the same tree, and so must the XML form whenever it can be written.
inline void writeAndReadBack(const platform::PlistValue& value)
{
    // What the reader accepts nests no deeper than it allows; the writers give one reason for
    // what they refuse, and the binary form, which shares what the tree shares, refuses only
    // what is too large.
    platform::PlistWriteFailure binaryFailure = platform::PlistWriteFailure::None;
    const std::string binary = platform::binaryPropertyList(value, &binaryFailure);
    if (binary.empty() != (binaryFailure != platform::PlistWriteFailure::None))
        fail("the binary writer answered bytes and a failure together, or neither");
    if (binaryFailure != platform::PlistWriteFailure::None && binaryFailure != platform::PlistWriteFailure::TooLarge)
        fail("the binary writer refused an accepted property list for something other than its size");
    platform::PlistFormat format = platform::PlistFormat::Xml;
    if (!binary.empty()) {
        const auto fromBinary = platform::parsePropertyList(binary, &format);
        if (!fromBinary || format != platform::PlistFormat::Binary)
            fail("the binary form of an accepted property list does not read back");
        if (!sameValue(*fromBinary, value))
            fail("the binary form of an accepted property list reads back as another tree");
    }
    platform::PlistWriteFailure xmlFailure = platform::PlistWriteFailure::None;
    const std::string xml = platform::xmlPropertyList(value, &xmlFailure);
    if (xml.empty() != (xmlFailure != platform::PlistWriteFailure::None))
        fail("the XML writer answered a document and a failure together, or neither");
    if (xmlFailure == platform::PlistWriteFailure::TooDeep)
        fail("the XML writer found an accepted property list too deep");
    if (xml.empty())
        return;
    const auto fromXml = platform::parsePropertyList(xml, &format);
    if (!fromXml || format != platform::PlistFormat::Xml)
        fail("the XML form of an accepted property list does not read back");
    if (!sameValue(*fromXml, value, true))
        fail("the XML form of an accepted property list reads back as another tree");
}

/// Reading the bytes from a file answers as parsing them in memory did.
inline void checkFileReadAgrees(std::string_view bytes, const std::optional<platform::PlistValue>& parsed,
                                platform::PlistReadFailure parseFailure)
{
    char path[] = "/tmp/plist-fuzz-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0)
        return;
    const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    if (written) {
        platform::PlistReadFailure failure = platform::PlistReadFailure::None;
        const auto read = platform::readPropertyListFile(path, nullptr, &failure);
        if (read.has_value() != parsed.has_value() || failure != parseFailure)
            fail("a file read answered otherwise than parsing its bytes");
        if (read && !sameValue(*read, *parsed))
            fail("a file read gave another tree than parsing its bytes");
    }
    ::unlink(path);
}

/// What a selection keeps of a tree read whole, worked out on the tree. A container is cut down
/// once for each selection that reaches it, and the result shared wherever it occurs again.
class CutDown {
public:
    platform::PlistValue operator()(const platform::PlistValue& value, const platform::PlistSelection& selection)
    {
        const void* block = containerBlock(value);
        if (!block)
            return value;
        const auto key = std::make_pair(block, &selection);
        if (const auto found = m_done.find(key); found != m_done.end())
            return found->second;
        platform::PlistValue result;
        if (const platform::PlistDictionary* dict = value.asDictionary()) {
            platform::PlistDictionary kept;
            for (std::size_t i = 0; i < dict->size(); ++i) {
                const platform::PlistSelection* below = selection.below(dict->keyAt(i));
                if (!below)
                    continue;
                platform::PlistValue entry = (*this)(dict->valueAt(i), *below);
                if (below->keeps(entry))
                    kept.set(dict->keyAt(i), std::move(entry));
            }
            result = platform::PlistValue(std::move(kept));
        } else {
            platform::PlistArray kept;
            if (selection.keepsArrayElements()) {
                for (const platform::PlistValue& item : *value.asArray()) {
                    platform::PlistValue element = (*this)(item, selection);
                    if (selection.keeps(element))
                        kept.push_back(std::move(element));
                }
            }
            result = platform::PlistValue(std::move(kept));
        }
        m_done.emplace(key, result);
        return result;
    }

private:
    std::map<std::pair<const void*, const platform::PlistSelection*>, platform::PlistValue> m_done;
};

inline platform::PlistValue cutDown(const platform::PlistValue& value, const platform::PlistSelection& selection)
{
    return CutDown()(value, selection);
}

/// A read that keeps part of the document answers exactly as the whole read did: the same
/// acceptance, for the same reason, and the same values for every path it keeps.
inline void checkSelectionAgrees(std::string_view bytes, const std::optional<platform::PlistValue>& whole,
                                 platform::PlistReadFailure wholeFailure)
{
    using platform::PlistSelection;
    static const PlistSelection kParts[] = {
        PlistSelection::none().anyOtherKey(PlistSelection::none().key("Name").keepIf(
            [](const platform::PlistValue& value) { return !value.asString(); })),
        PlistSelection::none().onlyDictionaries().anyOtherKey(
            PlistSelection::none().onlyDictionaries().key("UUID").key("UnInstallPath")),
    };
    for (const PlistSelection& part : kParts) {
        platform::PlistReadFailure failure = platform::PlistReadFailure::None;
        const auto read = platform::parsePropertyList(bytes, nullptr, &failure, &part);
        if (read.has_value() != whole.has_value() || failure != wholeFailure)
            fail("a read with a selection answered otherwise than the whole read");
        if (read && !sameValue(*read, cutDown(*whole, part)))
            fail("a read with a selection kept other values than the whole read holds");
    }
}

}  // namespace fuzz
