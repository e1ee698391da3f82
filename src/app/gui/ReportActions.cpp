#include "ReportActions.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>

#include "GuiWidgets.h"

namespace torvo::gui {

std::string ReportOutput(const FileReport& report, bool json) {
    return json ? ReportJsonLine(report) + "\n" : ReportText(report);
}

bool SaveReport(const FileReport& report, const QString& fileName, bool json, QString& error) {
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = file.errorString();
        return false;
    }
    const std::string text = ReportOutput(report, json);
    if (file.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        error = file.errorString();
        return false;
    }
    return true;
}

void AddReportActions(QWidget* window, QMenu* fileMenu, std::function<std::optional<FileReport>()> shown) {
    auto* copy = fileMenu->addAction(Tq("&Копировать отчет"));
    copy->setObjectName("actionCopyReport");
    copy->setShortcut(QKeySequence("Ctrl+Shift+C"));
    auto* save = fileMenu->addAction(Tq("Сохранить о&тчет..."));
    save->setObjectName("actionSaveReport");
    save->setShortcut(QKeySequence::Save);
    window->addAction(copy);
    window->addAction(save);
    // Enabled while a file is shown.
    QObject::connect(fileMenu, &QMenu::aboutToShow, window, [copy, save, shown] {
        const bool any = shown().has_value();
        copy->setEnabled(any);
        save->setEnabled(any);
    });
    QObject::connect(copy, &QAction::triggered, window, [shown] {
        if (const std::optional<FileReport> report = shown()) QApplication::clipboard()->setText(Qs(ReportOutput(*report, false)));
    });
    QObject::connect(save, &QAction::triggered, window, [window, shown] {
        const std::optional<FileReport> shownReport = shown();
        if (!shownReport) return;
        const FileReport& report = *shownReport;
        const QString text = Tq("Текст (*.txt)"), json = "JSON Lines (*.jsonl)";
        QString filter = text;
        const QString suggested = Qs(report.path) + ".txt";
        const QString name = QFileDialog::getSaveFileName(window, Tq("Сохранить отчет"), suggested, text + ";;" + json, &filter);
        if (name.isEmpty()) return;
        QString error;
        if (!SaveReport(report, name, filter == json || name.endsWith(".jsonl") || name.endsWith(".json"), error))
            QMessageBox::warning(window, "Torvo", Tq("Не удалось сохранить отчет в %1:\n%2").arg(name, error));
    });
}

}  // namespace torvo::gui
