#pragma once

#include <QAccessibleActionInterface>
#include <QAccessibleInterface>
#include <QPointer>

namespace platform::qt {

class QtChecklistView;

/// One row of a checklist as assistive technologies see it: a check box named by the row's text,
/// checkable, checked when ticked, disabled with its reason as description when the row cannot
/// be ticked, and toggled by its action as by Space. A text shown shortened is whole in the
/// description.
class QtChecklistRowAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    QtChecklistRowAccessible(QtChecklistView* view, int row);

    int row() const { return m_row; }
    QtChecklistView* view() const { return m_view; }

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

private:
    QPointer<QtChecklistView> m_view;
    int m_row;
};

}  // namespace platform::qt
