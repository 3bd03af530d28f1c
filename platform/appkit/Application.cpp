#include "platform/appkit/Application.h"

#include "platform/appkit/Menu.h"
#include "platform/appkit/UiBackend.h"

namespace platform {

Application& Application::sharedApplication()
{
    static Application application;
    return application;
}

void Application::terminate(const void* sender)
{
    (void)sender;
    m_terminated = true;
    if (hasUiBackend()) {
        uiBackend().quitEventLoop();
    }
}

void Application::terminateWithStatus(const void* sender, int status)
{
    m_exitStatus = status;
    terminate(sender);
}

void Application::reset()
{
    m_exitStatus = 0;
    m_delegate = nullptr;
    m_mainMenu.reset();
    m_terminated = false;
}

}  // namespace platform
