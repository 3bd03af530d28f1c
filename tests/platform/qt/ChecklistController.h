#pragma once

#include "platform/appkit/Application.h"
#include "platform/appkit/Button.h"
#include "platform/appkit/Interface.h"
#include "platform/appkit/TableView.h"
#include "platform/appkit/TextField.h"
#include "platform/appkit/Window.h"

#include <string>
#include <vector>

namespace platform::qt::test {

/// The owner of tests/data/qt/Checklist.ui: three rows, the second disabled; it records what the
/// interface asked of it.
class ChecklistController : public NibObject,
                            public TableDataSource,
                            public TableDelegate,
                            public ApplicationDelegate,
                            public WindowDelegate {
public:
    std::vector<std::string> names{"Alpha", "Beta", "Gamma"};
    std::vector<NSInteger> ticks{0, 0, 0};
    std::vector<bool> enabledRows{true, false, true};
    std::string disabledReason = "Not found on this computer";
    std::vector<std::string> actions;
    /// The sender's state when each action arrived (-9 for a sender that is no button).
    std::vector<NSInteger> senderStates;
    std::vector<std::pair<NSInteger, NSInteger>> edits;
    int closes = 0;
    int launches = 0;

    Window* window = nullptr;
    TableView* uiTableView = nullptr;
    Button* allSelectChk = nullptr;
    Button* uninstallButton = nullptr;
    Button* closeButton = nullptr;
    TextField* messageTitle = nullptr;

    bool connectOutlet(const std::string& name, Control* object) override
    {
        if (name == "MainWindow") {
            window = dynamic_cast<Window*>(object);
        } else if (name == "uiTableView") {
            uiTableView = dynamic_cast<TableView*>(object);
        } else if (name == "allSelectChk") {
            allSelectChk = dynamic_cast<Button*>(object);
        } else if (name == "uninstallButton") {
            uninstallButton = dynamic_cast<Button*>(object);
        } else if (name == "closeButton") {
            closeButton = dynamic_cast<Button*>(object);
        } else if (name == "messageTitle") {
            messageTitle = dynamic_cast<TextField*>(object);
        } else {
            return false;
        }
        return true;
    }

    bool performAction(const std::string& selector, Control* sender) override
    {
        actions.push_back(selector);
        auto* button = dynamic_cast<Button*>(sender);
        senderStates.push_back(button ? button->state() : -9);
        return action(selector, sender);
    }

    /// What an action does beyond being recorded.
    virtual bool action(const std::string& selector, Control*)
    {
        if (selector == "close:") {
            Application::sharedApplication().terminate(this);
        }
        return true;
    }

    NSInteger numberOfRowsInTableView(TableView*) override { return static_cast<NSInteger>(ticks.size()); }

    ObjectValue objectValueForTableColumn(TableView*, TableColumn* column, NSInteger row) override
    {
        const auto i = static_cast<std::size_t>(row);
        if (column->identifier() == "chk") {
            return PlistValue(static_cast<std::int64_t>(ticks.at(i)));
        }
        if (column->identifier() == "name") {
            return PlistValue(names.at(i));
        }
        return std::nullopt;
    }

    void setObjectValue(TableView* tableView, const ObjectValue& value, TableColumn* column, NSInteger row) override
    {
        if (column->identifier() != "chk") {
            return;
        }
        ticks.at(static_cast<std::size_t>(row)) = intValue(value) == 0 ? 0 : 1;
        edits.emplace_back(row, intValue(value));
        tableView->reloadData();
    }

    void willDisplayCell(TableView*, Cell* cell, TableColumn*, NSInteger row) override
    {
        const bool enabled = enabledRows.at(static_cast<std::size_t>(row));
        cell->setEnabled(enabled);
        if (!enabled) {
            cell->setToolTip(disabledReason);
        }
    }

    void applicationDidFinishLaunching(Application*) override { ++launches; }

    void windowWillClose(Window*) override
    {
        ++closes;
        Application::sharedApplication().terminate(this);
    }
};

}  // namespace platform::qt::test
