#pragma once

#include "installer-host/InstallStep.h"
#include "installer-host/InstallTexts.h"

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QListWidget;
class QProgressBar;
class QTimer;

namespace installerhost {

class HostStrings;

/// The Install step's page: while InstallHelper runs, a status line and a progress bar; then one
/// row per host application with its outcome, and the overall message. The status line changes
/// at most every couple of seconds, so that a screen reader that follows it can keep up.
class InstallPage : public QWidget {
public:
    /// The strings must outlive the page.
    explicit InstallPage(const HostStrings& strings, QWidget* parent = nullptr);

    /// Runs the Install step to its end and shows its outcome. Rights are asked for and
    /// InstallHelper's output read on a worker thread while this one keeps handling events, so
    /// the window repaints and a UI script waits for the run like for any other action. A root
    /// process starts InstallHelper directly when directWhenPrivileged is set.
    void run(bool directWhenPrivileged);

    bool running() const { return m_running; }
    /// The outcome of the last run; none before the first one ends.
    const std::optional<InstallStep::Result>& result() const { return m_result; }
    /// The overall message of the last run, as shown; empty before it ends.
    QString summary() const;

private:
    void showProgress(const InstallStep::Progress& progress);
    void showResult();
    /// Shows text in the status line now, or once the line has been readable long enough.
    void setStatus(const QString& text);
    void applyStatus();

    InstallTexts m_texts;
    QLabel* m_status = nullptr;
    QProgressBar* m_bar = nullptr;
    QListWidget* m_hosts = nullptr;
    QLabel* m_summary = nullptr;
    QLabel* m_detail = nullptr;
    QTimer* m_statusTimer = nullptr;
    QElapsedTimer m_statusShown;
    QString m_pendingStatus;
    bool m_running = false;
    std::optional<InstallStep::Result> m_result;
};

}  // namespace installerhost
