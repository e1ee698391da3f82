// Qt's own texts (standard buttons, file dialogs, context menus of text
// fields) in the window's language, like the rest of the program.
#pragma once

class QCoreApplication;

namespace torvo::gui {

// Installs Qt's catalogue for the program's current language (qtbase_ru,
// qtbase_en or the locale's from Qt's translations folder) in place of one
// installed earlier. False when a Russian one is not installed (Qt then speaks
// English, its own language, which needs none).
bool InstallQtTranslations(QCoreApplication& app);

}  // namespace torvo::gui
