#include "platform/qt/QtChecklistView.h"

#include "platform/qt/QtChecklistAccessible.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

namespace platform::qt {

namespace {

/// How long a disabled row's reason stays on screen while the row keeps the focus.
constexpr int kReasonMilliseconds = 30000;

QString labelAbove(const QWidget* widget)
{
    const QWidget* parent = widget->parentWidget();
    if (!parent) {
        return QString();
    }
    for (const QLabel* label : parent->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (label->buddy() == widget) {
            return label->text();
        }
    }
    const QLayout* layout = parent->layout();
    const int at = layout ? layout->indexOf(const_cast<QWidget*>(widget)) : -1;
    for (int i = at - 1; i >= 0; --i) {
        QLayoutItem* item = layout->itemAt(i);
        if (const auto* label = item && item->widget() ? qobject_cast<QLabel*>(item->widget()) : nullptr) {
            return label->isVisibleTo(parent) ? label->text() : QString();
        }
        if (item && item->widget()) {
            return QString();
        }
    }
    return QString();
}

}  // namespace

QtChecklistView::QtChecklistView(QWidget* parent) : QTableView(parent)
{
    QtChecklistAccessible::installFactory();
}

QString QtChecklistView::rowName(int row) const
{
    QStringList parts;
    const QAbstractItemModel* m = model();
    if (!m || row < 0 || row >= m->rowCount()) {
        return QString();
    }
    for (int column = 0; column < m->columnCount(); ++column) {
        const QString text = m->index(row, column).data(Qt::DisplayRole).toString().simplified();
        if (!text.isEmpty()) {
            parts << text;
        }
    }
    return parts.join(QLatin1Char(' '));
}

bool QtChecklistView::rowEnabled(int row) const
{
    const QAbstractItemModel* m = model();
    if (!m || row < 0 || row >= m->rowCount() || !isEnabled()) {
        return false;
    }
    const int column = checkColumn();
    return m->flags(m->index(row, column >= 0 ? column : 0)) & Qt::ItemIsEnabled;
}

int QtChecklistView::rowCheckState(int row) const
{
    const QAbstractItemModel* m = model();
    const int column = checkColumn();
    if (!m || column < 0 || row < 0 || row >= m->rowCount()) {
        return -1;
    }
    const QVariant state = m->index(row, column).data(Qt::CheckStateRole);
    if (!state.isValid()) {
        return -1;
    }
    return state.toInt() == static_cast<int>(Qt::Unchecked) ? 0 : 1;
}

QString QtChecklistView::rowToolTip(int row) const
{
    const QAbstractItemModel* m = model();
    if (!m || row < 0 || row >= m->rowCount()) {
        return QString();
    }
    for (int column = 0; column < m->columnCount(); ++column) {
        const QString tip = m->index(row, column).data(Qt::ToolTipRole).toString();
        if (!tip.isEmpty()) {
            return tip;
        }
    }
    return QString();
}

QString QtChecklistView::rowWholeText(int row) const
{
    const QAbstractItemModel* m = model();
    if (!m || row < 0 || row >= m->rowCount()) {
        return QString();
    }
    QStringList wholes;
    for (int column = 0; column < m->columnCount(); ++column) {
        const QString whole = m->index(row, column).data(Qt::AccessibleDescriptionRole).toString();
        if (!whole.isEmpty()) {
            wholes << whole;
        }
    }
    return wholes.join(QLatin1Char(' '));
}

int QtChecklistView::checkColumn() const
{
    const QAbstractItemModel* m = model();
    if (!m || m->rowCount() == 0) {
        return -1;
    }
    for (int column = 0; column < m->columnCount(); ++column) {
        if (m->index(0, column).data(Qt::CheckStateRole).isValid()) {
            return column;
        }
    }
    return -1;
}

QString QtChecklistView::listName() const
{
    if (!accessibleName().isEmpty()) {
        return accessibleName();
    }
    return labelAbove(this);
}

void QtChecklistView::setCurrentRow(int row)
{
    if (!model() || !selectionModel() || row < 0 || row >= model()->rowCount()) {
        return;
    }
    const int column = currentIndex().isValid() ? currentIndex().column() : 0;
    selectionModel()->setCurrentIndex(model()->index(row, column), QItemSelectionModel::NoUpdate);
}

void QtChecklistView::setModel(QAbstractItemModel* model)
{
    QTableView::setModel(model);
    rememberCheckStates();
}

void QtChecklistView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // The table's own report names a cell of a cell grid; this view's rows are what assistive
    // technologies see, so the report is this view's.
    QAbstractItemView::currentChanged(current, previous);
    if (current.isValid() && hasFocus()) {
        announceFocus(current.row());
        showReason(current.row());
    }
}

