#pragma once

#include "UnInstaller/resources/ScriptHelper/RemovalJournal.h"
#include "UnInstaller/resources/ScriptHelper/RemovalProtocol.h"

#include <functional>
#include <string>
#include <vector>

namespace scripthelper {

class ModuleRegistry;
class PathPolicy;

/// Finishes or undoes the installs an interrupted run journalled, before anything else reads the
/// registry: an install whose token the registry holds is finished (what it set aside is deleted),
/// any other is undone (what it placed is taken away, what it set aside put back, the folders it
/// made removed when empty). Each step runs with the rights of the user it was journalled for;
/// steps of the root side outside the folders where modules may live are not carried out.
class InstallRecovery {
public:
    /// True when every record was finished or undone, so the journal may go.
    static bool recover(const std::vector<RemovalJournal::InstallRecord>& records, const ModuleRegistry& registry,
                        const PathPolicy& policy, const std::function<void(const RemovalEvent&)>& emit);

    /// Carries out one install's steps with the owner's rights: committed finishes them, otherwise
    /// they are undone. Answers the errors, empty when every step went.
    static std::string settle(const std::vector<RemovalJournal::InstallStep>& steps, bool committed);
};

}  // namespace scripthelper
