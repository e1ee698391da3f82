#include "About.h"

#include <QMessageBox>
#include <QWidget>
#include <string_view>

#include "BuildDate.h"
#include "GuiWidgets.h"

namespace torvo::gui {

std::string VersionLine() { return std::string("torvo ") + TORVO_VERSION; }

const char* UsageText() {
    return "Usage: torvo [options] [-x] [-f LIST] [FILE|FOLDER...]\n"
           "Shows in a window what each media file holds: its container, its streams, the codecs\n"
           "they need and whether those are installed.\n"
           "\n"
           "  FILE                   open the file; several names wait in the queue\n"
           "  FOLDER                 a folder stands for the media files below it\n"
           "  -f LIST                queue the names in LIST too, one per line\n"
           "  -x                     analyse every queued file (the export settings decide what\n"
           "                         is written), then close the window\n"
           "  --help                 this text\n"
           "  --version              the program version\n"
           "Qt's own options (-platform, -style, ...) are accepted too.\n"
           "\n"
           "The window speaks the language the settings choose; by default the locale's\n"
           "(LANGUAGE, LC_ALL, LC_MESSAGES, LANG): English, or Russian where no catalogue fits.\n"
           "torvo-cli(1) gives the same reports on the command line.\n";
}

std::optional<std::string> PrintedAnswer(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        // Everything after "--" is a name (torvo-cli's rule).
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h") return std::string(UsageText());
        if (arg == "--version" || arg == "-V") return VersionLine() + "\n";
    }
    return std::nullopt;
}

void ShowAboutBox(QWidget* owner) {
    const QString text = QString("<b>Torvo</b><br>%1<br>%2<br><br>%3")
                             .arg(Tq("Версия  %1").arg(TORVO_VERSION), Tq("Сборка %1").arg(TORVO_BUILD_DATE),
                                  Tq("Что внутри медиафайла и почему он может не играть."));
    QMessageBox box(QMessageBox::NoIcon, Tq("О программе Torvo"), text, QMessageBox::Ok, owner);
    box.setObjectName("aboutBox");
    if (owner) box.setIconPixmap(owner->windowIcon().pixmap(64, 64));
    box.exec();
}

}  // namespace torvo::gui
