#pragma once

#include "platform/appkit/UiBackend.h"

#include <memory>

class QProgressDialog;
class QWidget;

namespace platform::qt {

/// A window-modal progress dialog over the main window with a count, a line about the step at
/// hand and a Stop button; screen readers get its title and line as name and description.
class QtProgressPanel : public ProgressPanel {
public:
    QtProgressPanel(QWidget* parent, const std::string& title, const std::string& stopButton);
    ~QtProgressPanel() override;

    void setProgress(std::size_t done, std::size_t total, const std::string& text) override;
    bool stopRequested() const override;
    void setStopping(const std::string& text) override;

private:
    std::unique_ptr<QProgressDialog> m_dialog;
    bool m_stopRequested = false;
};

}  // namespace platform::qt
