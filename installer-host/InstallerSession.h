#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace platform {
class InstallerPane;
}

namespace installerhost {

/// Leads the panes of one installation through their lifecycle in order: entry, the question
/// whether the pane may be left, exit, and the next or the previous pane. It has no user interface
/// of its own; the window and the unattended run press its Continue and Go Back.
class InstallerSession {
public:
    /// What a press of Continue or Go Back came to.
    enum class Step {
        Moved,       ///< the pane was left and the next one (or the final page) entered
        Refused,     ///< the pane answered NO to shouldExitPane and stays
        NotAllowed,  ///< the button is not available now (disabled, no previous pane, busy, ...)
    };

    /// The panes are not owned and must outlive the session, which installs itself as each
    /// pane's setNextEnabled handler.
    explicit InstallerSession(std::vector<platform::InstallerPane*> panes);
    ~InstallerSession();
    InstallerSession(const InstallerSession&) = delete;
    InstallerSession& operator=(const InstallerSession&) = delete;

    std::size_t paneCount() const { return m_panes.size(); }
    platform::InstallerPane* pane(std::size_t index) const { return m_panes.at(index); }
    /// The index of the pane shown; paneCount() on the final page.
    std::size_t currentIndex() const { return m_current; }
    /// The pane shown, or null before start() and on the final page.
    platform::InstallerPane* currentPane() const;
    bool started() const { return m_started; }
    /// True once the last pane was left forward.
    bool isFinished() const { return m_started && m_current == m_panes.size(); }
    /// Every pane's title, asked anew, in pane order.
    std::vector<std::string> titles() const;

    /// Whether Continue may be pressed: a pane is shown and it left Continue enabled.
    bool canContinue() const;
    /// Whether Go Back may be pressed: a pane other than the first is shown.
    bool canGoBack() const;

    /// Enters the first pane forward, or goes straight to the final page without panes.
    void start();
    /// Asks the pane shown whether it may be left forward; on YES leaves it and enters the next.
    Step continueForward();
    /// Asks the pane shown whether it may be left backward; on YES leaves it and enters the
    /// previous pane again.
    Step goBack();
    /// After the last pane was left forward, enters it again backward (the Install step's Go
    /// Back); NotAllowed before that, without panes, or while the session is busy.
    Step returnToLastPane();

    /// Called with the pane's index once its didEnterPane has returned and the session takes
    /// presses again.
    void setPaneEnteredHandler(std::function<void(std::size_t index)> handler);
    /// Called when the pane shown enables or disables Continue.
    void setNextEnabledChangedHandler(std::function<void(bool enabled)> handler);
    /// Called once the final page is reached.
    void setFinishedHandler(std::function<void()> handler);

private:
    void enter(std::size_t index, int direction);
    void announceEntry();
    bool transitionAllowed() const;

    std::vector<platform::InstallerPane*> m_panes;
    std::size_t m_current = 0;
    bool m_started = false;
    bool m_busy = false;
    std::function<void(std::size_t)> m_paneEntered;
    std::function<void(bool)> m_nextEnabledChanged;
    std::function<void()> m_finished;
};

}  // namespace installerhost
