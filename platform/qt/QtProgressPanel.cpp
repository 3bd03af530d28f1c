#include "platform/qt/QtProgressPanel.h"

#include "platform/qt/QtMnemonics.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace platform::qt {

namespace {

int clamped(std::size_t n)
{
    return static_cast<int>(std::min<std::size_t>(n, 1u << 30));
}

qint64 steadyMilliseconds()
{
    static QElapsedTimer started = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return started.elapsed();
}

/// A progress dialog that stays up when its button, Escape or the window's close ask it to stop:
/// it says so while the step ends, and closes only with the panel.
class StayingProgressDialog : public QProgressDialog {
public:
    explicit StayingProgressDialog(QWidget* parent) : QProgressDialog(parent)
    {
        // The base class hides and resets itself on its own signal.
        QObject::disconnect(this, SIGNAL(canceled()), this, SLOT(cancel()));
    }

    void reject() override { emit canceled(); }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        emit canceled();
    }
};

}  // namespace

QtProgressPanel::QtProgressPanel(QWidget* parent, const std::string& title, const std::string& stopButton, Clock clock)
    : m_dialog(std::make_unique<StayingProgressDialog>(parent)), m_timer(std::make_unique<QTimer>()),
      m_clock(std::move(clock))
{
    m_dialog->setWindowTitle(QApplication::applicationDisplayName());
    m_dialog->setAccessibleName(QString::fromStdString(title));
    m_dialog->setLabelText(QString::fromStdString(title));
    m_dialog->setCancelButtonText(QString::fromStdString(stopButton));
    // A title without Latin letters takes S, as Stop reads: "停止(&S)".
    if (auto* button = m_dialog->findChild<QPushButton*>())
        button->setProperty(QtMnemonics::kHintProperty, QStringLiteral("stop"));
    m_dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setMinimumDuration(0);
    m_dialog->setMinimumWidth(420);
    m_dialog->setRange(0, 0);
    QObject::connect(m_dialog.get(), &QProgressDialog::canceled, m_dialog.get(), [this] { m_stopRequested = true; });
    m_timer->setSingleShot(true);
    QObject::connect(m_timer.get(), &QTimer::timeout, m_dialog.get(), [this] { showPending(); });
    m_dialog->show();
    QAccessibleEvent shown(m_dialog.get(), QAccessible::Alert);
    QAccessible::updateAccessibility(&shown);
}

QtProgressPanel::~QtProgressPanel()
{
    m_timer->stop();
    m_dialog->hide();
}

qint64 QtProgressPanel::now() const
{
    return m_clock ? m_clock() : steadyMilliseconds();
}

void QtProgressPanel::setProgress(std::size_t done, std::size_t total, const std::string& text)
{
    if (m_stopping)
        return;
    const Report report{done, total, text};
    const qint64 at = now();
    if (!m_lastShown || done >= total || at - *m_lastShown >= kReportIntervalMs) {
        show(report);
        return;
    }
    // Held back until the interval ends; a later report replaces it.
    m_pending = report;
    if (!m_timer->isActive())
        m_timer->start(static_cast<int>(std::max<qint64>(1, kReportIntervalMs - (at - *m_lastShown))));
}

void QtProgressPanel::show(const Report& report)
{
    m_timer->stop();
    m_pending.reset();
    m_lastShown = now();
    m_dialog->setMaximum(clamped(report.total));
    m_dialog->setValue(clamped(std::min(report.done, report.total)));
    m_dialog->setLabelText(QString::fromStdString(report.text));
}

void QtProgressPanel::showPending()
{
    if (m_pending && !m_stopping)
        show(*m_pending);
}

bool QtProgressPanel::stopRequested() const
{
    return m_stopRequested;
}

void QtProgressPanel::setStopping(const std::string& text)
{
    m_stopping = true;
    m_timer->stop();
    m_pending.reset();
    // The dialog stays up, its button disabled, while the step ends. The line is a new one that
    // takes the focus from the button, so that a screen reader announces it with its text: a
    // control that is renamed, or disabled and so loses the focus, is not announced.
    const QString said = QString::fromStdString(text);
    auto* line = new QLabel(said, m_dialog.get());
    line->setAccessibleName(said);
    line->setFocusPolicy(Qt::StrongFocus);
    m_dialog->setLabel(line);
    // Once the line is known on the accessibility bus, as its new object.
    QTimer::singleShot(0, line, [line] { line->setFocus(Qt::OtherFocusReason); });
    if (auto* button = m_dialog->findChild<QPushButton*>())
        button->setEnabled(false);
}

void QtProgressPanel::setWaiting(const std::string& text)
{
    if (m_stopping)
        return;
    m_dialog->setLabelText(QString::fromStdString(text));
}

}  // namespace platform::qt
