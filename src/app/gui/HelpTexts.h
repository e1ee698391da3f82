// The program's own short explanations behind "torvo://" links, and the
// pop-up that shows them at the mouse.
#pragma once

#include <QString>

class QWidget;

namespace torvo::gui {

inline constexpr const char* kLinkScheme = "torvo://";

// The explanation for a link such as "torvo://local.aspect"; "?" for a topic
// the program has nothing about. "~" in the stored texts is a line break.
QString HelpText(const QString& link);

// The field-key list of the export dialog's links: every report key that
// begins with one of the prefixes, between the two fixed texts.
QString FieldKeyList(const QStringList& prefixes);

// Shows text (with "~" as line breaks, "~/" left as the home folder) in a
// small window beside the mouse, all of it on the screen. It goes when the
// mouse leaves it or a click lands elsewhere; a right click pins it, so that
// it stays, and a pinned one can be dragged; a left click closes it.
QWidget* ShowPopup(QWidget* owner, const QString& text);

// A rich-text link to a topic, for a QLabel.
QString LinkHtml(const QString& topic, const QString& label);

}  // namespace torvo::gui
