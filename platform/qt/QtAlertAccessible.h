#pragma once

#include <QAccessibleWidget>

class QMessageBox;

namespace platform::qt {

/// What assistive technologies see of an alert: a window with the alert role whose name is the
/// alert's title; its message is read from the label that shows it, once, when the alert opens.
class QtAlertAccessible : public QAccessibleWidget {
public:
    explicit QtAlertAccessible(QMessageBox* box);

    /// Makes the toolkit ask this class for every message box marked with markAsAlert; once per
    /// process.
    static void installFactory();
    /// Marks the box as an alert; its accessible name is its title, without the marks that only
    /// steer line breaking, and it has no description of its own.
    static void markAsAlert(QMessageBox* box);

    QString text(QAccessible::Text t) const override;
};

}  // namespace platform::qt
