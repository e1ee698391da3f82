// What the program says about itself: the About box, and the answers to
// --version and --help, which are printed without opening a window.
#pragma once

#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace torvo::gui {

// "torvo VERSION", the version torvo-cli -V gives.
std::string VersionLine();

// The usage text of --help (English, as torvo-cli's).
const char* UsageText();

// The text --help or --version asks for (the first of them on the command
// line); nothing when the window is to open.
std::optional<std::string> PrintedAnswer(const std::vector<std::string>& args);

// The About box: the program's version and the day it was built.
void ShowAboutBox(QWidget* owner);

}  // namespace torvo::gui
