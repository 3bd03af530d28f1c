#pragma once

#include "platform/foundation/PropertyList.h"

#include <cstdio>
#include <cstdlib>
#include <string>

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

}  // namespace fuzz
