#include "platform/qt/QtWindow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

namespace platform::qt {

class QtWindow::CloseFilter : public QObject {
public:
    explicit CloseFilter(QtWindow& window) : m_window(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close && watched == m_window.widget() && m_window.m_delegate) {
            m_window.m_delegate->windowWillClose(&m_window);
        }
        return false;
    }

private:
    QtWindow& m_window;
};

QtWindow::QtWindow(QWidget* widget) : QtControl(widget), m_filter(new CloseFilter(*this))
{
    m_filter->setParent(&m_context);
    widget->installEventFilter(m_filter);
}

QtWindow::~QtWindow()
{
    if (m_widget) {
        m_widget->removeEventFilter(m_filter);
    }
}

void QtWindow::center()
{
    if (!m_widget) {
        return;
    }
    m_widget->ensurePolished();
    if (!m_widget->testAttribute(Qt::WA_Resized)) {
        m_widget->adjustSize();
    }
    QScreen* screen = m_widget->screen();
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen) {
        return;
    }
    QRect frame = m_widget->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    m_widget->move(frame.topLeft());
}

void QtWindow::setTitle(const std::string& title)
{
    if (m_widget) {
        m_widget->setWindowTitle(QString::fromStdString(title));
    }
}

std::string QtWindow::title() const
{
    return m_widget ? m_widget->windowTitle().toStdString() : std::string();
}

void QtWindow::makeKeyAndOrderFront()
{
    if (!m_widget) {
        return;
    }
    m_widget->show();
    m_widget->raise();
    m_widget->activateWindow();
}

bool QtWindow::makeFirstResponder(Control* control)
{
    auto* holder = dynamic_cast<QtWidgetHolder*>(control);
    QWidget* target = holder ? holder->nativeWidget() : nullptr;
    if (!m_widget || !target || target->window() != m_widget || !target->isEnabled() || !target->isVisibleTo(m_widget) ||
        target->focusPolicy() == Qt::NoFocus) {
        return false;
    }
    target->setFocus(Qt::OtherFocusReason);
    // Back from an alert, the window may not be active yet; the focus reaches the control, and
    // is announced, once it is.
    if (!m_widget->isActiveWindow()) {
        m_widget->activateWindow();
    }
    return true;
}

void QtWindow::close()
{
    if (m_widget) {
        m_widget->close();
    }
}

}  // namespace platform::qt
