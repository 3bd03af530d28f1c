#pragma once

#include <memory>

namespace platform {

class Application;
class Menu;

/// Told once the event loop runs.
class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;
    virtual void applicationDidFinishLaunching(Application* application) = 0;
};

/// The one application object of a program.
class Application {
public:
    static Application& sharedApplication();

    void setDelegate(ApplicationDelegate* delegate) { m_delegate = delegate; }
    ApplicationDelegate* delegate() const { return m_delegate; }
    Menu* mainMenu() const { return m_mainMenu.get(); }
    void setMainMenu(std::shared_ptr<Menu> menu) { m_mainMenu = std::move(menu); }

    /// Ends the program: the UI backend leaves its event loop, and NSApplicationMain returns.
    void terminate(const void* sender);
    /// terminate() with the status the program is to end with (NSApplicationMain's answer).
    void terminateWithStatus(const void* sender, int status);
    bool isTerminated() const { return m_terminated; }
    int exitStatus() const { return m_exitStatus; }
    /// Clears the terminated flag, delegate and menu (for tests).
    void reset();

private:
    ApplicationDelegate* m_delegate = nullptr;
    std::shared_ptr<Menu> m_mainMenu;
    bool m_terminated = false;
    int m_exitStatus = 0;
};

/// Runs an application bundle: loads the main window description named by the main bundle's
/// Info.plist (NSMainNibFile), creates its controller, connects the outlets by name, sends
/// awakeFromNib, runs the event loop and sends applicationDidFinishLaunching: once it runs.
/// Answers the status given to terminateWithStatus (0 after terminate), non-zero when the
/// description cannot be loaded.
int NSApplicationMain(int argc, const char** argv);

}  // namespace platform
