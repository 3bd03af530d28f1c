#include "platform/headless/HeadlessControls.h"

namespace platform::headless {

HeadlessButton::HeadlessButton(std::string name, Kind kind) : HeadlessControl(std::move(name)), m_kind(kind) {}

void HeadlessButton::setTitle(const std::string& title)
{
    m_title = title;
    m_titles.push_back(title);
}

void HeadlessButton::setState(NSInteger state)
{
    m_state = state;
    m_states.push_back(state);
}

bool HeadlessButton::click()
{
    if (!isEnabled() || isHidden()) {
        return false;
    }
    if (m_kind == Kind::CheckBox) {
        m_state = m_state == 1 ? 0 : 1;
    }
    if (m_action) {
        m_action(this);
    }
    return true;
}

HeadlessTableView::HeadlessTableView(std::string name, std::vector<std::string> columnIdentifiers)
    : HeadlessControl(std::move(name))
{
    for (auto& identifier : columnIdentifiers) {
        m_columns.push_back(std::make_unique<TableColumn>(std::move(identifier)));
    }
}

void HeadlessTableView::reloadData()
{
    ++m_reloadCount;
}

std::vector<TableColumn*> HeadlessTableView::tableColumns() const
{
    std::vector<TableColumn*> columns;
    columns.reserve(m_columns.size());
    for (const auto& column : m_columns) {
        columns.push_back(column.get());
    }
    return columns;
}

NSInteger HeadlessTableView::numberOfRows()
{
    if (!m_dataSource) {
        return 0;
    }
    const NSInteger rows = m_dataSource->numberOfRowsInTableView(this);
    return rows < 0 ? 0 : rows;
}

ObjectValue HeadlessTableView::valueAt(const std::string& columnIdentifier, NSInteger row)
{
    TableColumn* column = tableColumnWithIdentifier(columnIdentifier);
    if (!column || row < 0 || row >= numberOfRows()) {
        return std::nullopt;
    }
    return m_dataSource->objectValueForTableColumn(this, column, row);
}

bool HeadlessTableView::isCellEnabled(const std::string& columnIdentifier, NSInteger row)
{
    if (!isEnabled()) {
        return false;
    }
    TableColumn* column = tableColumnWithIdentifier(columnIdentifier);
    if (!column || row < 0 || row >= numberOfRows()) {
        return false;
    }
    if (!m_delegate) {
        return true;
    }
    Cell cell;
    m_delegate->willDisplayCell(this, &cell, column, row);
    return cell.isEnabled();
}

bool HeadlessTableView::userEdit(const std::string& columnIdentifier, NSInteger row, const ObjectValue& value)
{
    if (isHidden() || !isCellEnabled(columnIdentifier, row)) {
        return false;
    }
    m_dataSource->setObjectValue(this, value, tableColumnWithIdentifier(columnIdentifier), row);
    return true;
}

bool HeadlessTableView::userToggle(NSInteger row, const std::string& columnIdentifier)
{
    const NSInteger shown = intValue(valueAt(columnIdentifier, row));
    return userEdit(columnIdentifier, row, ObjectValue(PlistValue(static_cast<std::int64_t>(shown == 0 ? 1 : 0))));
}

void HeadlessWindow::close()
{
    if (m_delegate) {
        m_delegate->windowWillClose(this);
    }
    m_visible = false;
}

}  // namespace platform::headless
