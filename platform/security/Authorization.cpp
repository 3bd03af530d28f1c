#include "platform/security/Authorization.h"

#include "platform/security/PkexecAuthorizationBackend.h"

#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string>

#include <unistd.h>

namespace platform {

/// One authorization reference: its backend and the program a right is granted for.
struct AuthorizationSession {
    std::unique_ptr<AuthorizationBackend> backend;
    std::optional<std::string> grantedTool;
};

namespace {

constexpr std::size_t kMaxToolPathBytes = 4096;

std::mutex& factoryMutex()
{
    static std::mutex mutex;
    return mutex;
}

AuthorizationBackendFactory& factorySlot()
{
    static AuthorizationBackendFactory factory;
    return factory;
}

std::unique_ptr<AuthorizationBackend> makeBackend()
{
    AuthorizationBackendFactory factory;
    {
        std::lock_guard<std::mutex> lock(factoryMutex());
        factory = factorySlot();
    }
    if (factory)
        return factory();
    return std::make_unique<PkexecAuthorizationBackend>();
}

/// The program path carried by a one-item execute-right set, or the status for a bad set.
OSStatus toolPathFromRights(const AuthorizationRights* rights, std::string* toolPath)
{
    if (rights == nullptr || rights->count != 1 || rights->items == nullptr)
        return errAuthorizationInvalidSet;
    const AuthorizationItem& item = rights->items[0];
    if (item.name == nullptr || std::strcmp(item.name, kAuthorizationRightExecute) != 0)
        return errAuthorizationInvalidSet;
    if (item.valueLength > kMaxToolPathBytes || (item.valueLength > 0 && item.value == nullptr))
        return errAuthorizationInvalidSet;
    std::string path(static_cast<const char*>(item.value), item.valueLength);
    while (!path.empty() && path.back() == '\0')
        path.pop_back();
    if (path.find('\0') != std::string::npos)
        return errAuthorizationInvalidSet;
    *toolPath = std::move(path);
    return errAuthorizationSuccess;
}

AuthorizationRights* copyOfGrant(const std::string& toolPath)
{
    auto* set = new (std::nothrow) AuthorizationRights;
    auto* item = new (std::nothrow) AuthorizationItem[1];
    auto* value = new (std::nothrow) char[toolPath.size() + 1];
    if (set == nullptr || item == nullptr || value == nullptr) {
        delete set;
        delete[] item;
        delete[] value;
        return nullptr;
    }
    std::memcpy(value, toolPath.c_str(), toolPath.size() + 1);
    item->name = kAuthorizationRightExecute;
    item->value = value;
    item->valueLength = toolPath.size();
    item->flags = 0;
    set->count = 1;
    set->items = item;
    return set;
}

}  // namespace

void setAuthorizationBackendFactory(AuthorizationBackendFactory factory)
{
    std::lock_guard<std::mutex> lock(factoryMutex());
    factorySlot() = std::move(factory);
}

OSStatus AuthorizationCreate(const AuthorizationRights* rights, const AuthorizationEnvironment* environment,
                             AuthorizationFlags flags, AuthorizationRef* authorization)
{
    if (authorization == nullptr)
        return errAuthorizationInvalidPointer;
    *authorization = nullptr;
    const bool withRights = rights != nullptr && rights->count > 0;
    if (withRights && (flags & kAuthorizationFlagExtendRights) == 0) {
        std::string unused;
        if (const OSStatus status = toolPathFromRights(rights, &unused); status != errAuthorizationSuccess)
            return status;
    }
    AuthorizationSession* session = nullptr;
    try {
        auto backend = makeBackend();
        if (!backend)
            return errAuthorizationInternal;
        session = new AuthorizationSession{std::move(backend), std::nullopt};
    } catch (...) {
        return errAuthorizationInternal;
    }
    if (withRights && (flags & kAuthorizationFlagExtendRights) != 0) {
        const OSStatus status = AuthorizationCopyRights(session, rights, environment, flags, nullptr);
        if (status != errAuthorizationSuccess) {
            AuthorizationFree(session, kAuthorizationFlagDefaults);
            return status;
        }
    }
    *authorization = session;
    return errAuthorizationSuccess;
}

OSStatus AuthorizationCopyRights(AuthorizationRef authorization, const AuthorizationRights* rights,
                                 const AuthorizationEnvironment*, AuthorizationFlags flags,
                                 AuthorizationRights** authorizedRights)
{
    if (authorizedRights != nullptr)
        *authorizedRights = nullptr;
    if (authorization == nullptr)
        return errAuthorizationInvalidRef;
    try {
        std::string toolPath;
        if (const OSStatus status = toolPathFromRights(rights, &toolPath); status != errAuthorizationSuccess)
            return status;
        if (authorization->grantedTool != toolPath) {
            authorization->grantedTool.reset();
            const bool interaction = (flags & kAuthorizationFlagInteractionAllowed) != 0;
            const OSStatus status = authorization->backend->acquire(toolPath, interaction);
            if (status != errAuthorizationSuccess)
                return status;
            authorization->grantedTool = toolPath;
        }
        if (authorizedRights != nullptr) {
            *authorizedRights = copyOfGrant(toolPath);
            if (*authorizedRights == nullptr)
                return errAuthorizationInternal;
        }
        return errAuthorizationSuccess;
    } catch (...) {
        return errAuthorizationInternal;
    }
}

OSStatus AuthorizationExecuteWithPrivileges(AuthorizationRef authorization, const char* pathToTool,
                                            AuthorizationFlags, char* const* arguments,
                                            std::FILE** communicationsPipe)
{
    if (communicationsPipe != nullptr)
        *communicationsPipe = nullptr;
    if (authorization == nullptr)
        return errAuthorizationInvalidRef;
    if (pathToTool == nullptr || *pathToTool == '\0')
        return errAuthorizationToolExecuteFailure;
    if (arguments != nullptr && arguments[0] != nullptr)
        return errAuthorizationToolExecuteFailure;
    try {
        const std::string toolPath = pathToTool;
        if (authorization->grantedTool != toolPath)
            return errAuthorizationDenied;
        std::FILE* stream = nullptr;
        const OSStatus status = authorization->backend->execute(toolPath, &stream);
        authorization->grantedTool.reset();
        if (status != errAuthorizationSuccess) {
            if (stream != nullptr)
                std::fclose(stream);
            return status;
        }
        if (communicationsPipe != nullptr)
            *communicationsPipe = stream;
        else if (stream != nullptr)
            std::fclose(stream);
        return errAuthorizationSuccess;
    } catch (...) {
        return errAuthorizationInternal;
    }
}

OSStatus AuthorizationCopyToolExitStatus(AuthorizationRef authorization, int* exitStatus)
{
    if (authorization == nullptr)
        return errAuthorizationInvalidRef;
    if (exitStatus == nullptr)
        return errAuthorizationInvalidPointer;
    try {
        return authorization->backend->exitStatus(exitStatus);
    } catch (...) {
        return errAuthorizationInternal;
    }
}

bool AuthorizationProcessIsPrivileged()
{
    return ::geteuid() == 0;
}

OSStatus AuthorizationStopTool(AuthorizationRef authorization)
{
    if (authorization == nullptr)
        return errAuthorizationInvalidRef;
    try {
        return authorization->backend->stopTool();
    } catch (...) {
        return errAuthorizationInternal;
    }
}

OSStatus AuthorizationFree(AuthorizationRef authorization, AuthorizationFlags)
{
    if (authorization == nullptr)
        return errAuthorizationInvalidRef;
    try {
        authorization->backend->release();
    } catch (...) {
    }
    delete authorization;
    return errAuthorizationSuccess;
}

OSStatus AuthorizationFreeItemSet(AuthorizationItemSet* set)
{
    if (set == nullptr)
        return errAuthorizationInvalidSet;
    if (set->items != nullptr) {
        for (std::uint32_t i = 0; i < set->count; ++i)
            delete[] static_cast<const char*>(set->items[i].value);
        delete[] set->items;
    }
    delete set;
    return errAuthorizationSuccess;
}

}  // namespace platform
