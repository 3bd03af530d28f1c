#include "platform/qt/QtTranslations.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Locale.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace platform::qt {

std::string QtTranslations::qtLanguageFor(const std::string& localization)
{
    if (localization.empty() || localization == "Base")
        return {};
    const std::string tag = canonicalLocalizationName(localization);
    if (tag == "zh-Hans" || tag.rfind("zh-Hans-", 0) == 0 || tag == "zh-CN" || tag == "zh-SG")
        return "zh_CN";
    if (tag == "zh-Hant" || tag.rfind("zh-Hant-", 0) == 0 || tag == "zh-TW" || tag == "zh-HK")
        return "zh_TW";
    // Qt names its catalogues by language alone, apart from the Chinese scripts and a few
    // regional ones that it finds itself from the language's full name.
    std::string language = tag.substr(0, tag.find('-'));
    if (language.empty() || language == "en")
        return {};
    const auto dash = tag.find('-');
    if (dash != std::string::npos && language == "pt")
        return "pt_" + tag.substr(dash + 1);
    return language;
}

std::string QtTranslations::mainBundleLocalization()
{
    const std::shared_ptr<Bundle> bundle = Bundle::mainBundle();
    if (!bundle || bundle->localizations().empty())
        return {};
    const std::vector<std::string> preferred = bundle->preferredLocalizations();
    return preferred.empty() ? std::string() : preferred.front();
}

bool QtTranslations::install(QCoreApplication& application, const std::string& localization)
{
    const std::string language = qtLanguageFor(localization);
    if (language.empty())
        return false;
    auto* translator = new QTranslator(&application);
    if (!translator->load(QStringLiteral("qtbase_") + QString::fromStdString(language),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace platform::qt
