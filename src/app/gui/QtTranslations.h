// Qt's own texts (standard buttons, file dialogs, context menus of text
// fields) in Russian, like the rest of the program.
#pragma once

class QCoreApplication;

namespace torvo::gui {

// Installs Qt's Russian catalogue (qtbase_ru from Qt's translations folder);
// false when it is not installed (Qt then speaks English).
bool InstallQtTranslations(QCoreApplication& app);

}  // namespace torvo::gui
