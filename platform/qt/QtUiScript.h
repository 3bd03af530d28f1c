#pragma once

#include "platform/appkit/UiBackend.h"

#include <QObject>
#include <QPointer>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QMessageBox;
class QWidget;

namespace platform::headless {
class HeadlessAuthorization;
}

namespace platform::qt {

class QtUi;

/// Performs the user actions of a UI script on the live widgets, one line after the other, and
/// prints one line per event a user would see to standard output.
///
/// Lines (blank ones and those starting with "#" are skipped; widgets are found by object name
/// among all top-level widgets):
///   click NAME            a user's click on a button or menu action (nothing when disabled)
///   tick NAME ROW         a click on the "chk" box of a row of table NAME, through the model, so
///   untick NAME ROW       a disabled row does not change; nothing when already in that state
///   close NAME            closes a window as its close box does
///   panel choose PATH     the answer of the next open panel (panels show nothing in a script)
///   panel cancel
///   auth grant|deny|cancel  the answer of the next administrator prompt
///   dismiss               presses the button of the alert on screen
///   key KEYS              real key presses, one after the other, to the control with the focus:
///                         Tab, Backtab, Space, Return, Escape, Up, Down, letters, Alt+U ...
///   show                  prints what is on screen ("show: ..." lines, see QtScreenReport)
/// A line that names an unknown action or object prints "script error: LINE" to standard error
/// and the script goes on. At its end the alert still open is dismissed, then the main window is
/// closed as a user would, and if the program still runs the event loop ends.
///
/// Events: "panel: START_FOLDER "TITLE"", "alert: critical|informational TITLE | MESSAGE | BUTTON",
/// "auth: prompt PATH", "terminate", and whatever a host reports ("pane: TITLE").
class QtUiScript : public QObject {
public:
    /// Reads the script; with any auth line a headless authorization answers the prompts.
    QtUiScript(QtUi& ui, const std::string& path);
    ~QtUiScript() override;

    /// Runs the first line once the event loop runs.
    void start();

    /// Prints the panel's event and answers the queued choice; none for cancel or an empty queue.
    std::optional<std::string> takePanelAnswer(const std::string& startFolder, const std::string& title);
    /// Prints the alert's event; the alert is the one dismiss presses until alertClosed.
    void alertShown(QMessageBox* box, AlertKind kind, const std::string& title, const std::string& message,
                    const std::string& button);
    void alertClosed(QMessageBox* box);

    /// One event line on standard output, flushed.
    static void printEvent(const std::string& line);

private:
    void runNext();
    void finish();
    void perform(const std::string& line);
    bool click(const std::string& name);
    bool tick(const std::string& name, const std::string& rowText, bool ticked);
    bool closeWindow(const std::string& name);
    void show();
    bool key(const std::string& keys);
    bool dismiss();
    void error(const std::string& line);
    /// Whether an alert or another modal dialog is open.
    bool modalActive() const;
    QWidget* mainWindow() const;

    QtUi& m_ui;
    std::vector<std::string> m_lines;
    std::size_t m_next = 0;
    bool m_started = false;
    bool m_closedMainWindow = false;
    /// How many actions are running (more than one when a line runs inside a modal loop).
    int m_depth = 0;
    /// Whether the line just run pressed keys, so the next one waits a moment.
    bool m_settle = false;
    std::deque<std::optional<std::string>> m_panelAnswers;
    std::vector<QPointer<QMessageBox>> m_alerts;
    std::unique_ptr<headless::HeadlessAuthorization> m_authorization;
};

}  // namespace platform::qt
