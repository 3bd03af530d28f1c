#pragma once

#include "ChecklistController.h"

#include "platform/appkit/Application.h"
#include "platform/appkit/UiBackend.h"

#include <QTableView>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace platform::qt::test {

/// Loads tests/data/qt/Checklist.ui with a ChecklistController as its owner, for each test of a
/// fixture that derives from it; the window is closed and the application reset after each.
class ChecklistWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application::sharedApplication().reset();
        interface = uiBackend().loadInterface(std::string(TEST_DATA_DIR) + "/qt/Checklist.ui");
        ASSERT_NE(interface, nullptr);
        connectInterface(*interface, owner);
        root = static_cast<QWidget*>(interface->nativeView());
        view = root->findChild<QTableView*>("uiTableView");
        ASSERT_NE(view, nullptr);
    }
    void TearDown() override
    {
        if (root) {
            root->close();
        }
        Application::sharedApplication().reset();
    }

    ChecklistController owner;
    std::unique_ptr<Interface> interface;
    QWidget* root = nullptr;
    QTableView* view = nullptr;
};

}  // namespace platform::qt::test
