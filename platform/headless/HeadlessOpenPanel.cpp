#include "platform/headless/HeadlessOpenPanel.h"

#include "platform/headless/HeadlessUi.h"

namespace platform::headless {

NSInteger HeadlessOpenPanel::runModalForDirectory(const std::optional<std::string>& directory,
                                                  const std::optional<std::string>& file,
                                                  const std::optional<std::vector<std::string>>& types)
{
    (void)file;
    (void)types;
    std::optional<std::string> answer = m_ui.takePanelAnswer(directory, title());
    if (!answer) {
        return 0;
    }
    m_filename = *answer;
    return 1;
}

}  // namespace platform::headless
