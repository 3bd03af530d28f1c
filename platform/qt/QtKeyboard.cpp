#include "platform/qt/QtKeyboard.h"

#include "platform/qt/QtMnemonics.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace platform::qt {

namespace {

QPushButton* defaultButtonOf(QWidget* window)
{
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->isDefault() && button->window() == window) {
            return button;
        }
    }
    return nullptr;
}

bool isReturn(const QKeyEvent* key)
{
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier;
}

}  // namespace

QtKeyboard::QtKeyboard(QObject* parent) : QObject(parent) {}

void QtKeyboard::prepare(QWidget* window)
{
    if (!window) {
        return;
    }
    // Outside dialogs a push button ignores Return unless it is an auto-default one.
    if (!qobject_cast<QDialog*>(window)) {
        for (QPushButton* button : window->findChildren<QPushButton*>()) {
            if (button->window() == window) {
                button->setAutoDefault(true);
            }
        }
    }
    QtMnemonics::assign(window);
}

void QtKeyboard::prepareAll()
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible()) {
            prepare(top);
        }
    }
}

void QtKeyboard::schedule(QWidget* window)
{
    const bool first = m_pending.empty();
    if (std::find(m_pending.begin(), m_pending.end(), window) == m_pending.end()) {
        m_pending.emplace_back(window);
    }
    if (!first) {
        return;
    }
    QTimer::singleShot(0, this, [this] {
        auto pending = std::move(m_pending);
        m_pending.clear();
        for (const QPointer<QWidget>& window : pending) {
            prepare(window);
        }
    });
}

bool QtKeyboard::eventFilter(QObject* watched, QEvent* event)
{
    if (!watched->isWidgetType()) {
        return false;
    }
    auto* widget = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::Show:
        if (widget->isWindow()) {
            prepare(widget);
        }
        break;
    case QEvent::Paint:
        // A button whose text was set anew since it was marked: mark its window again.
        if (auto* button = qobject_cast<QAbstractButton*>(widget);
            button && !button->text().isEmpty() && QtMnemonics::letterOf(button).isNull()) {
            schedule(button->window());
        }
        break;
    case QEvent::KeyPress:
        // Return that no control inside took has reached the window itself.
        if (widget->isWindow() && !qobject_cast<QDialog*>(widget) && isReturn(static_cast<QKeyEvent*>(event))) {
            QPushButton* button = defaultButtonOf(widget);
            if (button && button->isEnabled() && button->isVisible()) {
                button->click();
                return true;
            }
        }
        break;
    default:
        break;
    }
    return false;
}

}  // namespace platform::qt
