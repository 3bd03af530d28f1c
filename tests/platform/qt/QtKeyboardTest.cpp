// The keyboard and focus behaviour of the Qt controls: mnemonics chosen from the texts, a table
// that is one Tab stop whose focus lands on an enabled row and rests on disabled ones too, Space and clicks on a row's text, and
// Return pressing the window's default button. Runs in the QApplication of QtInterfaceTest.cpp.
#include "ChecklistWindowTest.h"

#include "platform/appkit/UiBackend.h"
#include "platform/qt/QtDisplay.h"
#include "platform/qt/QtKeyboard.h"
#include "platform/qt/QtMnemonics.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include <memory>

namespace platform::qt {
namespace {

using test::ChecklistController;


struct MarkCase {
    const char* plain;
    const char* hint;
    const char* taken;
    const char* marked;
};

TEST(QtMnemonicsMark, PrefersFirstLetterThenWordStartsThenAnyLetterThenASuffix)
{
    const MarkCase cases[] = {
        {"Uninstall", "uninstallButton", "", "&Uninstall"},
        {"Select All", "allSelectChk", "S", "Select &All"},
        {"Select All", "", "SA", "S&elect All"},
        {"Close", "closeButton", "CLOSE", "Close(&B)"},  // hint "closeButton" lends B after C, L, O, S, E
        {"Go Back", "", "G", "Go &Back"},
        {"Fish & Chips", "", "", "&Fish && Chips"},
        {"Schließen", "", "S", "S&chließen"},
        {"Éditer", "", "", "É&diter"},  // letters a keyboard types without a dead key
        {"アンインストール", "uninstallButton", "", "アンインストール(&U)"},
        {"閉じる", "closeButton", "C", "閉じる(&L)"},
        {"選択...", "", "", "選択(&A)..."},
        {"削除\u2026", "removeButton", "", "削除(&R)\u2026"},
        {"Plugsweep について", "aboutAction", "", "&Plugsweep について"},
        {"OK", "", "OK", "OK(&A)"},
        {"", "x", "", "(&X)"},
    };
    for (const MarkCase& c : cases) {
        QSet<QChar> used;
        for (QChar letter : QString::fromUtf8(c.taken)) {
            used.insert(letter);
        }
        const qsizetype before = used.size();
        const QString marked = QtMnemonics::mark(QString::fromUtf8(c.plain), QString::fromUtf8(c.hint), used);
        EXPECT_EQ(marked.toStdString(), c.marked) << c.plain;
        EXPECT_EQ(used.size(), before + 1) << c.plain;
        EXPECT_TRUE(used.contains(QtMnemonics::letterOf(marked))) << c.plain;
    }
}

TEST(QtMnemonicsMark, NoLetterLeftLeavesTheTextEscapedWithoutAMarker)
{
    QSet<QChar> used;
    for (QChar c : QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")) {
        used.insert(c);
    }
    EXPECT_EQ(QtMnemonics::mark("R&D", "", used), "R&&D");
    EXPECT_TRUE(QtMnemonics::letterOf(QStringLiteral("R&&D")).isNull());
    EXPECT_EQ(QtMnemonics::letterOf(QStringLiteral("&&Save &as")), QChar('A'));
    EXPECT_TRUE(QtMnemonics::letterOf(QStringLiteral("Drag & drop")).isNull());
}

struct DisplayCase {
    std::map<std::string, std::string> environment;
    bool usable;
};

TEST(QtDisplay, NeedsAReachableDisplayForTheDesktopPlatforms)
{
    const DisplayCase cases[] = {
        {{}, false},
        {{{"QT_QPA_PLATFORM", "offscreen"}}, true},
        {{{"QT_QPA_PLATFORM", "minimal"}}, true},
        {{{"QT_QPA_PLATFORM", "xcb"}}, false},
        {{{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "wayland-0"}}, false},
        {{{"QT_QPA_PLATFORM", "wayland"}}, false},
        {{{"QT_QPA_PLATFORM", "wayland-egl"}, {"WAYLAND_DISPLAY", "wayland-0"}}, true},
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, true},
        // No X server listens on display 4093 here, and "nonsense" names no display at all.
        {{{"DISPLAY", ":4093"}}, false},
        {{{"DISPLAY", "unix:4093.0"}}, false},
        {{{"DISPLAY", "nonsense"}}, false},
        {{{"DISPLAY", ":x"}}, false},
        {{{"DISPLAY", "faraway:0"}}, true},
    };
    for (const DisplayCase& c : cases) {
        std::string described;
        for (const auto& [key, value] : c.environment) {
            described += key + "=" + value + " ";
        }
        const std::optional<std::string> missing = QtDisplay::missingDisplay(c.environment);
        EXPECT_EQ(!missing.has_value(), c.usable) << described;
        if (missing) {
            EXPECT_FALSE(missing->empty()) << described;
            EXPECT_EQ(missing->find('\n'), std::string::npos) << described;
        }
    }
}

TEST(QtDisplay, AWaylandDisplayNeedsTheToolkitsWaylandPlugin)
{
    const std::map<std::string, std::string> wayland = {{"WAYLAND_DISPLAY", "wayland-0"}};
    EXPECT_FALSE(QtDisplay::missingDisplay(wayland, true));
    const std::optional<std::string> missing = QtDisplay::missingDisplay(wayland, false);
    ASSERT_TRUE(missing);
    EXPECT_NE(missing->find("Wayland"), std::string::npos) << *missing;
    EXPECT_TRUE(QtDisplay::missingDisplay({{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", "wayland-0"}}, false));
    // An X display that answers is used instead; one that does not, or none, is no way out.
    EXPECT_TRUE(QtDisplay::missingDisplay({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":4093"}}, false));
}

TEST(QtDisplay, ChoosesXOnlyWhereTheWaylandPluginIsMissing)
{
    // No X server listens on display 4093; "faraway:0" is a remote display, trusted to exist.
    const std::map<std::string, std::string> session = {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", "faraway:0"}};
    EXPECT_EQ(QtDisplay::platformToUse(session, false), std::optional<std::string>("xcb"));
    EXPECT_FALSE(QtDisplay::platformToUse(session, true));
    std::map<std::string, std::string> chosen = session;
    chosen["QT_QPA_PLATFORM"] = "wayland";
    EXPECT_FALSE(QtDisplay::platformToUse(chosen, false)) << "the user's own choice stands";
    EXPECT_FALSE(QtDisplay::platformToUse({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":4093"}}, false));
    EXPECT_FALSE(QtDisplay::platformToUse({{"WAYLAND_DISPLAY", "wayland-0"}}, false));
}

class QtKeyboardTest : public test::ChecklistWindowTest {
protected:
    void SetUp() override
    {
        ChecklistWindowTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        model = view->model();
        owner.window->setDelegate(nullptr);
    }

    void showWindow()
    {
        owner.window->makeKeyAndOrderFront();
        ASSERT_TRUE(QTest::qWaitForWindowActive(root));
    }

    int currentRow() const { return view->currentIndex().isValid() ? view->currentIndex().row() : -1; }

    QAbstractItemModel* model = nullptr;
};

TEST_F(QtKeyboardTest, ButtonsAndMenusGetDistinctMnemonicsAndKeepTheirPlainTitles)
{
    showWindow();
    auto* chk = interface->objectNamed<Button>("allSelectChk");
    auto* close = interface->objectNamed<Button>("closeButton");
    chk->setTitle("Select All");
    close->setTitle("Close");
    interface->objectNamed<Button>("uninstallButton")->setTitle("Uninstall");
    QtKeyboard::prepare(root);

    QSet<QChar> letters;
    int buttons = 0;
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (button->text().isEmpty()) {
            continue;
        }
        ++buttons;
        const QChar letter = QtMnemonics::letterOf(button);
        EXPECT_FALSE(letter.isNull()) << button->objectName().toStdString();
        letters.insert(letter);
    }
    auto* menuApp = root->findChild<QMenu*>("menuApp");
    letters.insert(QtMnemonics::letterOf(menuApp->menuAction()));
    EXPECT_EQ(letters.size(), buttons + 1) << "the window's buttons and menu titles share no letter";
    EXPECT_EQ(close->title(), "Close");
    EXPECT_EQ(chk->title(), "Select All");
    EXPECT_EQ(QtMnemonics::letterOf(root->findChild<QPushButton*>("uninstallButton")), QChar('U'));
    EXPECT_FALSE(QtMnemonics::letterOf(root->findChild<QAction*>("actionQuit")).isNull());

    // A new title gets a letter at once; the other controls keep theirs.
    const QChar closeLetter = QtMnemonics::letterOf(root->findChild<QPushButton*>("closeButton"));
    chk->setTitle("Deselect All");
    EXPECT_EQ(chk->title(), "Deselect All");
    EXPECT_FALSE(QtMnemonics::letterOf(root->findChild<QCheckBox*>("allSelectChk")).isNull());
    EXPECT_EQ(QtMnemonics::letterOf(root->findChild<QPushButton*>("closeButton")), closeLetter);

    // Alt with the letter presses the button.
    owner.actions.clear();
    QTest::keyClick(root, Qt::Key_U, Qt::AltModifier);
    QTest::qWait(200);
    EXPECT_EQ(owner.actions, std::vector<std::string>{"requestUnInstall:"});
}

TEST_F(QtKeyboardTest, TheAllSelectBoxKeepsItsLetterWhenItsTitleTurnsToDeselectInEveryLanguage)
{
    struct TitlePair {
        const char* select;
        const char* deselect;
    };
    const TitlePair pairs[] = {
        {"Select All", "Deselect All"},          {"Tout sélectionner", "Tout désélectionner"},
        {"Alle auswählen", "Auswahl aufheben"},  {"Seleziona tutto", "Deseleziona tutto"},
        {"Seleccionar todo", "Deseleccionar todo"}, {"すべてを選択", "すべての選択を解除"},
        {"모두 선택", "모두 선택 해제"},          {"全选", "取消全选"},
    };
    showWindow();
    auto* chk = interface->objectNamed<Button>("allSelectChk");
    auto* box = root->findChild<QCheckBox*>("allSelectChk");
    for (const TitlePair& pair : pairs) {
        chk->setTitle(pair.select);
        QtKeyboard::prepare(root);
        const QChar letter = QtMnemonics::letterOf(box);
        ASSERT_FALSE(letter.isNull()) << pair.select;
        // A screen reader reads the title itself, never a suffix meant for the keyboard.
        EXPECT_EQ(box->accessibleName().isEmpty() ? box->text().remove(QLatin1Char('&')) : box->accessibleName(),
                  QString::fromUtf8(pair.select));
        chk->setTitle(pair.deselect);
        QtKeyboard::prepare(root);
        EXPECT_EQ(QtMnemonics::letterOf(box), letter) << pair.select << " / " << pair.deselect;
        EXPECT_EQ(chk->title(), pair.deselect);
        EXPECT_EQ(box->accessibleName().isEmpty() ? box->text().remove(QLatin1Char('&')) : box->accessibleName(),
                  QString::fromUtf8(pair.deselect));
        chk->setTitle(pair.select);
        QtKeyboard::prepare(root);
        EXPECT_EQ(QtMnemonics::letterOf(box), letter) << "back to " << pair.select;
    }
}

TEST(QtMnemonicsMarkWith, UsesTheLetterWhereTheTextHasItOrASuffixWhereItHasNoLatinLetter)
{
    QSet<QChar> used;
    EXPECT_EQ(QtMnemonics::markWith("Deselect All", QChar('S'), used), "De&select All");
    EXPECT_TRUE(used.contains(QChar('S')));
    EXPECT_EQ(QtMnemonics::markWith("Select None", QChar('S'), used), QString()) << "taken";
    EXPECT_EQ(QtMnemonics::markWith("Keep All", QChar('T'), used), QString()) << "not in the text";
    EXPECT_FALSE(used.contains(QChar('T')));
    EXPECT_EQ(QtMnemonics::markWith("取消全选", QChar('A'), used), "取消全选(&A)");
    EXPECT_EQ(QtMnemonics::markWith("Tout", QChar(), used), QString());
}

TEST_F(QtKeyboardTest, FocusLandsOnTheFirstEnabledRowAndArrowsStopOnDisabledRowsToo)
{
    owner.enabledRows = {false, false, true};
    owner.uiTableView->reloadData();
    showWindow();
    view->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(currentRow(), 2);
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_EQ(currentRow(), 1) << "a disabled row holds the focus, so its reason can be read";
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_EQ(owner.ticks, (std::vector<NSInteger>{0, 0, 0})) << "Space leaves a disabled row alone";
    EXPECT_TRUE(owner.edits.empty());

    owner.enabledRows = {true, false, true};
    owner.uiTableView->reloadData();
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_EQ(currentRow(), 0);
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_EQ(currentRow(), 0) << "no row above the first";
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(currentRow(), 1);
    QTest::keyClick(view, Qt::Key_End);
    EXPECT_EQ(currentRow(), 2);
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(currentRow(), 2) << "no row below the last";
    QTest::keyClick(view, Qt::Key_Home);
    EXPECT_EQ(currentRow(), 0);
}

TEST_F(QtKeyboardTest, ADisabledRowWithTheFocusShowsItsReasonAsToolTip)
{
    showWindow();
    view->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(currentRow(), 0);
    QTest::keyClick(view, Qt::Key_Down);
    ASSERT_EQ(currentRow(), 1);
    EXPECT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 2000));
    EXPECT_EQ(QToolTip::text().toStdString(), owner.disabledReason);
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000)) << "an enabled row needs no reason";
}

