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
inline constexpr OSStatus errAuthorizationInvalidSet = -60001;
inline constexpr OSStatus errAuthorizationInvalidRef = -60002;
inline constexpr OSStatus errAuthorizationInvalidPointer = -60004;
inline constexpr OSStatus errAuthorizationDenied = -60005;
inline constexpr OSStatus errAuthorizationCanceled = -60006;
inline constexpr OSStatus errAuthorizationInteractionNotAllowed = -60007;
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

/// Creates a reference holding one backend from the factory. Rights given together with
/// kAuthorizationFlagExtendRights are asked for at once, as by AuthorizationCopyRights.
OSStatus AuthorizationCreate(const AuthorizationRights* rights, const AuthorizationEnvironment* environment,
                             AuthorizationFlags flags, AuthorizationRef* authorization);

/// Asks for the rights; with kAuthorizationFlagInteractionAllowed the user is prompted. The set
/// must hold exactly one item, kAuthorizationRightExecute, whose value is the path of the program
/// (valueLength bytes; trailing NUL bytes are ignored, an embedded one makes the set invalid);
/// anything else answers errAuthorizationInvalidSet. Asking again for a granted, unused right
/// answers 0 without a new prompt. When authorizedRights is given it receives a copy of the granted
/// set, to be released with AuthorizationFreeItemSet.
OSStatus AuthorizationCopyRights(AuthorizationRef authorization, const AuthorizationRights* rights,
                                 const AuthorizationEnvironment* environment, AuthorizationFlags flags,
                                 AuthorizationRights** authorizedRights);

/// Runs the program that the rights were granted for, with administrator rights; arguments must
/// be null or empty. *communicationsPipe receives a stream on the program's output; without it the
/// output is discarded. A grant serves one start: a later start needs AuthorizationCopyRights again.
/// Another path than the granted one answers errAuthorizationDenied and leaves the grant unused;
/// non-empty arguments, an empty path or a program that may not or cannot be run answer
/// errAuthorizationToolExecuteFailure.
OSStatus AuthorizationExecuteWithPrivileges(AuthorizationRef authorization, const char* pathToTool,
                                            AuthorizationFlags options, char* const* arguments,
                                            std::FILE** communicationsPipe);

/// How the program last started through the reference ended: *exitStatus receives its exit status
/// (0 to 255), or 128 plus the number of the signal that ended it. Ask once its output has reached
/// its end (the call waits for the program to end, which may otherwise never come). Answers
/// errAuthorizationInvalidRef or errAuthorizationInvalidPointer for null arguments, and
/// errAuthorizationInternal when nothing was started through the reference or its end cannot be
/// learnt.
OSStatus AuthorizationCopyToolExitStatus(AuthorizationRef authorization, int* exitStatus);

/// Asks the program last started through the reference to stop early (it ends after the step at
/// hand and still reports how it ended). errAuthorizationInternal when nothing runs or the backend
/// cannot ask.
OSStatus AuthorizationStopTool(AuthorizationRef authorization);

/// Ends the reference: a granted right that was not used is given up, and every program started
/// through it is waited for (once its output has ended, after the caller closed its stream).
OSStatus AuthorizationFree(AuthorizationRef authorization, AuthorizationFlags flags);

/// Releases a set handed out by AuthorizationCopyRights.
OSStatus AuthorizationFreeItemSet(AuthorizationItemSet* set);

/// Whether this process already has administrator rights (it runs as root), so that a program
/// may be started directly, without asking anyone.
bool AuthorizationProcessIsPrivileged();

/// How rights are obtained and programs run; abstract so tests answer without a password.
class AuthorizationBackend {
public:
    virtual ~AuthorizationBackend() = default;
    /// Obtains the rights to run the program at toolPath; 0 or an authorization status.
    virtual OSStatus acquire(const std::string& toolPath, bool interactionAllowed) = 0;
    /// Runs the program acquire() was granted for; null stream with a status on failure.
    virtual OSStatus execute(const std::string& toolPath, std::FILE** stream) = 0;
    /// How the program execute() started ended (see AuthorizationCopyToolExitStatus); a backend
    /// that cannot tell answers errAuthorizationInternal.
    virtual OSStatus exitStatus(int* status)
    {
        (void)status;
        return errAuthorizationInternal;
    }
    /// Asks the program execute() started to stop early; see AuthorizationStopTool.
    virtual OSStatus stopTool() { return errAuthorizationInternal; }
    /// Ends whatever acquire() started and was not used.
    virtual void release() = 0;
};

/// Creates the backend for one authorization reference.
using AuthorizationBackendFactory = std::function<std::unique_ptr<AuthorizationBackend>()>;

/// Replaces the backend factory (the headless backend, tests); empty restores the pkexec backend.
void setAuthorizationBackendFactory(AuthorizationBackendFactory factory);

}  // namespace platform
