#pragma once

#include "platform/foundation/Types.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class Interface;
class OpenPanel;

enum class AlertKind { Critical, Informational };

/// A modal panel that shows how far a long task has come and lets the user stop it. The task runs
/// on; the panel only reports and remembers that Stop was pressed.
class ProgressPanel {
public:
    virtual ~ProgressPanel() = default;
    /// Shows done of total and a line about the step at hand.
    virtual void setProgress(std::size_t done, std::size_t total, const std::string& text) = 0;
    /// Whether the user pressed Stop (or Escape).
    virtual bool stopRequested() const = 0;
    /// Shows that the stop was asked for and the task finishes its step; Stop is disabled.
    virtual void setStopping(const std::string& text) = 0;
    /// Shows that the task waits before its first step, and why; the count stays empty.
    virtual void setWaiting(const std::string& text) { setProgress(0, 0, text); }
};

/// What the controls need of a windowing system; abstract so that Qt draws real windows and the
/// headless backend answers tests.
class UiBackend {
public:
    virtual ~UiBackend() = default;
    virtual std::unique_ptr<OpenPanel> makeOpenPanel() = 0;
    /// Shows a modal alert with only a default button; answers 1 when dismissed.
    virtual NSInteger runAlert(AlertKind kind, const std::string& title, const std::string& message,
                               const std::string& defaultButton) = 0;
    /// Shows a modal alert with a default and an alternate button; answers 1 for the default button
    /// and 0 for the alternate one. Backends without one show the default button alone.
    virtual NSInteger runAlertWithAlternate(AlertKind kind, const std::string& title, const std::string& message,
                                            const std::string& defaultButton, const std::string& alternateButton)
    {
        (void)alternateButton;
        return runAlert(kind, title, message, defaultButton);
    }
    /// Shows a modal alert with two buttons, one of which goes back to where the user was: Escape
    /// presses that one, whichever is the default. Answers 1 for the default button and 0 for the
    /// other. Backends without a way to tell show it as runAlertWithAlternate does.
    virtual NSInteger runAlertWithWayBack(AlertKind kind, const std::string& title, const std::string& message,
                                          const std::string& defaultButton, const std::string& otherButton,
                                          bool defaultGoesBack)
    {
        (void)defaultGoesBack;
        return runAlertWithAlternate(kind, title, message, defaultButton, otherButton);
    }
    /// Shows a progress panel over the main window until the panel is destroyed; null where the
    /// backend shows none.
    virtual std::unique_ptr<ProgressPanel> makeProgressPanel(const std::string& title, const std::string& stopButton)
    {
        (void)title;
        (void)stopButton;
        return nullptr;
    }
    /// Handles events for up to timeoutMs, so that windows repaint and buttons answer while the
    /// caller waits for a task.
    virtual void waitForEvents(int timeoutMs)
    {
        (void)timeoutMs;
        processEvents();
    }
    /// Loads an interface description; null when it cannot be read.
    virtual std::unique_ptr<Interface> loadInterface(const std::string& path) = 0;
    /// Runs the event loop, calling onStarted once it runs; returns when quitEventLoop is called.
    virtual int runEventLoop(const std::function<void()>& onStarted) = 0;
    virtual void quitEventLoop() = 0;
    /// Shows or hides the busy cursor.
    virtual void setBusy(bool busy) = 0;
    /// Lets pending events be handled (redraws while a long task runs).
    virtual void processEvents() = 0;
};

/// The backend the controls use; set by the program or the host.
UiBackend& uiBackend();
void setUiBackend(UiBackend* backend);
bool hasUiBackend();

/// Creates the backend of the UI library linked into the program (Qt or headless); defined by
/// that library. Called by NSApplicationMain when no backend was set.
std::unique_ptr<UiBackend> createDefaultUiBackend(int& argc, char** argv);

/// Why the default backend cannot start here (no display to draw on), in words for a one-line
/// message; none when it can. Asked before createDefaultUiBackend, which cannot fail gracefully.
std::optional<std::string> defaultUiBackendUnavailable();

/// The exit status of a windowed program that finds no display (EX_UNAVAILABLE of sysexits.h).
inline constexpr int kExitStatusNoDisplay = 69;

}  // namespace platform
