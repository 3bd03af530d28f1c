#include "platform/headless/HeadlessAuthorization.h"

#include "platform/headless/HeadlessAuthorizationBackend.h"

namespace platform::headless {

HeadlessAuthorization::HeadlessAuthorization() : m_self(std::make_shared<HeadlessAuthorization*>(this))
{
    std::weak_ptr<HeadlessAuthorization*> self = m_self;
    setAuthorizationBackendFactory([self]() -> std::unique_ptr<AuthorizationBackend> {
        return std::make_unique<HeadlessAuthorizationBackend>(self);
    });
}

std::unique_ptr<AuthorizationBackend> HeadlessAuthorization::makeBackend() const
{
    return std::make_unique<HeadlessAuthorizationBackend>(m_self);
}

HeadlessAuthorization::~HeadlessAuthorization()
{
    *m_self = nullptr;
    setAuthorizationBackendFactory({});
}

void HeadlessAuthorization::queueAnswer(Answer answer)
{
    m_answers.push_back(answer);
}

HeadlessAuthorization::Answer HeadlessAuthorization::nextAnswer(const std::string& toolPath)
{
    m_prompts.push_back(toolPath);
    if (m_promptObserver) {
        m_promptObserver(toolPath);
    }
    if (m_answers.empty()) {
        return Answer::Grant;
    }
    Answer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

}  // namespace platform::headless
