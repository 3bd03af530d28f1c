#pragma once

#include "platform/appkit/UiBackend.h"

#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QProgressDialog;
class QTimer;
class QWidget;

namespace platform::qt {

/// A window-modal progress dialog over the main window with a count, a line about the step at
/// hand and a Stop button. Screen readers get its title as its name when it appears, then the
/// count as the bar's value and the line as the label's text at a human pace: the first report
/// at once, later ones at most every kReportIntervalMs (the latest of them, when the interval
/// ends), and the last module, the wait and the stop at once. However many modules, a removal
/// sends a handful of events, and the screen reader's queue stays short.
class QtProgressPanel : public ProgressPanel {
public:
    /// Milliseconds on a steady clock.
    using Clock = std::function<qint64()>;

    /// The shortest time between two reports of the count.
    static constexpr qint64 kReportIntervalMs = 3000;

    /// clock decides the pace; a steady clock unless given.
    QtProgressPanel(QWidget* parent, const std::string& title, const std::string& stopButton, Clock clock = {});
    ~QtProgressPanel() override;

    void setProgress(std::size_t done, std::size_t total, const std::string& text) override;
    bool stopRequested() const override;
    void setStopping(const std::string& text) override;
    void setWaiting(const std::string& text) override;

    /// The dialog, for tests.
    QProgressDialog* dialog() const { return m_dialog.get(); }

private:
    struct Report {
        std::size_t done = 0;
        std::size_t total = 0;
        std::string text;
    };
    qint64 now() const;
    /// Shows the report and remembers when.
    void show(const Report& report);
    /// Shows the report held back, if any.
    void showPending();

    std::unique_ptr<QProgressDialog> m_dialog;
    std::unique_ptr<QTimer> m_timer;
    Clock m_clock;
    std::optional<qint64> m_lastShown;
    std::optional<Report> m_pending;
    bool m_stopRequested = false;
    bool m_stopping = false;
};

}  // namespace platform::qt
