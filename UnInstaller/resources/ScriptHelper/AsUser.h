#pragma once

#include <functional>
#include <optional>
#include <string>

namespace scripthelper {

/// Does work with one user's rights. Running as root for another user, the work runs in a child
/// process that has given up root for that user's ids and groups, so that nothing it opens,
/// creates or removes goes beyond what that user may do; otherwise it runs in this process.
class AsUser {
public:
    /// What work answered; none when the child could not be started, could not take the user's
    /// ids, or died.
    static std::optional<std::string> run(unsigned long uid, const std::function<std::string()>& work);
};

}  // namespace scripthelper
