#pragma once

#include "platform/appkit/OpenPanel.h"

namespace platform::qt {

class QtUi;

/// A QFileDialog; in a scripted run it shows nothing and takes the script's queued answer.
class QtOpenPanel : public OpenPanel {
public:
    explicit QtOpenPanel(QtUi& ui) : m_ui(ui) {}

    void setCanChooseDirectories(bool flag) override { m_canChooseDirectories = flag; }
    void setCanChooseFiles(bool flag) override { m_canChooseFiles = flag; }
    /// Starts in the given folder, the home folder when none; 1 for OK.
    NSInteger runModalForDirectory(const std::optional<std::string>& directory,
                                   const std::optional<std::string>& file,
                                   const std::optional<std::vector<std::string>>& types) override;
    std::string filename() const override { return m_filename; }

private:
    QtUi& m_ui;
    bool m_canChooseDirectories = false;
    bool m_canChooseFiles = true;
    std::string m_filename;
};

}  // namespace platform::qt
