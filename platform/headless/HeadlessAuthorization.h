#pragma once

#include "platform/security/Authorization.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::headless {

/// Answers rights requests from a queue of grant, deny, cancel or no prompt (grant when empty) and
/// runs the granted program as the current user, its output on the stream.
class HeadlessAuthorization {
public:
    /// NoPrompt: no prompt could be shown at all (no polkit service, no authentication agent).
    enum class Answer { Grant, Deny, Cancel, NoPrompt };

    /// Installs itself as the authorization backend until destroyed.
    HeadlessAuthorization();
    ~HeadlessAuthorization();
    HeadlessAuthorization(const HeadlessAuthorization&) = delete;
    HeadlessAuthorization& operator=(const HeadlessAuthorization&) = delete;

    void queueAnswer(Answer answer);
    /// A backend for one authorization reference, answering from this object's queue; the
    /// installed factory makes these. It fails with errAuthorizationInternal once this object is gone.
    std::unique_ptr<AuthorizationBackend> makeBackend() const;
    /// Told the program path of every prompt, as it is shown (a scripted run prints it).
    void setPromptObserver(std::function<void(const std::string& toolPath)> observer)
    {
        m_promptObserver = std::move(observer);
    }
    /// The program paths asked for, one per prompt.
    const std::vector<std::string>& prompts() const { return m_prompts; }
    /// The program paths started.
    const std::vector<std::string>& executions() const { return m_executions; }

    // Used by the backend objects it creates.
    Answer nextAnswer(const std::string& toolPath);
    void recordExecution(const std::string& toolPath) { m_executions.push_back(toolPath); }

private:
    std::deque<Answer> m_answers;
    std::vector<std::string> m_prompts;
    std::vector<std::string> m_executions;
    std::function<void(const std::string&)> m_promptObserver;
    /// Shared with the backend objects, cleared on destruction so that none outlives this one.
    std::shared_ptr<HeadlessAuthorization*> m_self;
};

}  // namespace platform::headless
