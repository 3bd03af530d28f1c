#pragma once

#include "platform/security/Authorization.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

/// Obtains administrator rights through pkexec: acquire() starts the project's privileged
/// launcher, which after the password prompt reports that it is ready and waits; execute() tells
/// it to run the granted program and hands back that program's output; release() ends an unused
/// launcher and reaps every process it started.
class PkexecAuthorizationBackend final : public AuthorizationBackend {
public:
    PkexecAuthorizationBackend() = default;
    PkexecAuthorizationBackend(const PkexecAuthorizationBackend&) = delete;
    PkexecAuthorizationBackend& operator=(const PkexecAuthorizationBackend&) = delete;
    /// Releases as release() does.
    ~PkexecAuthorizationBackend() override;

    /// Starts pkexec with the launcher (no arguments) and waits for its answer: 0 once it is ready
    /// (also when it refused, or reported a program other than toolPath: execute() then fails),
    /// errAuthorizationCanceled when the prompt was dismissed (pkexec's exit status 126),
    /// errAuthorizationInteractionNotAllowed when no authorization could be had at all (127: no
    /// polkit service, no authentication agent, or not authorized) or without interaction,
    /// errAuthorizationDenied otherwise, errAuthorizationInternal when pkexec cannot be started.
    OSStatus acquire(const std::string& toolPath, bool interactionAllowed) override;
    /// Runs the program the launcher waits for; errAuthorizationDenied for another path or when no
    /// launcher waits, errAuthorizationToolExecuteFailure when it may not or could not be run.
    OSStatus execute(const std::string& toolPath, std::FILE** stream) override;
    /// How the started program ended, as the launcher reports it after the program's output.
    OSStatus exitStatus(int* status) override;
    /// Ends an unused launcher and waits for every started program to end.
    /// Asks the launcher to stop the running program after the module at hand.
    OSStatus stopTool() override;
    void release() override;

    /// $PLATFORM_PKEXEC, else "/usr/bin/pkexec".
    static std::string pkexecPath();
    /// $PLATFORM_AUTH_LAUNCHER, else the launcher built with this library for the program toolPath
    /// names: the install launcher for a program named InstallHelper, the removal launcher for any
    /// other. Each launcher runs only its own program and has a polkit action of its own.
    static std::string launcherPath(const std::string& toolPath = {});

private:
    void endLauncher();

    int m_launcher = -1;
    int m_control = -1;
    int m_output = -1;
    int m_errors = -1;
    /// The launcher of the started program and the channel on which it reports the program's end.
    int m_running = -1;
    int m_statusChannel = -1;
    std::optional<int> m_exitStatus;
    std::string m_tool;
    bool m_toolRefused = false;
    std::vector<int> m_started;
};

}  // namespace platform
