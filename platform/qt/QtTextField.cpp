#include "platform/qt/QtTextField.h"

#include <QLabel>
#include <QLineEdit>

namespace platform::qt {

void QtTextField::setStringValue(const std::string& text)
{
    const QString value = QString::fromStdString(text);
    if (auto* label = qobject_cast<QLabel*>(m_widget.data())) {
        label->setText(value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(m_widget.data())) {
        edit->setText(value);
    }
}

std::string QtTextField::stringValue() const
{
    if (auto* label = qobject_cast<QLabel*>(m_widget.data())) {
        return label->text().toStdString();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(m_widget.data())) {
        return edit->text().toStdString();
    }
    return std::string();
}

}  // namespace platform::qt
