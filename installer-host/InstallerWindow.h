#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>

#include <functional>
#include <string>
#include <vector>

class QCloseEvent;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QWidget;

namespace installerhost {

class HostStrings;
class InstallPage;
class InstallerSession;

/// The installer's window: a sidebar of steps (each pane's title, Install and a final step), the
/// shown page, and Cancel, Go Back and Continue. The buttons press the session's buttons; the
/// window follows the session through its handlers. Once the last pane is left forward, the
/// Install page carries out the plan and shows what became of each host; Continue then goes to
/// the final page. While nothing is installed, Cancel, Escape and the window's close box ask
/// whether to quit (the answer Resume leaves everything as it was); while InstallHelper runs the
/// window cannot be closed; once something is installed, closing needs no question.
class InstallerWindow : public QMainWindow {
public:
    /// The session and the strings must outlive the window; the window installs the session's
    /// handlers and reports each pane entered as "pane: TITLE". Its own texts come from strings.
    InstallerWindow(InstallerSession& session, const HostStrings& strings, QWidget* parent = nullptr);
    ~InstallerWindow() override;

    /// Called once when the user ends the run: Cancel or the window closed (each confirmed), or
    /// Close on the final page.
    void setQuitHandler(std::function<void()> handler) { m_quitHandler = std::move(handler); }

    /// The question shown before quitting, while it is on screen; null otherwise.
    QMessageBox* quitConfirmation() const { return m_confirmation; }

    /// The run's exit status (HostExitStatus.h): the Install step's once it has installed
    /// something or the final page was reached, kExitCancelled before.
    int exitStatus() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    /// Where the window is: on a pane, on the Install page, or on the final page.
    enum class Stage { Panes, Install, Final };

    void paneEntered(std::size_t index);
    /// Puts the pane's controls before the buttons in the Tab order and focuses the first.
    void focusPane(std::size_t index);
    /// The session left its last pane forward: the Install page, and the run.
    void finished();
    void runInstall();
    void showFinalPage();
    /// Whether the Install step has put anything in place.
    bool anythingInstalled() const;
    /// Whether quitting now leaves nothing installed, so that the question before it is true.
    bool quitNeedsQuestion() const;
    void continuePressed();
    void backPressed();
    void updateSteps();
    void updateButtons();
    /// Quits at once on the final page; before it, asks first (window-modal, so the run goes on
    /// while the question is open).
    void requestQuit();
    void quit();

    InstallerSession& m_session;
    const HostStrings& m_strings;
    QListWidget* m_steps = nullptr;
    QLabel* m_heading = nullptr;
    QStackedWidget* m_pages = nullptr;
    InstallPage* m_installPage = nullptr;
    QWidget* m_finalPage = nullptr;
    QLabel* m_finalLabel = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_backButton = nullptr;
    QPushButton* m_continueButton = nullptr;
    /// The final page's one control, a button of its own: a screen reader announces a control
    /// that newly takes the focus, not one that is renamed while it keeps it.
    QPushButton* m_closeButton = nullptr;
    QPushButton* m_installAgainButton = nullptr;
    Stage m_stage = Stage::Panes;
    // One page per pane; the pane's view is put into it at the pane's first entry.
    std::vector<QWidget*> m_panePages;
    std::vector<QPointer<QWidget>> m_paneViews;
    std::vector<bool> m_viewAsked;
    std::function<void()> m_quitHandler;
    QPointer<QMessageBox> m_confirmation;
    bool m_quitting = false;
};

}  // namespace installerhost
