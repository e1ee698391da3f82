// "Копировать отчет" and "Сохранить отчет..." of the "Файл" menu: the whole
// report of the shown file as the command-line program writes it (its text
// report, or its JSON line).
#pragma once

#include <QString>
#include <functional>
#include <string>

class QMenu;
class QWidget;

namespace torvo {
class Display;
}

namespace torvo::gui {

struct ShownReport {
    std::string path;  // empty while no file is shown
    int typeId = 0;
    const Display* display = nullptr;
};

// The report as text or as a JSON line (with its line break).
std::string ReportText(const ShownReport& report, bool json);

// Adds the two commands to the menu; shown tells what the window shows now.
void AddReportActions(QWidget* window, QMenu* fileMenu, std::function<ShownReport()> shown);

// Writes the report to a file; false with the reason.
bool SaveReport(const ShownReport& report, const QString& fileName, bool json, QString& error);

}  // namespace torvo::gui
