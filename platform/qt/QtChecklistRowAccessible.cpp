#include "platform/qt/QtChecklistRowAccessible.h"

#include "platform/qt/QtChecklistView.h"

#include <QHeaderView>
#include <QWindow>

namespace platform::qt {

QtChecklistRowAccessible::QtChecklistRowAccessible(QtChecklistView* view, int row) : m_view(view), m_row(row) {}

bool QtChecklistRowAccessible::isValid() const
{
    return m_view && m_view->model() && m_row >= 0 && m_row < m_view->model()->rowCount();
}

QWindow* QtChecklistRowAccessible::window() const
{
    return m_view ? m_view->window()->windowHandle() : nullptr;
}

QAccessibleInterface* QtChecklistRowAccessible::parent() const
{
    return m_view ? QAccessible::queryAccessibleInterface(m_view.data()) : nullptr;
}

QString QtChecklistRowAccessible::text(QAccessible::Text t) const
{
    if (!isValid()) {
        return QString();
    }
    switch (t) {
    case QAccessible::Name:
        return m_view->rowName(m_row);
    case QAccessible::Description: {
        // The whole text of a name shown shortened, then the reason a row is disabled; a tool tip
        // that only repeats the name would be read twice.
        QString tip = m_view->rowToolTip(m_row);
        if (tip == m_view->rowName(m_row)) {
            tip.clear();
        }
        const QString whole = m_view->rowWholeText(m_row);
        return whole.isEmpty() || tip.isEmpty() ? whole + tip : whole + QLatin1Char('\n') + tip;
    }
    default:
        return QString();
    }
}

QRect QtChecklistRowAccessible::rect() const
{
    if (!isValid()) {
        return QRect();
    }
    QRect area;
    for (int column = 0; column < m_view->model()->columnCount(); ++column) {
        area |= m_view->visualRect(m_view->model()->index(m_row, column));
    }
    return area.translated(m_view->viewport()->mapToGlobal(QPoint(0, 0)));
}

QAccessible::Role QtChecklistRowAccessible::role() const
{
    return isValid() && m_view->rowCheckState(m_row) < 0 ? QAccessible::ListItem : QAccessible::CheckBox;
}

QAccessible::State QtChecklistRowAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    const int checked = m_view->rowCheckState(m_row);
    state.checkable = checked >= 0;
    state.checked = checked == 1;
    state.focusable = true;
    state.focused = m_view->hasFocus() && m_view->currentIndex().isValid() && m_view->currentIndex().row() == m_row;
    state.disabled = !m_view->rowEnabled(m_row);
    const QRect visible(m_view->viewport()->mapToGlobal(QPoint(0, 0)), m_view->viewport()->size());
    state.invisible = !m_view->isVisible() || !visible.intersects(rect());
    state.offscreen = state.invisible;
    return state;
}

void* QtChecklistRowAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ActionInterface) {
        return static_cast<QAccessibleActionInterface*>(this);
    }
    return nullptr;
}

QStringList QtChecklistRowAccessible::actionNames() const
{
    if (!isValid() || !m_view->rowEnabled(m_row) || m_view->rowCheckState(m_row) < 0) {
        return {};
    }
    return {toggleAction()};
}

void QtChecklistRowAccessible::doAction(const QString& actionName)
{
    if (actionName != toggleAction() || !isValid() || !m_view->rowEnabled(m_row)) {
        return;
    }
    const int checked = m_view->rowCheckState(m_row);
    if (checked < 0) {
        return;
    }
    m_view->setCurrentRow(m_row);
    const QModelIndex cell = m_view->model()->index(m_row, m_view->checkColumn());
    m_view->model()->setData(cell, static_cast<int>(checked ? Qt::Unchecked : Qt::Checked), Qt::CheckStateRole);
}

QStringList QtChecklistRowAccessible::keyBindingsForAction(const QString& actionName) const
{
    if (actionName == toggleAction()) {
        return {QStringLiteral("Space")};
    }
    return {};
}

}  // namespace platform::qt
