#pragma once

#include "platform/appkit/Interface.h"
#include "platform/appkit/UiBackend.h"

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::headless {

/// An interface description built in memory by a test or registered for a path.
class HeadlessInterface : public Interface {
public:
    explicit HeadlessInterface(std::string rootName = "root");

    /// Adds a control (the interface owns it) and answers it.
    template <class T>
    T* add(std::unique_ptr<T> control)
    {
        T* raw = control.get();
        m_controls.push_back(std::move(control));
        return raw;
    }
    void setProperty(const std::string& objectName, const std::string& key, const std::string& value);
    void setMainMenu(std::shared_ptr<Menu> menu) { m_menu = std::move(menu); }

    std::vector<Control*> objects() const override;
    std::string property(const std::string& objectName, const std::string& key) const override;
    std::shared_ptr<Menu> mainMenu() const override { return m_menu; }
    void* nativeView() const override { return nullptr; }
    std::string rootName() const override { return m_rootName; }

private:
    std::string m_rootName;
    std::vector<std::unique_ptr<Control>> m_controls;
    std::map<std::pair<std::string, std::string>, std::string> m_properties;
    std::shared_ptr<Menu> m_menu;
};

/// One thing a user would have seen.
struct HeadlessEvent {
    enum class Kind { OpenPanel, Alert, Terminate, Progress };
    Kind kind = Kind::Alert;
    std::string detail;  ///< the panel's starting folder, or the alert's title
    std::string title;   ///< the panel's title (empty when it was given none)
    AlertKind alertKind = AlertKind::Informational;
    std::string message;
    std::string button;
    /// An alert's alternate button (empty when it has none).
    std::string alternate;
};

/// An in-memory UI backend: answers open panels from a queue (cancel when it is empty), records
/// panels, alerts and termination, and builds interfaces from factories registered per path.
class HeadlessUi : public UiBackend {
public:
    HeadlessUi();
    ~HeadlessUi() override;

    /// The next open panel answers OK with this path.
    void queuePanelChoice(std::string path);
    /// The next open panel answers Cancel.
    void queuePanelCancel();

    /// The next alert with an alternate button answers this (1 default, 0 alternate); without a
    /// queued answer it answers 1.
    void queueAlertAnswer(NSInteger answer) { m_alertAnswers.push_back(answer); }
    /// Progress panels made from now on report Stop once they have shown this many updates.
    void stopProgressAfter(std::size_t updates) { m_stopAfter = updates; }
    /// Every progress update shown, as "done/total text" (and "stopping text").
    const std::vector<std::string>& progressUpdates() const { return m_progress; }
    /// How many times waitForEvents was called.
    std::size_t waits() const { return m_waits; }

    using InterfaceFactory = std::function<std::unique_ptr<Interface>()>;
    void registerInterface(const std::string& path, InterfaceFactory factory);

    const std::vector<HeadlessEvent>& events() const { return m_events; }
    std::size_t panelCount() const;
    std::size_t alertCount() const;
    bool busy() const { return m_busy; }
    std::size_t busyCount() const { return m_busyCount; }
    /// Called from inside runEventLoop after onStarted, as the user's session; then the loop ends.
    /// A quitEventLoop (terminate) during onStarted ends the loop before the session.
    void setSession(std::function<void()> session) { m_session = std::move(session); }

    std::unique_ptr<OpenPanel> makeOpenPanel() override;
    NSInteger runAlert(AlertKind kind, const std::string& title, const std::string& message,
                       const std::string& defaultButton) override;
    std::unique_ptr<Interface> loadInterface(const std::string& path) override;
    int runEventLoop(const std::function<void()>& onStarted) override;
    void quitEventLoop() override;
    void setBusy(bool busy) override;
    void processEvents() override {}
    NSInteger runAlertWithAlternate(AlertKind kind, const std::string& title, const std::string& message,
                                    const std::string& defaultButton, const std::string& alternateButton) override;
    std::unique_ptr<ProgressPanel> makeProgressPanel(const std::string& title, const std::string& stopButton) override;
    void waitForEvents(int timeoutMs) override;
    /// Used by the progress panels this backend makes.
    void recordProgress(const std::string& line) { m_progress.push_back(line); }
    std::optional<std::size_t> stopAfter() const { return m_stopAfter; }

    // Used by the panels this backend makes.
    std::optional<std::string> takePanelAnswer(const std::optional<std::string>& startDirectory,
                                               const std::string& title = std::string());
    void recordTerminate();

private:
    std::deque<std::optional<std::string>> m_panelAnswers;
    std::map<std::string, InterfaceFactory> m_interfaces;
    std::vector<HeadlessEvent> m_events;
    std::function<void()> m_session;
    bool m_busy = false;
    std::size_t m_busyCount = 0;
    bool m_quit = false;
    std::deque<NSInteger> m_alertAnswers;
    std::vector<std::string> m_progress;
    std::optional<std::size_t> m_stopAfter;
    std::size_t m_waits = 0;
};

/// Installs a HeadlessUi as the UI backend for a scope and removes it afterwards (for tests).
class ScopedHeadlessUi {
public:
    ScopedHeadlessUi();
    ~ScopedHeadlessUi();
    HeadlessUi& ui() { return m_ui; }

private:
    HeadlessUi m_ui;
    UiBackend* m_previous = nullptr;
};

}  // namespace platform::headless
