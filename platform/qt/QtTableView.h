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
/// By keyboard the table is one stop of Tab: the focus lands on the first enabled row, the arrow
/// keys go through every row, disabled ones included (Space leaves those alone), and Space ticks
/// or unticks the focused row from any column; a click on a row's text ticks it too. The focused
/// row is framed as a whole.
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
    std::size_t tableColumnCount() const override { return m_columns.size(); }
    TableColumn* tableColumnAt(std::size_t index) const override
    {
        return index < m_columns.size() ? m_columns[index].get() : nullptr;
    }

    QtTableModel* model() const { return m_model.get(); }

    /// Ticks the row when it is unticked and the other way round, as a click on its box does;
    /// nothing for a disabled row or a table without a "chk" column.
    void toggleRow(int row);
    /// Puts the focus mark on the row, enabled or not; nothing for a row that is not there.
    void setCurrentRow(int row);
    /// The first enabled row from start on, going down (step 1) or up (-1); -1 when none.
    int enabledRowFrom(int start, int step) const;

private:
    class KeyFilter;
    int checkColumn() const;
    /// Puts the current index on the first enabled row when it is on no row, or, with
    /// enabledOnly, on a disabled one that the user did not move to by keyboard.
    void ensureCurrentRow(bool enabledOnly);

    TableDataSource* m_dataSource = nullptr;
    TableDelegate* m_delegate = nullptr;
    std::vector<std::unique_ptr<TableColumn>> m_columns;
    std::unique_ptr<QtTableModel> m_model;
    KeyFilter* m_keyFilter = nullptr;
    /// The row the user last moved the focus to with the arrow keys, -1 before that.
    int m_chosenRow = -1;
};

}  // namespace platform::qt
