#include "UnInstaller/resources/ScriptHelper/InstallRecovery.h"

#include "UnInstaller/resources/ScriptHelper/AsUser.h"
#include "UnInstaller/resources/ScriptHelper/InstallFiles.h"
#include "UnInstaller/resources/ScriptHelper/ModuleRegistry.h"
#include "UnInstaller/resources/ScriptHelper/PathPolicy.h"
#include "platform/foundation/Path.h"

#include <cerrno>
#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace scripthelper {

namespace {

using Step = RemovalJournal::InstallStep;

/// One step, finished or undone, in this process; an error text or empty.
std::string settleStep(const Step& step, bool committed)
{
    const std::string folderPath = platform::stringByDeletingLastPathComponent(step.path);
    const std::string name = platform::lastPathComponent(step.path);
    std::string error;
    const UniqueFd folder = InstallFiles::openFolder(folderPath.empty() ? "/" : folderPath, false, nullptr, &error);
    if (!folder.valid())
        return error.find("No such file") != std::string::npos ? std::string() : error;
    const int at = folder.get();
    switch (step.kind) {
    case Step::Kind::Placed:
        if (!step.staging.empty() && !InstallFiles::removeTree(at, step.staging, &error))
            return error;
        if (committed) {
            if (step.existed && !step.hold.empty() && !InstallFiles::removeTree(at, step.hold, &error))
                return error;
            return {};
        }
        if (step.existed) {
            if (!step.hold.empty() && InstallFiles::exists(at, step.hold)) {
                if (!InstallFiles::removeTree(at, name, &error))
                    return error;
                if (::renameat(at, step.hold.c_str(), at, name.c_str()) != 0)
                    return "cannot put " + step.path + " back: " + std::strerror(errno);
            }
            return {};
        }
        return InstallFiles::removeTree(at, name, &error) ? std::string() : error;
    case Step::Kind::OldCopy:
        if (step.hold.empty())
            return {};
        if (committed)
            return InstallFiles::removeTree(at, step.hold, &error) ? std::string() : error;
        if (InstallFiles::exists(at, step.hold) && !InstallFiles::exists(at, name) &&
            ::renameat(at, step.hold.c_str(), at, name.c_str()) != 0)
            return "cannot put " + step.path + " back: " + std::strerror(errno);
        return {};
    case Step::Kind::Folder:
        if (!committed)
            ::unlinkat(at, name.c_str(), AT_REMOVEDIR);
        return {};
    }
    return {};
}

}  // namespace

std::string InstallRecovery::settle(const std::vector<Step>& steps, bool committed)
{
    // Undoing goes backwards: what was placed goes before the folders made for it.
    std::vector<Step> ordered = steps;
    if (!committed)
        std::reverse(ordered.begin(), ordered.end());
    std::string errors;
    std::size_t i = 0;
    while (i < ordered.size()) {
        // Consecutive steps of one owner run together, with that owner's rights.
        std::size_t end = i;
        while (end < ordered.size() && ordered[end].owner == ordered[i].owner &&
               ordered[end].userSide == ordered[i].userSide)
            ++end;
        const std::vector<Step> group(ordered.begin() + static_cast<std::ptrdiff_t>(i),
                                      ordered.begin() + static_cast<std::ptrdiff_t>(end));
        const std::optional<std::string> answer = AsUser::run(ordered[i].owner, [&group, committed] {
            std::string failures;
            for (const Step& step : group) {
                const std::string failure = settleStep(step, committed);
                if (!failure.empty())
                    failures += (failures.empty() ? "" : "; ") + failure;
            }
            return failures;
        });
        if (!answer)
            errors += (errors.empty() ? "" : "; ") + std::string("cannot act with the rights of user ") +
                      std::to_string(ordered[i].owner);
        else if (!answer->empty())
            errors += (errors.empty() ? "" : "; ") + *answer;
        i = end;
    }
    return errors;
}

bool InstallRecovery::recover(const std::vector<RemovalJournal::InstallRecord>& records,
                              const ModuleRegistry& registry, const PathPolicy& policy,
                              const std::function<void(const RemovalEvent&)>& emit)
{
    bool finished = true;
    for (const RemovalJournal::InstallRecord& record : records) {
        std::vector<Step> steps;
        bool refused = false;
        for (const Step& step : record.steps) {
            // The root side only ever worked inside the folders where modules may live.
            const bool rootSide = !step.userSide;
            if (PathPolicy::syntaxProblem(step.path) ||
                (rootSide && !policy.isInsideModuleFolder(step.path) &&
                 std::find(policy.moduleFolders().begin(), policy.moduleFolders().end(),
                           PathPolicy::normalized(step.path)) == policy.moduleFolders().end())) {
                refused = true;
                continue;
            }
            steps.push_back(step);
        }
        const std::optional<Receipt> receipt = registry.receipt(record.id);
        const bool committed = receipt && receipt->token == record.token;
        const std::string errors = settle(steps, committed);
        if (refused)
            emit(RemovalEvent::withId(RemovalEvent::Kind::Kept, record.id,
                                      "the journal names a path outside the folders where modules may live"));
        if (!errors.empty()) {
            emit(RemovalEvent::withId(RemovalEvent::Kind::Kept, record.id,
                                      "an interrupted install could not be settled: " + errors));
            finished = false;
            continue;
        }
        emit(RemovalEvent::withId(RemovalEvent::Kind::Recovered, record.id,
                                  committed ? "an interrupted install, finished" : "an interrupted install, undone"));
    }
    return finished;
}

}  // namespace scripthelper
