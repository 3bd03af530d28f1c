#pragma once

#include "platform/appkit/Button.h"
#include "platform/appkit/TableView.h"
#include "platform/appkit/TextField.h"
#include "platform/appkit/Window.h"

#include <memory>
#include <string>
#include <vector>

namespace platform::headless {

/// Shared state of every in-memory control: name, enabled and hidden flags.
template <class Base>
class HeadlessControl : public Base {
public:
    explicit HeadlessControl(std::string name) : m_name(std::move(name)) {}
    std::string objectName() const override { return m_name; }
    void setEnabled(bool enabled) override { m_enabled = enabled; }
    bool isEnabled() const override { return m_enabled; }
    void setHidden(bool hidden) override { m_hidden = hidden; }
    bool isHidden() const override { return m_hidden; }

private:
    std::string m_name;
    bool m_enabled = true;
    bool m_hidden = false;
};

/// A button that records what was asked of it; click() acts as a user's click.
class HeadlessButton : public HeadlessControl<Button> {
public:
    enum class Kind { Push, CheckBox };
    explicit HeadlessButton(std::string name, Kind kind = Kind::Push);

    void setTitle(const std::string& title) override;
    std::string title() const override { return m_title; }
    void setState(NSInteger state) override;
    NSInteger state() const override { return m_state; }
    void setAction(Action action) override { m_action = std::move(action); }

    /// A user's click: nothing when disabled or hidden; a check box toggles between 0 and 1
    /// (mixed goes to 1) before the action is sent. Answers whether the click reached the button.
    bool click();

    /// Every title and state set, in order.
    const std::vector<std::string>& titleHistory() const { return m_titles; }
    const std::vector<NSInteger>& stateHistory() const { return m_states; }

private:
    Kind m_kind;
    std::string m_title;
    NSInteger m_state = 0;
    Action m_action;
    std::vector<std::string> m_titles;
    std::vector<NSInteger> m_states;
};

class HeadlessTextField : public HeadlessControl<TextField> {
public:
    using HeadlessControl::HeadlessControl;
    void setStringValue(const std::string& text) override { m_text = text; }
    std::string stringValue() const override { return m_text; }

private:
    std::string m_text;
};

/// A table that asks its data source and delegate exactly as a drawn table would.
class HeadlessTableView : public HeadlessControl<TableView> {
public:
    HeadlessTableView(std::string name, std::vector<std::string> columnIdentifiers);

    void setDataSource(TableDataSource* dataSource) override { m_dataSource = dataSource; }
    TableDataSource* dataSource() const override { return m_dataSource; }
    void setDelegate(TableDelegate* delegate) override { m_delegate = delegate; }
    TableDelegate* delegate() const override { return m_delegate; }
    void reloadData() override;
    std::vector<TableColumn*> tableColumns() const override;

    std::size_t reloadCount() const { return m_reloadCount; }
    /// The data source's current row count (0 without a data source).
    NSInteger numberOfRows();
    /// The value the data source gives a cell.
    ObjectValue valueAt(const std::string& columnIdentifier, NSInteger row);
    /// Whether the delegate leaves the cell enabled (true without a delegate); the table itself
    /// must be enabled too.
    bool isCellEnabled(const std::string& columnIdentifier, NSInteger row);
    /// A user's edit of a cell: reaches the data source only when the cell is enabled and the row
    /// exists. Answers whether it did.
    bool userEdit(const std::string& columnIdentifier, NSInteger row, const ObjectValue& value);
    /// A user's click on the tick box of column "chk": writes 1 when it shows 0, else 0.
    bool userToggle(NSInteger row, const std::string& columnIdentifier = "chk");

private:
    TableDataSource* m_dataSource = nullptr;
    TableDelegate* m_delegate = nullptr;
    std::vector<std::unique_ptr<TableColumn>> m_columns;
    std::size_t m_reloadCount = 0;
};

/// A window that records centring and tells its delegate when it closes.
class HeadlessWindow : public HeadlessControl<Window> {
public:
    using HeadlessControl::HeadlessControl;
    void center() override { ++m_centerCount; }
    void setTitle(const std::string& title) override { m_title = title; }
    std::string title() const override { return m_title; }
    void setDelegate(WindowDelegate* delegate) override { m_delegate = delegate; }
    void makeKeyAndOrderFront() override { m_visible = true; }
    void close() override;

    std::size_t centerCount() const { return m_centerCount; }
    bool isVisible() const { return m_visible; }

private:
    std::string m_title;
    WindowDelegate* m_delegate = nullptr;
    std::size_t m_centerCount = 0;
    bool m_visible = false;
};

}  // namespace platform::headless
