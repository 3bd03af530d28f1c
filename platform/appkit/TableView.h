#pragma once

#include "platform/appkit/Control.h"
#include "platform/appkit/ObjectValue.h"
#include "platform/foundation/Types.h"

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

class TableView;

/// One column of a table, told apart by its identifier.
class TableColumn {
public:
    explicit TableColumn(std::string identifier) : m_identifier(std::move(identifier)) {}
    const std::string& identifier() const { return m_identifier; }

private:
    std::string m_identifier;
};

/// The cell a table is about to draw; a disabled cell is dimmed and ignores the user's clicks.
/// Its tool tip, when set, says more about the cell (why it is disabled, for one).
class Cell {
public:
    void setEnabled(bool enabled) { m_enabled = enabled; }
    bool isEnabled() const { return m_enabled; }
    void setToolTip(std::string toolTip) { m_toolTip = std::move(toolTip); }
    const std::string& toolTip() const { return m_toolTip; }

private:
    bool m_enabled = true;
    std::string m_toolTip;
};

/// Supplies a table's rows and takes the user's edits.
class TableDataSource {
public:
    virtual ~TableDataSource() = default;
    virtual NSInteger numberOfRowsInTableView(TableView* tableView) = 0;
    virtual ObjectValue objectValueForTableColumn(TableView* tableView, TableColumn* column, NSInteger row) = 0;
    virtual void setObjectValue(TableView* tableView, const ObjectValue& value, TableColumn* column,
                                NSInteger row) = 0;
};

/// Told before a cell is drawn, so it can enable or disable it.
class TableDelegate {
public:
    virtual ~TableDelegate() = default;
    virtual void willDisplayCell(TableView* tableView, Cell* cell, TableColumn* column, NSInteger row) = 0;
};

/// A table whose rows come from its data source; abstract so each UI backend draws its own.
/// A user's edit of a cell reaches the data source only when the delegate left the cell enabled.
class TableView : public Control {
public:
    virtual void setDataSource(TableDataSource* dataSource) = 0;
    virtual TableDataSource* dataSource() const = 0;
    virtual void setDelegate(TableDelegate* delegate) = 0;
    virtual TableDelegate* delegate() const = 0;
    /// Asks the data source again for the row count and every visible cell.
    virtual void reloadData() = 0;
    /// The columns in display order.
    virtual std::vector<TableColumn*> tableColumns() const = 0;
    /// The column at index in display order, or null: a backend asks it for every cell it shows,
    /// so a backend that holds its columns answers without copying them.
    virtual TableColumn* tableColumnAt(std::size_t index) const
    {
        const std::vector<TableColumn*> columns = tableColumns();
        return index < columns.size() ? columns[index] : nullptr;
    }
    /// How many columns there are; asked as often as tableColumnAt().
    virtual std::size_t tableColumnCount() const { return tableColumns().size(); }
    /// The column with that identifier, or null.
    TableColumn* tableColumnWithIdentifier(const std::string& identifier) const;
};

}  // namespace platform
