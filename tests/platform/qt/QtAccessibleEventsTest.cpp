// What a screen reader is given while a long task runs and of rows with huge names: the progress
// panel changes its count and its line at a human pace, however many steps, and leaves its
// description alone; a huge name is shown shortened and read whole. The events themselves are
// counted on the accessibility bus by tests/a11y. Runs in the QApplication of QtInterfaceTest.cpp.
#include "ChecklistWindowTest.h"

#include "platform/qt/QtChecklistView.h"
#include "platform/qt/QtProgressPanel.h"
#include "platform/qt/QtTableModel.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>

#include <functional>
#include <vector>

#include <gtest/gtest.h>


namespace platform::qt {
namespace {

/// A panel on a clock that the test moves on.
class ProgressPace : public ::testing::Test {
protected:
    QtProgressPanel panel{nullptr, "Removing plug-in modules…", "Stop", [this] { return now; }};
    qint64 now = 0;

    QString label() const
    {
        const QLabel* label = panel.dialog()->findChild<QLabel*>();
        return label ? label->text() : QString();
    }
};

TEST_F(ProgressPace, TwoThousandModulesAreReportedEveryFewSecondsAndAtTheEnd)
{
    // Each report moves the bar, whose every move a screen reader is told of.
    int reports = 0;
    auto* bar = panel.dialog()->findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    QObject::connect(bar, &QProgressBar::valueChanged, [&reports] { ++reports; });
    QStringList lines;
    const std::size_t total = 2000;
    // Ten milliseconds a module: twenty seconds in all.
    for (std::size_t done = 0; done < total; ++done) {
        panel.setProgress(done, total, "Module " + std::to_string(done + 1) + " of 2,000");
        if (lines.isEmpty() || lines.back() != label())
            lines << label();
        now += 10;
    }
    panel.setProgress(total, total, "Module 2,000 of 2,000");
    const int bound = static_cast<int>(20000 / QtProgressPanel::kReportIntervalMs) + 2;
    EXPECT_LE(reports, bound);
    EXPECT_GE(reports, 2) << "the first report and the last at least";
    EXPECT_LE(lines.size(), bound) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(panel.dialog()->accessibleDescription().isEmpty()) << "the dialog's description stays as it is";
    EXPECT_EQ(panel.dialog()->accessibleName(), QStringLiteral("Removing plug-in modules…"));
    EXPECT_EQ(panel.dialog()->value(), 2000) << "the end is shown at once";
    EXPECT_EQ(label(), QStringLiteral("Module 2,000 of 2,000"));
}

TEST_F(ProgressPace, TheFirstReportIsShownAtOnceAndALaterOneWhenItsIntervalEnds)
{
    panel.setProgress(0, 3, "Module 1 of 3");
    EXPECT_EQ(label(), QStringLiteral("Module 1 of 3"));
    now += 100;
    panel.setProgress(1, 3, "Module 2 of 3");
    EXPECT_EQ(label(), QStringLiteral("Module 1 of 3")) << "held back";
    now += QtProgressPanel::kReportIntervalMs;
    panel.setProgress(1, 3, "Module 2 of 3");
    EXPECT_EQ(label(), QStringLiteral("Module 2 of 3"));
}

// Stop, Escape and the window's close only ask to stop: the dialog stays up and says it is
// stopping, its line taking the focus so that a screen reader says it.
TEST_F(ProgressPace, AskingToStopKeepsTheDialogUpAndItsLineTakesTheFocus)
{
    panel.dialog()->show();
    auto* button = panel.dialog()->findChild<QPushButton*>();
    ASSERT_NE(button, nullptr);
    for (const auto& ask : std::vector<std::function<void()>>{
             [button] { button->click(); }, [this] { panel.dialog()->reject(); },
             [this] { panel.dialog()->close(); }}) {
        ask();
        EXPECT_TRUE(panel.stopRequested());
        EXPECT_TRUE(panel.dialog()->isVisible()) << "the dialog stays up";
    }
    panel.setStopping("Stopping after the current module…");
    QCoreApplication::processEvents();
    EXPECT_TRUE(panel.dialog()->isVisible());
    EXPECT_FALSE(button->isEnabled());
    auto* line = panel.dialog()->findChild<QLabel*>();
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(line->accessibleName(), QStringLiteral("Stopping after the current module…"));
    EXPECT_EQ(panel.dialog()->focusWidget(), line) << "the stopping line has the dialog's focus";
}

TEST_F(ProgressPace, AStopIsShownAtOnceAndNothingAfterIt)
{
    panel.setProgress(0, 3, "Module 1 of 3");
    panel.setStopping("Stopping…");
    now += 10 * QtProgressPanel::kReportIntervalMs;
    panel.setProgress(2, 3, "Module 3 of 3");
    panel.setWaiting("Waiting…");
    EXPECT_EQ(label(), QStringLiteral("Stopping…"));
}

class ChecklistNames : public test::ChecklistWindowTest {
protected:
    void SetUp() override
    {
        ChecklistWindowTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        owner.window->setDelegate(nullptr);
        owner.enabledRows.assign(owner.names.size(), true);
    }
};

TEST_F(ChecklistNames, AHugeNameIsShownShortenedAndReadWhole)
{
    const std::string huge = std::string(200000, 'n') + " vLX";
    owner.names.at(0) = huge;
    owner.uiTableView->reloadData();
    auto* checklist = qobject_cast<QtChecklistView*>(view);
    ASSERT_NE(checklist, nullptr);
    const QString shown = checklist->rowName(0);
    EXPECT_LE(shown.size(), QtTableModel::kLongestShownText);
    EXPECT_TRUE(shown.endsWith(QStringLiteral("… vLX")) || shown.endsWith(QStringLiteral(" vLX"))) << shown.right(8).toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    QAccessibleInterface* row = QAccessible::queryAccessibleInterface(view)->child(0);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->text(QAccessible::Name), shown);
    EXPECT_EQ(row->text(QAccessible::Description).toStdString(), huge);
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(view)->child(1)->text(QAccessible::Description).isEmpty())
        << "a name shown whole has no description";
}

}  // namespace
}  // namespace platform::qt
