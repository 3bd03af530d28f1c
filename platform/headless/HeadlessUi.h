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
    enum class Kind { OpenPanel, Alert, Terminate };
    Kind kind = Kind::Alert;
    std::string detail;  ///< the panel's starting folder, or the alert's title
    std::string title;   ///< the panel's title (empty when it was given none)
    AlertKind alertKind = AlertKind::Informational;
    std::string message;
    std::string button;
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