TEST_F(QtKeyboardTest, SpaceTicksTheFocusedRowFromAnyColumnAndClickOnTheTextToo)
{
    showWindow();
    view->setFocus(Qt::TabFocusReason);
    view->setCurrentIndex(model->index(2, 1));  // the name column
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_EQ(owner.ticks, (std::vector<NSInteger>{0, 0, 1}));
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_EQ(owner.ticks, (std::vector<NSInteger>{0, 0, 0}));

    const auto clickName = [this](int row) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(model->index(row, 1)).center());
    };
    clickName(0);
    clickName(1);  // disabled: never changes
    EXPECT_EQ(owner.ticks, (std::vector<NSInteger>{1, 0, 0}));
    clickName(0);
    EXPECT_EQ(owner.ticks, (std::vector<NSInteger>{0, 0, 0}));
    EXPECT_EQ(owner.edits, (std::vector<std::pair<NSInteger, NSInteger>>{{2, 1}, {2, 0}, {0, 1}, {0, 0}}));
}

TEST_F(QtKeyboardTest, TabLeavesTheTableAndBacktabReturnsToIt)
{
    showWindow();
    view->setFocus(Qt::TabFocusReason);
    QTest::keyClick(view, Qt::Key_Tab);
    QWidget* next = QApplication::focusWidget();
    ASSERT_NE(next, nullptr);
    EXPECT_NE(next, view);
    EXPECT_FALSE(view->isAncestorOf(next));
    QTest::keyClick(next, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), view);
}

TEST_F(QtKeyboardTest, ReturnPressesTheFocusedButtonOrElseTheEnabledDefaultButton)
{
    auto* close = root->findChild<QPushButton*>("closeButton");
    auto* auth = root->findChild<QPushButton*>("authButton");
    close->setDefault(true);
    showWindow();

    auth->setFocus(Qt::TabFocusReason);
    QTest::keyClick(auth, Qt::Key_Return);
    EXPECT_EQ(owner.actions, std::vector<std::string>{"requestAuth:"});

    close->setEnabled(false);
    view->setFocus(Qt::TabFocusReason);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(owner.actions.size(), 1u) << "a disabled default button is not pressed";

    close->setEnabled(true);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(owner.actions, (std::vector<std::string>{"requestAuth:", "close:"}));
}

}  // namespace
}  // namespace platform::qt
