#include "platform/qt/QtTableView.h"

#include "platform/qt/QtTableModel.h"

#include <QHeaderView>

namespace platform::qt {

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
