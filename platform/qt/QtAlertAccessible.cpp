#include "platform/qt/QtAlertAccessible.h"

#include <QLabel>
#include <QMessageBox>

namespace platform::qt {

namespace {

constexpr const char* kAlertProperty = "platformAlert";

QString readable(QString text)
{
    text.remove(QChar(0x2060));
    text.replace(QChar(0x00A0), QLatin1Char(' '));
    return text;
}

QAccessibleInterface* alertFactory(const QString&, QObject* object)
{
    auto* box = qobject_cast<QMessageBox*>(object);
    if (box && box->property(kAlertProperty).toBool()) {
        return new QtAlertAccessible(box);
    }
    return nullptr;
}

}  // namespace

void QtAlertAccessible::installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(&alertFactory);
        return true;
    }();
    (void)installed;
}

void QtAlertAccessible::markAsAlert(QMessageBox* box)
{
    installFactory();
    box->setProperty(kAlertProperty, true);
    box->setAccessibleName(readable(box->text()));
    // The message is the text of a label in the alert, which a screen reader reads when the alert
    // opens; as the description too, it would be read twice.
    if (!box->accessibleDescription().isEmpty()) {
        box->setAccessibleDescription(QString());
    }
    // Its labels are read without the marks too.
    for (QLabel* label : box->findChildren<QLabel*>()) {
        if (label->objectName().startsWith(QLatin1String("qt_msgbox_")) && !label->text().isEmpty()) {
            label->setAccessibleName(readable(label->text()));
        }
    }
}

QtAlertAccessible::QtAlertAccessible(QMessageBox* box) : QAccessibleWidget(box, QAccessible::AlertMessage) {}

QString QtAlertAccessible::text(QAccessible::Text t) const
{
    const auto* box = static_cast<const QMessageBox*>(widget());
    if (t == QAccessible::Name) {
        return box->accessibleName();
    }
    if (t == QAccessible::Description) {
        return box->accessibleDescription();
    }
    return QAccessibleWidget::text(t);
}

}  // namespace platform::qt
