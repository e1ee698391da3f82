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
    const QLocale::Language language = CurrentLanguage() == Language::kEnglish ? QLocale::English : QLocale::Russian;
    auto* translator = new QTranslator(&app);
    translator->setObjectName(kName);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLocale(language), "qtbase", "_", folder) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        // Qt's texts are English already; its English catalogue only mends plurals.
        return language == QLocale::English;
    }
    return true;
}

}  // namespace torvo::gui
