#include "installer-host/InstallerSession.h"

#include "platform/installer/InstallerPane.h"

namespace installerhost {

namespace {

// Marks the session busy while a pane is asked, left or entered, so that a press that arrives
// from a nested event loop (an open panel inside shouldExitPane) is not taken as a second one.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~BusyScope() { m_flag = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& m_flag;
};

}  // namespace

InstallerSession::InstallerSession(std::vector<platform::InstallerPane*> panes) : m_panes(std::move(panes))
{
    for (std::size_t i = 0; i < m_panes.size(); ++i) {
        m_panes[i]->setNextEnabledHandler([this, i](bool enabled) {
            if (m_started && i == m_current && m_nextEnabledChanged)
                m_nextEnabledChanged(enabled);
        });
    }
}

InstallerSession::~InstallerSession()
{
    for (platform::InstallerPane* pane : m_panes)
        pane->setNextEnabledHandler(nullptr);
}

platform::InstallerPane* InstallerSession::currentPane() const
{
    if (!m_started || m_current >= m_panes.size())
        return nullptr;
    return m_panes[m_current];
}

std::vector<std::string> InstallerSession::titles() const
{
    std::vector<std::string> result;
    result.reserve(m_panes.size());
    for (platform::InstallerPane* pane : m_panes)
        result.push_back(pane->title());
    return result;
}

bool InstallerSession::transitionAllowed() const
{
    return !m_busy && currentPane() != nullptr;
}

bool InstallerSession::canContinue() const
{
    return transitionAllowed() && currentPane()->nextEnabled();
}

bool InstallerSession::canGoBack() const
{
    return transitionAllowed() && m_current > 0;
}

void InstallerSession::start()
{
    if (m_started)
        return;
    m_started = true;
    if (m_panes.empty()) {
        m_current = 0;
        if (m_finished)
            m_finished();
        return;
    }
    {
        BusyScope busy(m_busy);
        enter(0, platform::kInstallerDirectionForward);
    }
    announceEntry();
}

InstallerSession::Step InstallerSession::continueForward()
{
    if (!canContinue())
        return Step::NotAllowed;
    platform::InstallerPane* pane = m_panes[m_current];
    {
        BusyScope busy(m_busy);
        if (!pane->shouldExitPane(platform::kInstallerDirectionForward))
            return Step::Refused;
        pane->didExitPane(platform::kInstallerDirectionForward);
        if (m_current + 1 < m_panes.size())
            enter(m_current + 1, platform::kInstallerDirectionForward);
        else
            m_current = m_panes.size();
    }
    announceEntry();
    return Step::Moved;
}

InstallerSession::Step InstallerSession::goBack()
{
    if (!canGoBack())
        return Step::NotAllowed;
    platform::InstallerPane* pane = m_panes[m_current];
    {
        BusyScope busy(m_busy);
        if (!pane->shouldExitPane(platform::kInstallerDirectionBackward))
            return Step::Refused;
        pane->didExitPane(platform::kInstallerDirectionBackward);
        enter(m_current - 1, platform::kInstallerDirectionBackward);
    }
    announceEntry();
    return Step::Moved;
}

InstallerSession::Step InstallerSession::returnToLastPane()
{
    if (!isFinished() || m_panes.empty() || m_busy)
        return Step::NotAllowed;
    {
        BusyScope busy(m_busy);
        enter(m_panes.size() - 1, platform::kInstallerDirectionBackward);
    }
    announceEntry();
    return Step::Moved;
}

void InstallerSession::enter(std::size_t index, int direction)
{
    m_current = index;
    m_panes[index]->didEnterPane(direction);
}

void InstallerSession::announceEntry()
{
    if (isFinished()) {
        if (m_finished)
            m_finished();
    } else if (m_paneEntered) {
        m_paneEntered(m_current);
    }
}

void InstallerSession::setPaneEnteredHandler(std::function<void(std::size_t)> handler)
{
    m_paneEntered = std::move(handler);
}

void InstallerSession::setNextEnabledChangedHandler(std::function<void(bool)> handler)
{
    m_nextEnabledChanged = std::move(handler);
}

void InstallerSession::setFinishedHandler(std::function<void()> handler)
{
    m_finished = std::move(handler);
}

}  // namespace installerhost
