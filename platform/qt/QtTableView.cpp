#include "platform/qt/QtTableView.h"

#include "platform/qt/QtRowFocusDelegate.h"
#include "platform/qt/QtTableModel.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>

#include <algorithm>

namespace platform::qt {

class QtTableView::KeyFilter : public QObject {
public:
    explicit KeyFilter(QtTableView& table) : m_table(table) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        QTableView* view = m_table.widget();
        if (watched != view) {
            return false;
        }
        switch (event->type()) {
        case QEvent::FocusIn:
            m_table.ensureCurrentRow(true);
            view->viewport()->update();
            return false;
        case QEvent::FocusOut:
            view->viewport()->update();
            return false;
        case QEvent::KeyPress:
            return keyPressed(view, static_cast<QKeyEvent*>(event));
        default:
            return false;
        }
    }

private:
    bool keyPressed(QTableView* view, QKeyEvent* key)
    {
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
            return false;
        }
        const int current = view->currentIndex().isValid() ? view->currentIndex().row() : -1;
        const int rows = m_table.model()->rowCount();
        int target = -1;
        switch (key->key()) {
        case Qt::Key_Space:
        case Qt::Key_Select:
            if (current >= 0) {
                m_table.toggleRow(current);
            }
            return true;
        // Disabled rows are stops too: their tool tip says why they cannot be ticked.
        case Qt::Key_Down:
            target = std::min(current + 1, rows - 1);
            break;
        case Qt::Key_Up:
            target = std::max(current - 1, 0);
            break;
        case Qt::Key_Home:
            target = 0;
            break;
        case Qt::Key_End:
            target = rows - 1;
            break;
        default:
            return false;
        }
        if (target >= 0 && target < rows) {
            m_table.setCurrentRow(target);
            m_table.m_chosenRow = target;
        }
        return true;
    }

    QtTableView& m_table;
};

QtTableView::QtTableView(QTableView* view, const QStringList& identifiers, const QStringList& headerTitles)
    : QtControl(view)
{
    for (const QString& identifier : identifiers) {
        m_columns.push_back(std::make_unique<TableColumn>(identifier.toStdString()));
    }
    m_model = std::make_unique<QtTableModel>(*this, headerTitles);
    view->setModel(m_model.get());
    for (int i = 0; i < identifiers.size(); ++i) {
        if (identifiers.at(i) == QLatin1String("chk")) {
            view->horizontalHeader()->setSectionResizeMode(i, QHeaderView::ResizeToContents);
        }
    }
    view->horizontalHeader()->setStretchLastSection(true);
    // A name too long for its column keeps its beginning and its end.
    view->setTextElideMode(Qt::ElideMiddle);

    // Tab leaves the table for the next control instead of moving from cell to cell.
    view->setTabKeyNavigation(false);
    // A row's tick is its state; a selection highlight would only be mistaken for the focus,
    // which the row frame shows.
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->setFocusPolicy(Qt::StrongFocus);
    view->setItemDelegate(new QtRowFocusDelegate(view));
    m_keyFilter = new KeyFilter(*this);
    m_keyFilter->setParent(&m_context);
    view->installEventFilter(m_keyFilter);
    QObject::connect(view, &QAbstractItemView::clicked, &m_context, [this](const QModelIndex& index) {
        if (index.isValid() && index.column() != checkColumn()) {
            toggleRow(index.row());
        }
    });
    QObject::connect(m_model.get(), &QAbstractItemModel::modelReset, &m_context, [this] { ensureCurrentRow(true); });
    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentChanged, &m_context, [view] {
        view->viewport()->update();
    });
}

int QtTableView::checkColumn() const
{
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i]->identifier() == "chk") {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int QtTableView::enabledRowFrom(int start, int step) const
{
    const int rows = m_model->rowCount();
    for (int row = start; row >= 0 && row < rows; row += step) {
        if (m_model->flags(m_model->index(row, 0)) & Qt::ItemIsEnabled) {
            return row;
        }
    }
    return -1;
}

void QtTableView::toggleRow(int row)
{
    const int column = checkColumn();
    if (column < 0 || !m_widget || !m_widget->isEnabled()) {
        return;
    }
    const QModelIndex index = m_model->index(row, column);
    const Qt::ItemFlags flags = m_model->flags(index);
    if (!(flags & Qt::ItemIsEnabled) || !(flags & Qt::ItemIsUserCheckable)) {
        return;
    }
    const bool ticked = m_model->data(index, Qt::CheckStateRole).toInt() == static_cast<int>(Qt::Checked);
    m_model->setData(index, static_cast<int>(ticked ? Qt::Unchecked : Qt::Checked), Qt::CheckStateRole);
}

void QtTableView::ensureCurrentRow(bool enabledOnly)
{
    if (!m_widget) {
        return;
    }
    const QModelIndex current = m_widget->currentIndex();
    if (current.isValid() && current.row() < m_model->rowCount() &&
        (!enabledOnly || current.row() == m_chosenRow || (m_model->flags(current) & Qt::ItemIsEnabled) ||
         enabledRowFrom(0, 1) < 0)) {
        return;
    }
    const int row = enabledRowFrom(0, 1);
    setCurrentRow(row >= 0 ? row : 0);
}

void QtTableView::setCurrentRow(int row)
{
    if (!m_widget || !m_widget->selectionModel() || row < 0 || row >= m_model->rowCount()) {
        return;
    }
    // The view itself refuses a disabled row as current; the selection model takes any.
    const int column = m_widget->currentIndex().isValid() ? m_widget->currentIndex().column() : 0;
    m_widget->selectionModel()->setCurrentIndex(m_model->index(row, column), QItemSelectionModel::NoUpdate);
}

QtTableView::~QtTableView()
{
    if (m_widget && m_widget->model() == m_model.get()) {
        m_widget->setModel(nullptr);
    }
}

void QtTableView::setDataSource(TableDataSource* dataSource)
{
    m_dataSource = dataSource;
    reloadData();
}

void QtTableView::setDelegate(TableDelegate* delegate)
{
    m_delegate = delegate;
    reloadData();
}

void QtTableView::reloadData()
{
    m_model->reload();
}

std::vector<TableColumn*> QtTableView::tableColumns() const
{
    std::vector<TableColumn*> columns;
    columns.reserve(m_columns.size());
    for (const auto& column : m_columns) {
        columns.push_back(column.get());
    }
    return columns;
}

}  // namespace platform::qt
