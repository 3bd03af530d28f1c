// Qt's own translations follow the localization the program's texts are shown in; the folder
// chooser shows the title it is given.

#include "platform/appkit/OpenPanel.h"
#include "platform/qt/QtTranslations.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

using platform::qt::QtTranslations;

// Removes every translator the test installed, so that later tests see Qt's English.
void removeTranslators()
{
    for (QTranslator* translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

TEST(QtTranslations, CatalogueLanguageOfEachLocalizationName)
{
    const struct {
        const char* localization;
        const char* language;
    } cases[] = {
        {"German", "de"},    {"de", "de"},        {"de-DE", "de"},    {"French", "fr"},   {"Italian", "it"},
        {"Spanish", "es"},   {"Japanese", "ja"},  {"ko", "ko"},       {"zh_CN", "zh_CN"}, {"zh-Hans", "zh_CN"},
        {"zh_TW", "zh_TW"},  {"zh-Hant", "zh_TW"}, {"pt-BR", "pt_BR"}, {"English", ""},    {"en", ""},
        {"en-GB", ""},       {"Base", ""},        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QtTranslations::qtLanguageFor(c.localization), c.language) << c.localization;
}

TEST(QtTranslations, StandardButtonsSpeakTheInstalledLanguage)
{
    ASSERT_NE(QCoreApplication::instance(), nullptr);
    const struct {
        const char* localization;
        const char* cancel;
    } cases[] = {
        {"German", "Abbrechen"}, {"French", "Annuler"}, {"Japanese", "キャンセル"}, {"zh_CN", "取消"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(QtTranslations::install(*QCoreApplication::instance(), c.localization)) << c.localization;
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel").toStdString(), c.cancel) << c.localization;
        removeTranslators();
    }
    EXPECT_FALSE(QtTranslations::install(*QCoreApplication::instance(), "English")) << "English needs no catalogue";
    EXPECT_FALSE(QtTranslations::install(*QCoreApplication::instance(), "Klingon"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
}

TEST(QtOpenPanelTitle, ChooserShowsTheGivenTitle)
{
    QString title;
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            title = dialog->windowTitle();
            dialog->reject();
        }
    });
    auto panel = platform::OpenPanel::openPanel();
    panel->setCanChooseDirectories(true);
    panel->setCanChooseFiles(false);
    panel->setTitle("Choose the plug-in folder of Photo Editor 6");
    EXPECT_EQ(panel->runModalForDirectory(std::string("/tmp"), std::nullopt, std::nullopt), 0);
    EXPECT_EQ(title, "Choose the plug-in folder of Photo Editor 6");
}

}  // namespace
