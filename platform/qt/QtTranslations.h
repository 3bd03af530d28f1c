#pragma once

#include <string>

class QCoreApplication;

namespace platform::qt {

/// Qt's own translations (the "qtbase" catalogue of the system's Qt), so that the toolkit's
/// dialogs and standard buttons speak the language of the program's own texts.
class QtTranslations {
public:
    /// The language part of Qt's catalogue name for a localization folder name ("German" and
    /// "de-DE" give "de", "zh_CN" and "zh-Hans" give "zh_CN", "zh-Hant" gives "zh_TW"); empty
    /// for English, for "Base" and for an empty name, which need no catalogue.
    static std::string qtLanguageFor(const std::string& localization);

    /// The localization that the main bundle's own texts are shown in: the first of its
    /// preferred localizations; empty when the main bundle has no localization folders.
    static std::string mainBundleLocalization();

    /// Loads "qtbase_<language>" from Qt's translations folder into the application; false when
    /// no catalogue is needed or none is installed. The translator lives as long as the
    /// application.
    static bool install(QCoreApplication& application, const std::string& localization);
};

}  // namespace platform::qt
