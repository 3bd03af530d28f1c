#include "selection-pane/PSPathFile.h"

#include "platform/foundation/FileManager.h"

namespace oxlade {

std::optional<std::string> pluginPathFromPSPathFileBytes(std::string_view bytes)
{
    const std::size_t n = bytes.size();
    if (n < 3)
        return std::nullopt;
    std::size_t nul = 0;
    for (std::size_t i = n - 2; i >= 1; --i) {
        if (bytes[i] == '\0') {
            nul = i;
            break;
        }
    }
    if (nul == 0)
        return std::nullopt;
    std::string_view path = bytes.substr(nul + 1);
    if (!path.empty() && path.back() == '\0')
        path.remove_suffix(1);
    if (!isValidUtf8(path))
        return std::nullopt;
    return std::string(path);
}

std::optional<std::string> readPSPathFile(const std::string& path)
{
    const std::optional<std::string> bytes = platform::contentsOfRegularFile(path, kMaxPSPathFileBytes);
    if (!bytes)
        return std::nullopt;
    return pluginPathFromPSPathFileBytes(*bytes);
}

bool isValidUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t value = 0;
        char32_t minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            value = lead & 0x1F;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            value = lead & 0x0F;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            value = lead & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (n - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (next & 0x3F);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

}  // namespace oxlade
