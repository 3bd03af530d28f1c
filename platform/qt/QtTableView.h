#pragma once

#include "platform/appkit/TableView.h"
#include "platform/qt/QtControl.h"

#include <QPointer>
#include <QStringList>
#include <QTableView>

#include <memory>
#include <vector>

namespace platform::qt {

class QtTableModel;

/// A QTableView whose model asks this table's data source and delegate. The column identifiers
/// come from the view's "columns" property (a comma-separated list) or its header titles.
class QtTableView : public QtControl<TableView, QTableView> {
public:
    QtTableView(QTableView* view, const QStringList& identifiers, const QStringList& headerTitles);
    ~QtTableView() override;

    void setDataSource(TableDataSource* dataSource) override;
    TableDataSource* dataSource() const override { return m_dataSource; }
    void setDelegate(TableDelegate* delegate) override;
    TableDelegate* delegate() const override { return m_delegate; }
    void reloadData() override;
    std::vector<TableColumn*> tableColumns() const override;

    QtTableModel* model() const { return m_model.get(); }

private:
    TableDataSource* m_dataSource = nullptr;
    TableDelegate* m_delegate = nullptr;
    std::vector<std::unique_ptr<TableColumn>> m_columns;
    std::unique_ptr<QtTableModel> m_model;
};

}  // namespace platform::qt
