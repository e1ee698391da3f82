#include "QtMessageBox.h"

#include <QMessageBox>

#include "GuiWidgets.h"

namespace torvo::gui {

MessageAnswer CQtMessageBox::Show(std::string_view caption, std::string_view text, MessageIcon icon,
                                  MessageButtons buttons) {
    QMessageBox::Icon qtIcon = QMessageBox::Information;
    switch (icon) {
        case MessageIcon::kInformation: qtIcon = QMessageBox::Information; break;
        case MessageIcon::kWarning: qtIcon = QMessageBox::Warning; break;
        case MessageIcon::kError: qtIcon = QMessageBox::Critical; break;
        case MessageIcon::kQuestion: qtIcon = QMessageBox::Question; break;
    }
    const auto qtButtons =
        buttons == MessageButtons::kOkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok;
    // The texts use CR LF from their origins; one line break is enough here.
    // The core's texts arrive as composed, in Russian; the window's own are translated already.
    QString body = Lq(text);
    body.replace("\r\n", "\n");
    QMessageBox box(qtIcon, Lq(caption), body, qtButtons, owner_);
    return box.exec() == QMessageBox::Ok ? MessageAnswer::kOk : MessageAnswer::kCancel;
}

}  // namespace torvo::gui
