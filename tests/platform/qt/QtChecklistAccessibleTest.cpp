// What assistive technologies are given for a checklist: a list named by the label above it,
// one check box per row named by the row's text, with checkable, checked and disabled states,
// the disabled row's reason as its description, and a toggle action that ticks as Space does.
// Runs in the QApplication of QtInterfaceTest.cpp.
#include "ChecklistWindowTest.h"

#include "platform/appkit/UiBackend.h"
#include "platform/qt/QtChecklistView.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QLabel>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace platform::qt {
namespace {

using test::ChecklistController;


class QtChecklistAccessibleTest : public test::ChecklistWindowTest {
protected:
    void SetUp() override
    {
        ChecklistWindowTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        owner.window->setDelegate(nullptr);
        list = QAccessible::queryAccessibleInterface(view);
        ASSERT_NE(list, nullptr);
    }

    QAccessibleInterface* row(int index) const { return list->child(index); }

    QAccessibleInterface* list = nullptr;
};

TEST_F(QtChecklistAccessibleTest, EveryTableOfAnInterfaceIsAChecklist)
{
    EXPECT_NE(qobject_cast<QtChecklistView*>(view), nullptr);
    EXPECT_NE(qobject_cast<QtChecklistView*>(root->findChild<QTableView*>("legacyTable")), nullptr)
        << "a QTableWidget is replaced by a checklist as well";
}

TEST_F(QtChecklistAccessibleTest, TheListIsNamedByTheLabelAboveOrItsBuddyOrItsOwnName)
{
    EXPECT_EQ(list->role(), QAccessible::List);
    const QString above = root->findChild<QLabel*>("messageTitle")->text();
    ASSERT_FALSE(above.isEmpty());
    EXPECT_EQ(list->text(QAccessible::Name), above);

    auto* buddy = new QLabel(QStringLiteral("Modules to remove"), view->parentWidget());
    buddy->setBuddy(view);
    EXPECT_EQ(list->text(QAccessible::Name), QStringLiteral("Modules to remove"));
    view->setAccessibleName(QStringLiteral("Own name"));
    EXPECT_EQ(list->text(QAccessible::Name), QStringLiteral("Own name"));
}

TEST_F(QtChecklistAccessibleTest, EachRowIsOneCheckBoxNamedByItsText)
{
    ASSERT_EQ(list->childCount(), 3);
    for (int i = 0; i < 3; ++i) {
        QAccessibleInterface* item = row(i);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->role(), QAccessible::CheckBox);
        EXPECT_EQ(item->text(QAccessible::Name).toStdString(), owner.names.at(static_cast<std::size_t>(i)));
        EXPECT_EQ(item->parent(), list);
        EXPECT_EQ(list->indexOfChild(item), i);
        EXPECT_TRUE(item->state().checkable);
        EXPECT_TRUE(item->state().focusable);
        EXPECT_FALSE(item->state().checked);
    }
    EXPECT_EQ(row(0), row(0)) << "a row keeps one interface";
    EXPECT_EQ(row(3), nullptr);
    EXPECT_EQ(row(-1), nullptr);
}

TEST_F(QtChecklistAccessibleTest, ADisabledRowIsReportedDisabledWithItsReason)
{
    EXPECT_FALSE(row(0)->state().disabled);
    EXPECT_TRUE(row(1)->state().disabled);
    EXPECT_EQ(row(1)->text(QAccessible::Description).toStdString(), owner.disabledReason);
    EXPECT_TRUE(row(0)->text(QAccessible::Description).isEmpty());

    owner.enabledRows = {true, true, true};
    owner.uiTableView->reloadData();
    EXPECT_FALSE(row(1)->state().disabled) << "the state is read afresh";
}

TEST_F(QtChecklistAccessibleTest, TheToggleActionTicksLikeSpaceAndLeavesADisabledRowAlone)
{
    QAccessibleActionInterface* actions = row(2)->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_EQ(actions->actionNames(), QStringList{QAccessibleActionInterface::toggleAction()});
    EXPECT_EQ(actions->keyBindingsForAction(QAccessibleActionInterface::toggleAction()), QStringList{"Space"});
    actions->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(owner.ticks, (std::vector<NSInteger>{0, 0, 1}));
    EXPECT_TRUE(row(2)->state().checked);
    actions->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_FALSE(row(2)->state().checked);

    QAccessibleActionInterface* disabled = row(1)->actionInterface();
    ASSERT_NE(disabled, nullptr);
    EXPECT_TRUE(disabled->actionNames().isEmpty());
    disabled->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(owner.ticks, (std::vector<NSInteger>{0, 0, 0}));
}

TEST_F(QtChecklistAccessibleTest, TheFocusedRowIsTheListsFocusChildAndTheRowUnderAPoint)
{
    owner.window->makeKeyAndOrderFront();
    ASSERT_TRUE(QTest::qWaitForWindowActive(root));
    view->setFocus(Qt::TabFocusReason);
    ASSERT_NE(list->focusChild(), nullptr);
    EXPECT_EQ(list->focusChild(), row(0));
    EXPECT_TRUE(row(0)->state().focused);
    EXPECT_FALSE(row(2)->state().focused);

    const QRect second = row(2)->rect();
    ASSERT_TRUE(second.isValid());
    EXPECT_EQ(list->childAt(second.center().x(), second.center().y()), row(2));
}

TEST_F(QtChecklistAccessibleTest, ARowThatIsGoneIsNoLongerValid)
{
    QAccessibleInterface* last = row(2);
    owner.names.pop_back();
    owner.ticks.pop_back();
    owner.enabledRows.pop_back();
    owner.uiTableView->reloadData();
    EXPECT_EQ(list->childCount(), 2);
    EXPECT_FALSE(last->isValid());
    EXPECT_TRUE(last->text(QAccessible::Name).isEmpty());
}

}  // namespace
}  // namespace platform::qt
