#pragma once

#include <QAccessibleWidget>
#include <QHash>

namespace platform::qt {

class QtChecklistView;

/// What assistive technologies see of a checklist: a list named by the instruction above it,
/// whose children are its rows, each one check box (QtChecklistRowAccessible).
class QtChecklistAccessible : public QAccessibleWidget {
public:
    explicit QtChecklistAccessible(QtChecklistView* view);
    ~QtChecklistAccessible() override;

    /// Makes the toolkit ask this class for every QtChecklistView; once per process.
    static void installFactory();

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

private:
    QtChecklistView* view() const;

    /// The row interfaces made so far, by row; each is registered with the toolkit, which keeps
    /// their identifiers stable for the assistive technologies.
    mutable QHash<int, QAccessible::Id> m_rows;
};

}  // namespace platform::qt
