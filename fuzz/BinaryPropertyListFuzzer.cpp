// The binary property-list reader on arbitrary bytes: none or a tree, never a crash, a hang or a
// sanitizer report; what it accepts writes out and reads back as the same tree in both forms, a
// file of the same bytes reads alike, and a read that keeps part of it keeps the same values.
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kMagic = "bplist00";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Every input goes to the binary reader: one without the header gets it in front.
    std::string withMagic;
    if (!bytes.starts_with("bplist")) {
        withMagic.reserve(kMagic.size() + size);
        withMagic.append(kMagic).append(bytes);
        bytes = withMagic;
    }
    platform::PlistFormat format = platform::PlistFormat::Xml;
    platform::PlistReadFailure failure = platform::PlistReadFailure::None;
    const auto value = platform::parsePropertyList(bytes, &format, &failure);
    fuzz::checkSelectionAgrees(bytes, value, failure);
    fuzz::checkFileReadAgrees(bytes, value, failure);
    if (!value)
        return 0;
    if (format != platform::PlistFormat::Binary)
        fuzz::fail("binary input read as another form");
    fuzz::writeAndReadBack(*value);
    return 0;
}
