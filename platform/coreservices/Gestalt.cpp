#include "platform/coreservices/Gestalt.h"

namespace platform {

namespace {

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
        *response = kEmulatedSystemVersion;
        return noErr;
    }
    return gestaltUndefSelectorErr;
}

void setGestaltOverride(std::function<OSErr(OSType, std::int32_t*)> answer)
{
    gestaltOverride() = std::move(answer);
}

}  // namespace platform
