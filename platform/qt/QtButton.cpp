#include "platform/qt/QtButton.h"

#include "platform/qt/QtKeyboard.h"
#include "platform/qt/QtMnemonics.h"

#include <QCheckBox>

namespace platform::qt {

QtButton::QtButton(QAbstractButton* button) : QtControl(button)
{
    QObject::connect(button, &QAbstractButton::clicked, &m_context, [this] {
        if (m_action) {
            m_action(this);
        }
    });
    if (auto* box = qobject_cast<QCheckBox*>(button)) {
        // A mixed state set by the program is left by the next click for good: a click never
        // leads back to it.
        QObject::connect(box, &QCheckBox::stateChanged, &m_context, [box](int state) {
            if (state != Qt::PartiallyChecked) {
                box->setTristate(false);
            }
        });
    }
}

void QtButton::setTitle(const std::string& title)
{
    if (m_widget) {
        m_widget->setText(QString::fromStdString(title));
        // The new text gets a mnemonic at once, as the one before had.
        if (m_widget->window()->isVisible()) {
            QtKeyboard::prepare(m_widget->window());
        }
    }
}

std::string QtButton::title() const
{
    return m_widget ? QtMnemonics::plainText(m_widget.data()).toStdString() : std::string();
}

void QtButton::setState(NSInteger state)
{
    m_state = state;
    if (!m_widget) {
        return;
    }
    if (auto* box = qobject_cast<QCheckBox*>(m_widget.data())) {
        box->setCheckState(state == 0 ? Qt::Unchecked : state < 0 ? Qt::PartiallyChecked : Qt::Checked);
    } else if (m_widget->isCheckable()) {
        m_widget->setChecked(state != 0);
    }
}

NSInteger QtButton::state() const
{
    if (!m_widget) {
        return m_state;
    }
    if (auto* box = qobject_cast<QCheckBox*>(m_widget.data())) {
        switch (box->checkState()) {
        case Qt::Unchecked:
            return 0;
        case Qt::PartiallyChecked:
            return -1;
        case Qt::Checked:
            return 1;
        }
    }
    if (m_widget->isCheckable()) {
        return m_widget->isChecked() ? 1 : 0;
    }
    return m_state;
}

bool QtButton::isCheckBox() const
{
    return qobject_cast<QCheckBox*>(m_widget.data()) != nullptr;
}

}  // namespace platform::qt
