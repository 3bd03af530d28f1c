#pragma once

#include "platform/appkit/UiBackend.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QApplication;
class QWidget;

namespace platform::qt {

class QtUiScript;

/// The Qt 6 Widgets UI backend. It owns the QApplication, builds interfaces from Qt Designer
/// .ui files (wrapping the named widgets as appkit controls), shows folder choosers and alerts,
/// and, with PLATFORM_UI_SCRIPT=FILE in the environment, performs the script's user actions on
/// the live widgets once the event loop runs and prints one line per event a user would see.
class QtUi : public UiBackend {
public:
    QtUi(int& argc, char** argv);
    ~QtUi() override;

    /// The current QtUi, or null when the backend in use is another one.
    static QtUi* instance();

    QApplication* application() const;

    std::unique_ptr<OpenPanel> makeOpenPanel() override;
    NSInteger runAlert(AlertKind kind, const std::string& title, const std::string& message,
                       const std::string& defaultButton) override;
    std::unique_ptr<Interface> loadInterface(const std::string& path) override;
    int runEventLoop(const std::function<void()>& onStarted) override;
    void quitEventLoop() override;
    void setBusy(bool busy) override;
    void processEvents() override;
    NSInteger runAlertWithAlternate(AlertKind kind, const std::string& title, const std::string& message,
                                    const std::string& defaultButton, const std::string& alternateButton) override;
    NSInteger runAlertWithWayBack(AlertKind kind, const std::string& title, const std::string& message,
                                  const std::string& defaultButton, const std::string& otherButton,
                                  bool defaultGoesBack) override;
    std::unique_ptr<ProgressPanel> makeProgressPanel(const std::string& title, const std::string& stopButton) override;
    void waitForEvents(int timeoutMs) override;

    /// Prints an event line ("pane: <title>") when a UI script runs; hosts report what only they
    /// know this way.
    void reportEvent(const std::string& line);
    /// Whether a UI script drives this run.
    bool scripted() const;
    /// The main window that the script closes when it ends (the first shown top-level by default).
    void setMainWindow(QWidget* window);
    /// The window set with setMainWindow, or null.
    QWidget* mainWindow() const;
    /// The script driving this run, or null.
    QtUiScript* script() const;

    /// From now on no open panel is shown: each takes the next of these folders and is cancelled
    /// once none is left (runs without anyone at the screen). Each prints
    /// "panel: START_FOLDER "TITLE"".
    void answerPanelsFrom(std::vector<std::string> folders);
    /// Whether answerPanelsFrom was called.
    bool answersPanelsFromList() const;
    /// Prints the panel's event and takes the next listed folder; none when the list is used up.
    std::optional<std::string> takeListedPanelAnswer(const std::string& startFolder, const std::string& title);

private:
    /// Which button of an alert with two Escape presses.
    enum class Escape { Alternate, Default };
    /// The alert of runAlert, runAlertWithAlternate and runAlertWithWayBack (alternateButton
    /// null: none).
    NSInteger showAlert(AlertKind kind, const std::string& title, const std::string& message,
                        const std::string& defaultButton, const std::string* alternateButton,
                        Escape escape = Escape::Alternate);

    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace platform::qt
