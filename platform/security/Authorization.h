#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace platform {

using OSStatus = std::int32_t;
using AuthorizationFlags = std::uint32_t;

inline constexpr OSStatus errAuthorizationSuccess = 0;
inline constexpr OSStatus errAuthorizationDenied = -60005;
inline constexpr OSStatus errAuthorizationCanceled = -60006;
inline constexpr OSStatus errAuthorizationInternal = -60008;
inline constexpr OSStatus errAuthorizationToolExecuteFailure = -60031;

inline constexpr AuthorizationFlags kAuthorizationFlagDefaults = 0;
inline constexpr AuthorizationFlags kAuthorizationFlagInteractionAllowed = 1;
inline constexpr AuthorizationFlags kAuthorizationFlagExtendRights = 2;

inline constexpr const char* kAuthorizationRightExecute = "system.privilege.admin";

/// One named right; value carries the path of the program the right is asked for.
struct AuthorizationItem {
    const char* name = nullptr;
    std::size_t valueLength = 0;
    const void* value = nullptr;
    std::uint32_t flags = 0;
};

struct AuthorizationItemSet {
    std::uint32_t count = 0;
    AuthorizationItem* items = nullptr;
};

using AuthorizationRights = AuthorizationItemSet;
using AuthorizationEnvironment = AuthorizationItemSet;

struct AuthorizationSession;
using AuthorizationRef = AuthorizationSession*;

OSStatus AuthorizationCreate(const AuthorizationRights* rights, const AuthorizationEnvironment* environment,
                             AuthorizationFlags flags, AuthorizationRef* authorization);

/// Asks for the rights; with kAuthorizationFlagInteractionAllowed the user is prompted.
OSStatus AuthorizationCopyRights(AuthorizationRef authorization, const AuthorizationRights* rights,
                                 const AuthorizationEnvironment* environment, AuthorizationFlags flags,
                                 AuthorizationRights** authorizedRights);

/// Runs the program that the rights were granted for, with administrator rights; arguments must
/// be null or empty. *communicationsPipe receives a stream on the program's output.
OSStatus AuthorizationExecuteWithPrivileges(AuthorizationRef authorization, const char* pathToTool,
                                            AuthorizationFlags options, char* const* arguments,
                                            std::FILE** communicationsPipe);

OSStatus AuthorizationFree(AuthorizationRef authorization, AuthorizationFlags flags);

/// How rights are obtained and programs run; abstract so tests answer without a password.
class AuthorizationBackend {
public:
    virtual ~AuthorizationBackend() = default;
    /// Obtains the rights to run the program at toolPath; 0 or an authorization status.
    virtual OSStatus acquire(const std::string& toolPath, bool interactionAllowed) = 0;
    /// Runs the program acquire() was granted for; null stream with a status on failure.
    virtual OSStatus execute(const std::string& toolPath, std::FILE** stream) = 0;
    /// Ends whatever acquire() started and was not used.
    virtual void release() = 0;
};

/// Creates the backend for one authorization reference.
using AuthorizationBackendFactory = std::function<std::unique_ptr<AuthorizationBackend>()>;

/// Replaces the backend factory (the headless backend, tests); empty restores the pkexec backend.
void setAuthorizationBackendFactory(AuthorizationBackendFactory factory);

}  // namespace platform
