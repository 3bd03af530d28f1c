// The toolkit's folder dialog in French: headers and places shown whole, the dialog wide enough,
// and a folder's type in French. Runs in the QApplication of QtInterfaceTest.cpp.
#include "platform/qt/QtFileDialogFit.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QTreeView>

#include <gtest/gtest.h>

namespace platform::qt {
namespace {

class QtFileDialogFitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("Photo Editor 6")));
        ASSERT_TRUE(translator.load(QStringLiteral("qtbase_fr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            << "qt6-translations-l10n brings Qt's French catalogue";
        QCoreApplication::installTranslator(&translator);
    }
    void TearDown() override { QCoreApplication::removeTranslator(&translator); }

    QTemporaryDir folder;
    QTranslator translator;
};

TEST_F(QtFileDialogFitTest, AFolderIsOfTheTypeFolderInTheDialogsLanguage)
{
    const QtFileDialogFit::FolderTypeProvider provider;
    EXPECT_EQ(provider.type(QFileInfo(folder.path() + QStringLiteral("/Photo Editor 6"))), QStringLiteral("Dossier"));
    QFile file(folder.path() + QStringLiteral("/notes.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_NE(provider.type(QFileInfo(file.fileName())), QStringLiteral("Dossier"));
}

TEST_F(QtFileDialogFitTest, HeadersAndPlacesAreShownWhole)
{
    QFileDialog dialog(nullptr, QString(), folder.path());
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setViewMode(QFileDialog::Detail);
    QtFileDialogFit::apply(dialog);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::qWait(300);

    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    auto* sidebar = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
    ASSERT_NE(list, nullptr);
    ASSERT_NE(sidebar, nullptr);
    QHeaderView* header = list->header();
    for (int column = 1; column < header->count(); ++column) {
        if (header->isSectionHidden(column)) {
            continue;
        }
        const QString title = list->model()->headerData(column, Qt::Horizontal).toString();
        EXPECT_GE(header->sectionSize(column), header->fontMetrics().horizontalAdvance(title)) << title.toStdString();
        EXPECT_LE(header->sectionPosition(column) + header->sectionSize(column) - header->offset(),
                  list->viewport()->width() + 1)
            << title.toStdString() << " lies inside the list";
    }
    for (int row = 0; row < sidebar->model()->rowCount(); ++row) {
        const QString place = sidebar->model()->index(row, 0).data().toString();
        EXPECT_GE(sidebar->viewport()->width(), sidebar->fontMetrics().horizontalAdvance(place)) << place.toStdString();
    }

    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    const QModelIndex sub = model->index(folder.path() + QStringLiteral("/Photo Editor 6"));
    ASSERT_TRUE(sub.isValid());
    EXPECT_EQ(model->type(sub), QStringLiteral("Dossier"));
}

}  // namespace
}  // namespace platform::qt
