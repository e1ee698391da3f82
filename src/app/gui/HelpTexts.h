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

// Shows text (with "~" as line breaks) in a small window at the mouse; a
// right click pins it, so that it stays when the mouse moves on.
void ShowPopup(QWidget* owner, const QString& text);

// A rich-text link to a topic, for a QLabel.
QString LinkHtml(const QString& topic, const QString& label);

}  // namespace torvo::gui
