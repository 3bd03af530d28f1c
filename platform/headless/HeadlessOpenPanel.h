#pragma once

#include "platform/appkit/OpenPanel.h"

namespace platform::headless {

class HeadlessUi;

/// An open panel that takes its answer from the HeadlessUi that made it.
class HeadlessOpenPanel : public OpenPanel {
public:
    explicit HeadlessOpenPanel(HeadlessUi& ui) : m_ui(ui) {}

    void setCanChooseDirectories(bool flag) override { m_canChooseDirectories = flag; }
    void setCanChooseFiles(bool flag) override { m_canChooseFiles = flag; }
    NSInteger runModalForDirectory(const std::optional<std::string>& directory,
                                   const std::optional<std::string>& file,
                                   const std::optional<std::vector<std::string>>& types) override;
    std::string filename() const override { return m_filename; }

    bool canChooseDirectories() const { return m_canChooseDirectories; }
    bool canChooseFiles() const { return m_canChooseFiles; }

private:
    HeadlessUi& m_ui;
    bool m_canChooseDirectories = false;
    bool m_canChooseFiles = true;
    std::string m_filename;
};

}  // namespace platform::headless
