#include "platform/qt/QtChecklistAccessible.h"

#include "platform/qt/QtChecklistRowAccessible.h"
#include "platform/qt/QtChecklistView.h"

namespace platform::qt {

namespace {

QAccessibleInterface* checklistFactory(const QString&, QObject* object)
{
    if (auto* view = qobject_cast<QtChecklistView*>(object)) {
        return new QtChecklistAccessible(view);
    }
    return nullptr;
}

}  // namespace

void QtChecklistAccessible::installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(&checklistFactory);
        return true;
    }();
    (void)installed;
}

QtChecklistAccessible::QtChecklistAccessible(QtChecklistView* view) : QAccessibleWidget(view, QAccessible::List) {}

QtChecklistAccessible::~QtChecklistAccessible()
{
    for (QAccessible::Id id : std::as_const(m_rows)) {
        QAccessible::deleteAccessibleInterface(id);
    }
}

QtChecklistView* QtChecklistAccessible::view() const
{
    return static_cast<QtChecklistView*>(widget());
}

QString QtChecklistAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name) {
        if (const QString name = view()->listName(); !name.isEmpty()) {
            return name;
        }
    }
    return QAccessibleWidget::text(t);
}

QAccessible::State QtChecklistAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.focusable = true;
    return state;
}

int QtChecklistAccessible::childCount() const
{
    return view()->model() ? view()->model()->rowCount() : 0;
}

QAccessibleInterface* QtChecklistAccessible::child(int index) const
{
    if (index < 0 || index >= childCount()) {
        return nullptr;
    }
    if (auto found = m_rows.constFind(index); found != m_rows.constEnd()) {
        if (QAccessibleInterface* row = QAccessible::accessibleInterface(*found)) {
            return row;
        }
    }
    auto* row = new QtChecklistRowAccessible(view(), index);
    m_rows.insert(index, QAccessible::registerAccessibleInterface(row));
    return row;
}

int QtChecklistAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    for (auto it = m_rows.constBegin(); it != m_rows.constEnd(); ++it) {
        if (QAccessible::accessibleInterface(it.value()) == child) {
            return it.key() < childCount() ? it.key() : -1;
        }
    }
    return -1;
}

QAccessibleInterface* QtChecklistAccessible::childAt(int x, int y) const
{
    const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
    return index.isValid() ? child(index.row()) : nullptr;
}

QAccessibleInterface* QtChecklistAccessible::focusChild() const
{
    if (!view()->hasFocus() || !view()->currentIndex().isValid()) {
        return nullptr;
    }
    return child(view()->currentIndex().row());
}

}  // namespace platform::qt
