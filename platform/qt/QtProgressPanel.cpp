#include "platform/qt/QtProgressPanel.h"

#include "platform/qt/QtMnemonics.h"

#include <QAccessible>
#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>

namespace platform::qt {

QtProgressPanel::QtProgressPanel(QWidget* parent, const std::string& title, const std::string& stopButton)
    : m_dialog(std::make_unique<QProgressDialog>(parent))
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
    m_dialog->show();
    QAccessibleEvent shown(m_dialog.get(), QAccessible::Alert);
    QAccessible::updateAccessibility(&shown);
}

QtProgressPanel::~QtProgressPanel()
{
    m_dialog->hide();
}

void QtProgressPanel::setProgress(std::size_t done, std::size_t total, const std::string& text)
{
    const auto clamp = [](std::size_t n) { return static_cast<int>(std::min<std::size_t>(n, 1u << 30)); };
    m_dialog->setMaximum(clamp(total));
    m_dialog->setValue(clamp(std::min(done, total)));
    m_dialog->setLabelText(QString::fromStdString(text));
    m_dialog->setAccessibleDescription(QString::fromStdString(text));
}

bool QtProgressPanel::stopRequested() const
{
    return m_stopRequested;
}

void QtProgressPanel::setStopping(const std::string& text)
{
    m_dialog->setLabelText(QString::fromStdString(text));
    m_dialog->setAccessibleDescription(QString::fromStdString(text));
    // The dialog hides itself on Cancel; it stays up, without its button, while the step ends.
    m_dialog->show();
    if (auto* button = m_dialog->findChild<QPushButton*>())
        button->setEnabled(false);
}

}  // namespace platform::qt
