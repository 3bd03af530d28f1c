#include "platform/appkit/OpenPanel.h"

#include "platform/appkit/UiBackend.h"

namespace platform {

std::unique_ptr<OpenPanel> OpenPanel::openPanel()
{
    return uiBackend().makeOpenPanel();
}

}  // namespace platform
