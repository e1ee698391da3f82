// The settings dialog "Параметры": the general preferences, the three
// shortcuts and the removal of the stored settings.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <array>
#include <string>

#include "analysis/MessageBox.h"
#include "settings/DesktopIntegration.h"
#include "settings/Prefs.h"

class QComboBox;
class QLabel;

namespace torvo::gui {

class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    // Edits prefs; the changes reach prefs (and storage) only with OK.
    CSettingsDlg(CPrefs& prefs, IMessageBox& messages, UserDirs dirs, std::string programPath,
                 QWidget* parent = nullptr);

    void Accept();  // OK
    void Refresh();  // "Обновить"
    void ClearStored();  // "Очистить"

private:
    void UpdateEnabling();
    ShortcutChoice Chosen() const;
    // The boxes' values into prefs, then save and apply the shortcut changes.
    void Apply(bool shortcutsRefreshed);

    CPrefs& prefs_;
    IMessageBox& messages_;
    UserDirs dirs_;
    std::string programPath_;
    ShortcutChoice shortcutsBefore_{};

    QCheckBox *scanEntireFile_, *useCodecInfo_, *preloadCodecInfo_, *expertMode_, *saveWindowSize_, *staticLogo_,
        *monochromeBackground_;
    QLabel *preloadNote_, *expertNote_;
    QComboBox* language_;
    std::array<QCheckBox*, 3> shortcuts_{};
    QPushButton *refresh_, *clear_;
};

}  // namespace torvo::gui
