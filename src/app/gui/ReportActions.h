// "Копировать отчет" and "Сохранить отчет..." of the "Файл" menu: the shown
// file's report as the command-line program writes it (its text report, or
// its JSON line).
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "analysis/FileReport.h"

class QMenu;
class QWidget;

namespace torvo::gui {

// The report as text or as a JSON line (with its line break).
std::string ReportOutput(const FileReport& report, bool json);

// Adds the two commands to the menu; `shown` gives the shown file's report,
// none while no file is shown or its full scan still runs.
void AddReportActions(QWidget* window, QMenu* fileMenu, std::function<std::optional<FileReport>()> shown);

// Writes the report to a file; false with the reason.
bool SaveReport(const FileReport& report, const QString& fileName, bool json, QString& error);

}  // namespace torvo::gui
