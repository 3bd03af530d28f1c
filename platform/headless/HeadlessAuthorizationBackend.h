#pragma once

#include "platform/headless/HeadlessAuthorization.h"

#include <memory>
#include <string>

namespace platform::headless {

struct ChildProcess;

/// One authorization reference of a HeadlessAuthorization: answers acquire() from its queue and
/// runs the granted program as the current user. The child is reaped when its stream is closed,
/// or at the latest when this backend is released or destroyed.
class HeadlessAuthorizationBackend : public AuthorizationBackend {
public:
    explicit HeadlessAuthorizationBackend(std::weak_ptr<HeadlessAuthorization*> owner);
    ~HeadlessAuthorizationBackend() override;

    OSStatus acquire(const std::string& toolPath, bool interactionAllowed) override;
    OSStatus execute(const std::string& toolPath, std::FILE** stream) override;
    /// The granted program's exit status; waits for it to end.
    OSStatus exitStatus(int* status) override;
    /// Sends the running program SIGTERM, as the privileged launcher does.
    OSStatus stopTool() override;
    void release() override;

private:
    HeadlessAuthorization* owner() const;

    std::weak_ptr<HeadlessAuthorization*> m_owner;
    std::string m_grantedPath;
    bool m_granted = false;
    std::shared_ptr<ChildProcess> m_child;
};

}  // namespace platform::headless
