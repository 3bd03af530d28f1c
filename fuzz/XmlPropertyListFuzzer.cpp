// The XML property-list reader on arbitrary bytes: none or a tree, never a crash, a hang or a
// sanitizer report; what it accepts writes out and reads back as the same tree in both forms, a
// file of the same bytes reads alike, and a read that keeps part of it keeps the same values.
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Binary input belongs to the other target; keep this one's corpus to the XML reader.
    if (bytes.starts_with("bplist"))
        return -1;
    platform::PlistFormat format = platform::PlistFormat::Binary;
    platform::PlistReadFailure failure = platform::PlistReadFailure::None;
    const auto value = platform::parsePropertyList(bytes, &format, &failure);
    fuzz::checkSelectionAgrees(bytes, value, failure);
    fuzz::checkFileReadAgrees(bytes, value, failure);
    if (!value)
        return 0;
    if (format != platform::PlistFormat::Xml)
        fuzz::fail("XML input read as another form");
    fuzz::writeAndReadBack(*value);
    return 0;
}