void QtChecklistView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    // Rows are not selected in a checklist; the table's report would name cells of a cell grid.
    QAbstractItemView::selectionChanged(selected, deselected);
}

void QtChecklistView::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    // After the widget's own focus report, which the toolkit sends once this returns.
    QPointer<QtChecklistView> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self && self->hasFocus() && self->currentIndex().isValid()) {
            self->announceFocus(self->currentIndex().row());
            self->showReason(self->currentIndex().row());
        }
    });
}

void QtChecklistView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    QTableView::dataChanged(topLeft, bottomRight, roles);
    if (!topLeft.isValid() || !bottomRight.isValid()) {
        return;
    }
    const int rows = model() ? model()->rowCount() : 0;
    if (static_cast<int>(m_checkStates.size()) != rows) {
        rememberCheckStates();
        return;
    }
    std::vector<int> changed;
    for (int row = std::max(0, topLeft.row()); row <= bottomRight.row() && row < rows; ++row) {
        const int state = rowCheckState(row);
        if (state == m_checkStates[static_cast<std::size_t>(row)]) {
            continue;
        }
        m_checkStates[static_cast<std::size_t>(row)] = state;
        changed.push_back(row);
    }
    if (changed.empty() || !QAccessible::isActive()) {
        return;
    }
    // One row ticked is told for that row. Many at once (Select All) are told by the control
    // that ticked them: a report per row would flood a screen reader's queue for as many rows,
    // so only the focused row's change, if it is among them, is told besides.
    const int focused = hasFocus() && currentIndex().isValid() ? currentIndex().row() : -1;
    const bool many = changed.size() > 1;
    if (many && std::find(changed.begin(), changed.end(), focused) == changed.end()) {
        return;
    }
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(this);
    if (QAccessibleInterface* item = list ? list->child(many ? focused : changed.front()) : nullptr) {
        QAccessible::State state;
        state.checked = true;
        QAccessibleStateChangeEvent event(item, state);
        QAccessible::updateAccessibility(&event);
    }
}

void QtChecklistView::reset()
{
    QTableView::reset();
    rememberCheckStates();
}

void QtChecklistView::announceFocus(int row)
{
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(this);
    if (QAccessibleInterface* item = list ? list->child(row) : nullptr) {
        QAccessibleEvent event(item, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

void QtChecklistView::showReason(int row)
{
    const QString reason = rowEnabled(row) ? QString() : rowToolTip(row);
    if (reason.isEmpty()) {
        if (QToolTip::isVisible() && QToolTip::text() == m_shownReason) {
            QToolTip::hideText();
        }
        return;
    }
    // Beside the row's text, on the row itself, so that the rows below stay readable.
    QRect rowArea;
    for (int column = 0; column < model()->columnCount(); ++column) {
        rowArea |= visualRect(model()->index(row, column));
    }
    const int textEnd = rowArea.left() + fontMetrics().horizontalAdvance(rowName(row)) + rowArea.height() * 2;
    const int x = std::min(textEnd, std::max(rowArea.left(), rowArea.right() - 200));
    // The toolkit puts a tool tip 16 pixels below the point it is given.
    const QPoint at = viewport()->mapToGlobal(QPoint(x, rowArea.top() - 16 + rowArea.height() / 8));
    m_shownReason = reason;
    QToolTip::showText(at, reason, this, QRect(), kReasonMilliseconds);
}

void QtChecklistView::rememberCheckStates()
{
    const int rows = model() ? model()->rowCount() : 0;
    m_checkStates.assign(static_cast<std::size_t>(rows), -1);
    if (checkColumn() < 0) {
        return;
    }
    for (int row = 0; row < rows; ++row) {
        m_checkStates[static_cast<std::size_t>(row)] = rowCheckState(row);
    }
}

}  // namespace platform::qt
