#pragma once

#include "platform/foundation/PropertyList.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace fuzz {

/// Stops the run with a message when a check on what was read fails; libFuzzer saves the input.
[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

/// Whether two trees hold the same values, a NaN being the same as a NaN. Dates may differ by
/// less than a second when datesToTheSecond, as the XML form writes them to the second.
inline bool sameValue(const platform::PlistValue& a, const platform::PlistValue& b, bool datesToTheSecond = false)
{
    if (a.type() != b.type())
        return false;
    if (const double* x = a.asReal())
        return (std::isnan(*x) && std::isnan(*b.asReal())) || *x == *b.asReal();
    if (const platform::PlistDate* x = a.asDate()) {
        const double y = b.asDate()->secondsSinceReference;
        return datesToTheSecond ? std::fabs(x->secondsSinceReference - y) < 1.0 : x->secondsSinceReference == y;
    }
    if (const platform::PlistArray* x = a.asArray()) {
        const platform::PlistArray& y = *b.asArray();
        if (x->size() != y.size())
            return false;
        for (std::size_t i = 0; i < x->size(); ++i) {
            if (!sameValue((*x)[i], y[i], datesToTheSecond))
                return false;
        }
        return true;
    }
    if (const platform::PlistDictionary* x = a.asDictionary()) {
        const platform::PlistDictionary& y = *b.asDictionary();
        if (x->size() != y.size())
            return false;
        for (std::size_t i = 0; i < x->size(); ++i) {
            const platform::PlistValue* theirs = y.find(x->keyAt(i));
            if (!theirs || !sameValue(x->valueAt(i), *theirs, datesToTheSecond))
                return false;
        }
        return true;
    }
    return a == b;
}

/// Writes a tree that was read from fuzzed bytes in both forms and reads each back: the binary
/// form must give the same tree, and so must the XML form whenever it can be written.
inline void writeAndReadBack(const platform::PlistValue& value)
{
    const std::string binary = platform::binaryPropertyList(value);
    platform::PlistFormat format = platform::PlistFormat::Xml;
    const auto fromBinary = platform::parsePropertyList(binary, &format);
    if (!fromBinary || format != platform::PlistFormat::Binary)
        fail("the binary form of an accepted property list does not read back");
    if (!sameValue(*fromBinary, value))
        fail("the binary form of an accepted property list reads back as another tree");
    const std::string xml = platform::xmlPropertyList(value);
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

/// What a selection keeps of a tree read whole, worked out on the tree.
inline platform::PlistValue cutDown(const platform::PlistValue& value, const platform::PlistSelection& selection)
{
    if (const platform::PlistDictionary* dict = value.asDictionary()) {
        platform::PlistDictionary kept;
        for (std::size_t i = 0; i < dict->size(); ++i) {
            const platform::PlistSelection* below = selection.below(dict->keyAt(i));
            if (!below)
                continue;
            platform::PlistValue entry = cutDown(dict->valueAt(i), *below);
            if (below->keeps(entry))
                kept.set(dict->keyAt(i), std::move(entry));
        }
        return platform::PlistValue(std::move(kept));
    }
    if (const platform::PlistArray* array = value.asArray()) {
        platform::PlistArray kept;
        if (selection.keepsArrayElements()) {
            for (const platform::PlistValue& item : *array) {
                platform::PlistValue element = cutDown(item, selection);
                if (selection.keeps(element))
                    kept.push_back(std::move(element));
            }
        }
        return platform::PlistValue(std::move(kept));
    }
    return value;
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
