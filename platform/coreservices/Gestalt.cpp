#include "platform/coreservices/Gestalt.h"

#include "platform/foundation/TestSeams.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string>

namespace platform {

namespace {

// One decimal part of a version, at most two digits.
bool readPart(std::istringstream& in, int& part)
{
    std::string digits;
    while (in && std::isdigit(in.peek()) && digits.size() < 3)
        digits += static_cast<char>(in.get());
    if (digits.empty() || digits.size() > 2)
        return false;
    part = std::stoi(digits);
    return true;
}

std::function<OSErr(OSType, std::int32_t*)>& gestaltOverride()
{
    static std::function<OSErr(OSType, std::int32_t*)> answer;
    return answer;
}

}  // namespace

OSErr Gestalt(OSType selector, std::int32_t* response)
{
    if (!response) {
        return paramErr;
    }
    if (const auto& answer = gestaltOverride()) {
        return answer(selector, response);
    }
    if (selector == gestaltSystemVersion) {
        if (std::optional<std::string> version = testSeam("PLATFORM_SYSTEM_VERSION")) {
            std::optional<std::int32_t> packed = packedSystemVersion(*version);
            if (!packed)
                return gestaltUndefSelectorErr;
            *response = *packed;
            return noErr;
        }
        *response = kEmulatedSystemVersion;
        return noErr;
    }
    return gestaltUndefSelectorErr;
}

std::optional<std::int32_t> packedSystemVersion(const std::string& version)
{
    std::istringstream in(version);
    int major = 0;
    int minor = 0;
    int patch = 0;
    if (!readPart(in, major) || major != 10 || in.get() != '.' || !readPart(in, minor))
        return std::nullopt;
    if (in.peek() == '.') {
        in.get();
        if (!readPart(in, patch))
            return std::nullopt;
    }
    if (in.peek() != std::char_traits<char>::eof())
        return std::nullopt;
    // One hexadecimal digit each; later releases answer 9 where the digit runs out.
    return 0x1000 + std::min(minor, 9) * 0x10 + std::min(patch, 9);
}

void setGestaltOverride(std::function<OSErr(OSType, std::int32_t*)> answer)
{
    gestaltOverride() = std::move(answer);
}

}  // namespace platform
