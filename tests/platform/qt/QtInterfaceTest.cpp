#include "ChecklistWindowTest.h"

#include "platform/appkit/Alert.h"
#include "platform/appkit/Menu.h"
#include "platform/appkit/OpenPanel.h"
#include "platform/qt/QtInterface.h"
#include "platform/qt/QtMnemonics.h"
#include "platform/qt/QtUi.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QFileDialog>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace platform::qt {
namespace {

using test::ChecklistController;


// One QApplication for the whole program.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        unsetenv("PLATFORM_UI_SCRIPT");
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "qt_tests";
        static char* argv[] = {name, nullptr};
        ui = new QtUi(argc, argv);
        setUiBackend(ui);
    }
    void TearDown() override
    {
        setUiBackend(nullptr);
        delete ui;
    }
    static QtUi* ui;
};
QtUi* QtEnvironment::ui = nullptr;

[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

class QtInterfaceTest : public test::ChecklistWindowTest {
protected:
    void SetUp() override
    {
        ChecklistWindowTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        model = view->model();
    }

    QModelIndex cell(int row, int column) const { return model->index(row, column); }

    QAbstractItemModel* model = nullptr;
};

TEST_F(QtInterfaceTest, MissingOrMalformedDescriptionLoadsNothing)
{
    EXPECT_EQ(uiBackend().loadInterface("/nonexistent/Nothing.ui"), nullptr);
}

TEST_F(QtInterfaceTest, NamedWidgetsBecomeControlsOfTheirKind)
{
    EXPECT_EQ(interface->rootName(), "MainWindow");
    EXPECT_NE(interface->objectNamed<Window>("MainWindow"), nullptr);
    EXPECT_NE(interface->objectNamed<TableView>("uiTableView"), nullptr);
    EXPECT_NE(interface->objectNamed<TableView>("legacyTable"), nullptr);
    EXPECT_NE(interface->objectNamed<Button>("allSelectChk"), nullptr);
    EXPECT_NE(interface->objectNamed<Button>("closeButton"), nullptr);
    EXPECT_NE(interface->objectNamed<TextField>("messageTitle"), nullptr);
    EXPECT_EQ(interface->object("centralwidget"), nullptr);
    EXPECT_EQ(interface->object("menubar"), nullptr);
    for (Control* control : interface->objects()) {
        EXPECT_NE(control->objectName().rfind("qt_", 0), 0u) << control->objectName();
    }
    // Every outlet the owner knows was connected.
    EXPECT_NE(owner.window, nullptr);
    EXPECT_NE(owner.uiTableView, nullptr);
    EXPECT_NE(owner.messageTitle, nullptr);
}

TEST_F(QtInterfaceTest, DynamicPropertiesAnswerProperty)
{
    EXPECT_EQ(interface->property("MainWindow", "controllerClass"), "ChecklistController");
    EXPECT_EQ(interface->property("closeButton", "action"), "close:");
    EXPECT_EQ(interface->property("uiTableView", "dataSource"), "ChecklistController");
    EXPECT_EQ(interface->property("actionQuit", "action"), "terminate:");
    EXPECT_EQ(interface->property("closeButton", "dataSource"), "");
    EXPECT_EQ(interface->property("nothing", "action"), "");
}

TEST_F(QtInterfaceTest, TableColumnsComeFromTheColumnsPropertyOrTheHeaderTitles)
{
    auto* table = interface->objectNamed<TableView>("uiTableView");
    ASSERT_EQ(table->tableColumns().size(), 2u);
    EXPECT_EQ(table->tableColumns()[0]->identifier(), "chk");
    EXPECT_EQ(table->tableColumns()[1]->identifier(), "name");

    auto* legacy = interface->objectNamed<TableView>("legacyTable");
    ASSERT_EQ(legacy->tableColumns().size(), 2u);
    EXPECT_EQ(legacy->tableColumns()[1]->identifier(), "name");
    // The item widget was replaced by a view on the data source's model.
    EXPECT_EQ(root->findChild<QTableWidget*>("legacyTable"), nullptr);
    ASSERT_NE(root->findChild<QTableView*>("legacyTable"), nullptr);
    EXPECT_EQ(root->findChild<QTableView*>("legacyTable")->model()->headerData(1, Qt::Horizontal).toString(), "name");
}

TEST_F(QtInterfaceTest, ModelShowsTheDataSourcesRowsWithTickBoxes)
{
    owner.ticks = {0, 1, 0};
    owner.uiTableView->reloadData();
    ASSERT_EQ(model->rowCount(), 3);
    ASSERT_EQ(model->columnCount(), 2);
    EXPECT_EQ(model->data(cell(0, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(model->data(cell(1, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_FALSE(model->data(cell(0, 1), Qt::CheckStateRole).isValid());
    EXPECT_EQ(model->data(cell(2, 1), Qt::DisplayRole).toString(), "Gamma");
    EXPECT_TRUE(model->flags(cell(0, 0)) & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(model->flags(cell(0, 0)) & Qt::ItemIsEnabled);
    EXPECT_FALSE(model->flags(cell(0, 1)) & Qt::ItemIsUserCheckable);
}

TEST_F(QtInterfaceTest, DisabledRowIsDimmedAndIgnoresAClickOnItsTickBox)
{
    EXPECT_FALSE(model->flags(cell(1, 0)) & Qt::ItemIsEnabled);
    EXPECT_FALSE(model->flags(cell(1, 1)) & Qt::ItemIsEnabled);
    EXPECT_FALSE(model->setData(cell(1, 0), static_cast<int>(Qt::Checked), Qt::CheckStateRole));
    EXPECT_EQ(owner.ticks[1], 0);
    EXPECT_TRUE(owner.edits.empty());
}

TEST_F(QtInterfaceTest, ClickOnAnEnabledTickBoxReachesTheDataSource)
{
    EXPECT_TRUE(model->setData(cell(2, 0), static_cast<int>(Qt::Checked), Qt::CheckStateRole));
    EXPECT_TRUE(model->setData(cell(0, 0), static_cast<int>(Qt::Checked), Qt::CheckStateRole));
    EXPECT_TRUE(model->setData(cell(2, 0), static_cast<int>(Qt::Unchecked), Qt::CheckStateRole));
    EXPECT_EQ(owner.edits, (std::vector<std::pair<NSInteger, NSInteger>>{{2, 1}, {0, 1}, {2, 0}}));
    EXPECT_EQ(model->data(cell(0, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(model->data(cell(2, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
}

// A real mouse click on the tick box, through the view and its item delegate.
TEST_F(QtInterfaceTest, MouseClickTicksAnEnabledRowAndNotADisabledOne)
{
    owner.window->setDelegate(nullptr);
    owner.window->makeKeyAndOrderFront();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(root));
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    auto clickTickBox = [this, &option](int row) {
        const QRect cellRect = view->visualRect(cell(row, 0));
        option.rect = cellRect;
        const QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
        const QPoint at = box.isValid() ? box.center() : cellRect.center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    };
    clickTickBox(1);
    clickTickBox(2);
    EXPECT_EQ(owner.ticks, (std::vector<NSInteger>{0, 0, 1}));
    clickTickBox(2);
    EXPECT_EQ(owner.ticks, (std::vector<NSInteger>{0, 0, 0}));
    EXPECT_EQ(owner.edits, (std::vector<std::pair<NSInteger, NSInteger>>{{2, 1}, {2, 0}}));
    owner.window->close();
}

TEST_F(QtInterfaceTest, DisabledTableTakesNoClicks)
{
    owner.uiTableView->setEnabled(false);
    EXPECT_FALSE(model->setData(cell(0, 0), static_cast<int>(Qt::Checked), Qt::CheckStateRole));
    EXPECT_TRUE(owner.edits.empty());
}

TEST_F(QtInterfaceTest, RowsThatVanishedWithoutReloadAreNotAskedFor)
{
    owner.ticks = {0};
    owner.names = {"Alpha"};
    owner.enabledRows = {true};
    // The view still believes in three rows; asking for row 2 must not reach the data source.
    EXPECT_FALSE(model->data(cell(2, 0), Qt::CheckStateRole).isValid());
    EXPECT_EQ(model->flags(cell(2, 0)), Qt::NoItemFlags);
    QApplication::processEvents();
    EXPECT_EQ(model->rowCount(), 1);
}

TEST_F(QtInterfaceTest, ButtonStatesMapToCheckStates)
{
    auto* box = root->findChild<QCheckBox*>("allSelectChk");
    owner.allSelectChk->setState(1);
    EXPECT_EQ(box->checkState(), Qt::Checked);
    owner.allSelectChk->setState(-1);
    EXPECT_EQ(box->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(owner.allSelectChk->state(), -1);
    box->click();  // a click leaves the mixed state for "on", and never comes back to it
    EXPECT_EQ(owner.allSelectChk->state(), 1);
    box->click();
    box->click();
    EXPECT_EQ(owner.allSelectChk->state(), 1);
    owner.allSelectChk->setState(0);
    EXPECT_EQ(box->checkState(), Qt::Unchecked);
    owner.allSelectChk->setTitle("All");
    EXPECT_EQ(box->text(), "All");
}

TEST_F(QtInterfaceTest, ClickSendsTheActionSelectorAfterTheStateChanged)
{
    root->findChild<QCheckBox*>("allSelectChk")->click();
    EXPECT_EQ(owner.actions, std::vector<std::string>{"requestAllSelect:"});
    EXPECT_EQ(owner.senderStates, std::vector<NSInteger>{1});

    owner.uninstallButton->setEnabled(false);
    root->findChild<QPushButton*>("uninstallButton")->click();
    EXPECT_EQ(owner.actions.size(), 1u);
    owner.uninstallButton->setEnabled(true);
    root->findChild<QPushButton*>("uninstallButton")->click();
    EXPECT_EQ(owner.actions.back(), "requestUnInstall:");
}

TEST_F(QtInterfaceTest, TextFieldsAndWindowTitle)
{
    owner.messageTitle->setStringValue("Choose modules");
    EXPECT_EQ(owner.messageTitle->stringValue(), "Choose modules");
    owner.window->setTitle("Plugsweep");
    EXPECT_EQ(root->windowTitle(), "Plugsweep");
    EXPECT_EQ(owner.window->title(), "Plugsweep");
}

TEST_F(QtInterfaceTest, ClosingTheWindowTellsItsDelegateOnce)
{
    owner.window->setDelegate(&owner);
    owner.window->makeKeyAndOrderFront();
    EXPECT_TRUE(root->isVisible());
    owner.window->close();
    EXPECT_EQ(owner.closes, 1);
    EXPECT_FALSE(root->isVisible());
    EXPECT_TRUE(Application::sharedApplication().isTerminated());
}

TEST_F(QtInterfaceTest, WindowWithoutDelegateClosesQuietly)
{
    owner.window->setDelegate(nullptr);
    owner.window->makeKeyAndOrderFront();
    owner.window->close();
    EXPECT_EQ(owner.closes, 0);
    EXPECT_FALSE(root->isVisible());
}

TEST_F(QtInterfaceTest, CenterPutsTheWindowInTheMiddleOfTheScreen)
{
    owner.window->center();
    const QRect screen = root->screen()->availableGeometry();
    EXPECT_LE(std::abs(root->frameGeometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(root->frameGeometry().center().y() - screen.center().y()), 1);
}

TEST_F(QtInterfaceTest, MenuModelMirrorsTheMenuBarAndRedrawsOnUpdate)
{
    std::shared_ptr<Menu> menu = interface->mainMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->numberOfItems(), 1u);
    Menu* app = menu->itemAtIndex(0)->submenu();
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->title(), "MENU_APP");
    EXPECT_EQ(menu->itemAtIndex(0)->objectName(), "menuApp");
    ASSERT_EQ(app->numberOfItems(), 2u);  // the separator is no item
    EXPECT_EQ(app->itemAtIndex(0)->title(), "MENU_ABOUT");
    EXPECT_EQ(app->itemAtIndex(1)->objectName(), "actionQuit");

    app->setTitle("Plugsweep");
    app->itemAtIndex(1)->setTitle("Quit Plugsweep");
    auto* qmenu = root->findChild<QMenu*>("menuApp");
    auto* quit = root->findChild<QAction*>("actionQuit");
    EXPECT_EQ(QtMnemonics::plainText(qmenu->menuAction()), "MENU_APP");
    menu->update();
    // The texts are drawn with a mnemonic each.
    EXPECT_EQ(QtMnemonics::plainText(qmenu->menuAction()), "Plugsweep");
    EXPECT_EQ(QtMnemonics::plainText(quit), "Quit Plugsweep");
    EXPECT_EQ(QtMnemonics::letterOf(qmenu->menuAction()), QChar('P'));
    EXPECT_EQ(QtMnemonics::letterOf(quit), QChar('Q'));
    EXPECT_EQ(menu->updateCount(), 1u);
}

TEST_F(QtInterfaceTest, MenuActionsRunTheModelsActionAndTerminateSelector)
{
    Menu* app = interface->mainMenu()->itemAtIndex(0)->submenu();
    int abouts = 0;
    app->itemAtIndex(0)->setAction([&abouts] { ++abouts; });
    root->findChild<QAction*>("actionAbout")->trigger();
    EXPECT_EQ(abouts, 1);
    EXPECT_FALSE(Application::sharedApplication().isTerminated());
    root->findChild<QAction*>("actionQuit")->trigger();
    EXPECT_TRUE(Application::sharedApplication().isTerminated());
}

TEST_F(QtInterfaceTest, AlertShowsTitleMessageAndOneButtonAndAnswersOne)
{
    QString text, informative, button;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        text = box->text();
        informative = box->informativeText();
        icon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
        button = box->buttons().value(0) ? QtMnemonics::plainText(box->buttons().value(0)) : QString();
        box->buttons().value(0)->click();
    });
    EXPECT_EQ(NSRunCriticalAlertPanel("Requires a newer system", "", "OK"), 1);
    EXPECT_EQ(text, "Requires a newer system");
    EXPECT_EQ(informative, "");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, 1);
    EXPECT_EQ(button, "OK") << "the title as given, drawn with a mnemonic";
}

TEST_F(QtInterfaceTest, OpenPanelChoosesFoldersOnlyStartingInTheGivenFolder)
{
    QString start;
    bool directoriesOnly = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        start = dialog->directory().absolutePath();
        directoriesOnly = dialog->fileMode() == QFileDialog::Directory && dialog->testOption(QFileDialog::ShowDirsOnly);
        dialog->reject();
    });
    auto panel = OpenPanel::openPanel();
    panel->setCanChooseDirectories(true);
    panel->setCanChooseFiles(false);
    EXPECT_EQ(panel->runModalForDirectory(std::string("/tmp"), std::nullopt, std::nullopt), 0);
    EXPECT_EQ(start, "/tmp");
    EXPECT_TRUE(directoriesOnly);
}

TEST_F(QtInterfaceTest, BusyCursorIsSetAndRestored)
{
    uiBackend().setBusy(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    uiBackend().setBusy(true);
    uiBackend().setBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtUiInstance, IsTheBackendInUse)
{
    EXPECT_EQ(QtUi::instance(), QtEnvironment::ui);
    EXPECT_FALSE(QtEnvironment::ui->scripted());
}

}  // namespace
}  // namespace platform::qt
