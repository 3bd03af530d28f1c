#pragma once

#include "platform/foundation/PropertyList.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

/// Stops the run with a message when a check on what was read fails; libFuzzer saves the input.
[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

/// Writes a tree that was read from fuzzed bytes in both forms, which visits every value, and
/// reads the binary form back: anything the readers accept must survive that round trip.
inline void writeAndReadBack(const platform::PlistValue& value)
{
    const std::string xml = platform::xmlPropertyList(value);
    const std::string binary = platform::binaryPropertyList(value);
    platform::PlistFormat format = platform::PlistFormat::Xml;
    if (!platform::parsePropertyList(binary, &format) || format != platform::PlistFormat::Binary)
        fail("the binary form of an accepted property list does not read back");
    (void)xml;
}

/// A read that keeps part of the document answers exactly as the whole read did: the same
/// acceptance, for the same reason.
inline void checkSelectionAgrees(std::string_view bytes, bool wholeRead, platform::PlistReadFailure wholeFailure)
{
    using platform::PlistSelection;
    static const PlistSelection kPart = PlistSelection::none().anyOtherKey(
        PlistSelection::none().key("Name").keepIf([](const platform::PlistValue& value) { return !value.asString(); }));
    platform::PlistReadFailure failure = platform::PlistReadFailure::None;
    if (platform::parsePropertyList(bytes, nullptr, &failure, &kPart).has_value() != wholeRead || failure != wholeFailure)
        fail("a read with a selection answered otherwise than the whole read");
}

}  // namespace fuzz
