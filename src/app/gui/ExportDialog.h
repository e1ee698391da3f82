// The "Export Setup" dialog: whether to export, which template, where the
// export files go. Changes are kept until OK; "Запомнить" stores everything
// with the export switch at once; Cancel rereads the stored settings.
#pragma once

#include <QDialog>
#include <array>

#include "analysis/MessageBox.h"
#include "export/ExportWriter.h"
#include "settings/Prefs.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QGroupBox;

namespace torvo::gui {

class CExportDlg : public QDialog {
    Q_OBJECT
public:
    CExportDlg(CPrefs& prefs, IMessageBox& messages, QWidget* parent = nullptr);

    void Accept();  // OK
    void Cancel();  // Cancel
    void Store();   // "Запомнить"

    // The choosers behind the "..." buttons, replaceable in tests.
    std::function<QString(const QString& startFolder)> chooseTemplate;
    std::function<QString(const QString& start, bool saveFile)> choosePath;

private:
    void ShowSettings();
    void UpdateEnabling();
    // The fields' texts into the working settings.
    void TakeFields();
    void PickTemplate();
    void PickPath();

    CPrefs& prefs_;
    IMessageBox& messages_;
    ExportSettings working_;

    QCheckBox *enabled_, *overwrite_;
    QPushButton *store_, *templateButton_, *pathButton_;
    std::array<QRadioButton*, 3> sources_{};
    std::array<QRadioButton*, 3> modes_{};
    QLineEdit *templateName_, *path_;
    QGroupBox *formatGroup_, *filesGroup_;
};

}  // namespace torvo::gui
