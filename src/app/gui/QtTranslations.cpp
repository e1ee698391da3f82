#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "base/Translate.h"

namespace torvo::gui {

bool InstallQtTranslations(QCoreApplication& app) {
    constexpr const char* kName = "qtTranslations";
    if (auto* earlier = app.findChild<QTranslator*>(kName)) {
        QCoreApplication::removeTranslator(earlier);
        delete earlier;
    }
    // A further language the locale chose has its catalogue under the locale's names.
    const Language current = CurrentLanguage();
    const QLocale locale = current == Language::kEnglish   ? QLocale(QLocale::English)
                           : current == Language::kRussian ? QLocale(QLocale::Russian)
                                                           : QLocale::system();
    auto* translator = new QTranslator(&app);
    translator->setObjectName(kName);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(locale, "qtbase", "_", folder) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        // Qt's texts are English already; its English catalogue only mends plurals.
        return locale.language() == QLocale::English;
    }
    return true;
}

}  // namespace torvo::gui
