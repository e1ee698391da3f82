#include "SettingsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "GuiWidgets.h"
#include "HelpTexts.h"

namespace torvo::gui {
namespace {

constexpr const char* kClearQuestion = N_(
    "Все записи программы Torvo будут удалены из файла настроек.\n\nНастройки Torvo будут потеряны.\n\nНовые "
    "записи будут сделаны при следующем запуске Torvo.");
constexpr const char* kClearCaption = N_("Удаление настроек Torvo   ");

QCheckBox* Box(QWidget* owner, const char* name, const char* text, int32_t value) {
    auto* box = new QCheckBox(Tq(text), owner);
    box->setObjectName(name);
    box->setChecked(value != 0);
    return box;
}

// A language by its own name ("English", "Русский"), found whatever the window speaks.
QString NativeName(QLocale::Language language) {
    // Qt's own name of English in English is "American English".
    if (language == QLocale::English) return QLocale::languageToString(language);
    const QString name = QLocale(language).nativeLanguageName();
    return name.left(1).toUpper() + name.mid(1);
}

QLabel* Note(QWidget* owner, const QString& text) {
    auto* label = new QLabel(text, owner);
    label->setIndent(24);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    return label;
}

QLabel* InfoLink(QWidget* owner, const QString& topic) {
    auto* label = new QLabel(LinkHtml(topic, Tq("Инфо")), owner);
    label->setObjectName("info_" + topic);
    QObject::connect(label, &QLabel::linkActivated, owner,
                     [owner](const QString& link) { ShowPopup(owner, HelpText(link)); });
    return label;
}

}  // namespace

CSettingsDlg::CSettingsDlg(CPrefs& prefs, IMessageBox& messages, UserDirs dirs, std::string programPath,
                           QWidget* parent)
    : QDialog(parent), prefs_(prefs), messages_(messages), dirs_(std::move(dirs)), programPath_(std::move(programPath)) {
    setWindowTitle(Tq("Параметры"));
    setObjectName("settingsDialog");
    auto* layout = new QVBoxLayout(this);

    auto* general = new QGroupBox(Tq("Общие"), this);
    auto* g = new QGridLayout(general);
    int row = 0;
    scanEntireFile_ = Box(general, "scanEntireFile", N_("По возможности выполнять полный просмотр файла"),
                          prefs.scanEntireFile);
    g->addWidget(scanEntireFile_, row, 0);
    g->addWidget(InfoLink(general, "fastscan"), row++, 1);
    useCodecInfo_ = Box(general, "useCodecInfo", N_("Включить взаимодействие с кодеками (по умолчанию)"), prefs.useCodecInfo);
    g->addWidget(useCodecInfo_, row++, 0);
    g->addWidget(Note(general, Tq("иначе - \"безопасный режим\" (без сведений о кодеках и рендеринга)")), row++, 0);
    preloadCodecInfo_ = Box(general, "preloadCodecInfo", N_("Предзагрузка кодеков: Torvo собирает сведения о них сразу"),
                            prefs.preloadCodecInfo);
    g->addWidget(preloadCodecInfo_, row, 0);
    g->addWidget(InfoLink(general, "preload"), row++, 1);
    preloadNote_ = Note(general, Tq("иначе Torvo собирает эти сведения только после открытия файла"));
    g->addWidget(preloadNote_, row++, 0);
    expertMode_ = Box(general, "expertMode", N_("Режим эксперта: включить управление кодеками из меню"), prefs.expertMode);
    g->addWidget(expertMode_, row, 0);
    g->addWidget(InfoLink(general, "gman"), row++, 1);
    expertNote_ = Note(general, Tq("иначе параметры, влияющие на настройки системы, отключены"));
    g->addWidget(expertNote_, row++, 0);
    saveWindowSize_ = Box(general, "saveWindowSize", N_("Запоминать размер и положение окна"), prefs.saveWindowSize);
    g->addWidget(saveWindowSize_, row++, 0);
    staticLogo_ = Box(general, "staticLogo", N_("Логотип только статичный (для тех, кого отвлекает)"), prefs.staticLogo);
    g->addWidget(staticLogo_, row++, 0);
    monochromeBackground_ = Box(general, "monochromeBackground", N_("Boring монохромные фоны (после перезапуска)"),
                                prefs.monochromeBackground);
    g->addWidget(monochromeBackground_, row++, 0);
    // The window's language, read at start-up: the window is built in one.
    auto* languageRow = new QHBoxLayout;
    languageRow->addWidget(new QLabel(Tq("Язык окна:"), general));
    language_ = new QComboBox(general);
    language_->setObjectName("language");
    language_->addItem(Tq("Как в системе"), QString(kLanguageSystem));
    language_->addItem(NativeName(QLocale::Russian), QString("ru"));
    language_->addItem(NativeName(QLocale::English), QString("en"));
    language_->setCurrentIndex(std::max(0, language_->findData(Qs(prefs.language))));
    languageRow->addWidget(language_);
    languageRow->addWidget(new QLabel(Tq("(после перезапуска)"), general), 1);
    g->addLayout(languageRow, row++, 0);
    g->setColumnStretch(0, 1);
    layout->addWidget(general);
    connect(useCodecInfo_, &QCheckBox::toggled, this, &CSettingsDlg::UpdateEnabling);

    auto* links = new QGroupBox(Tq("Ярлыки"), this);
    auto* l = new QGridLayout(links);
    constexpr const char* kShortcutTexts[3] = {N_("Ярлык Torvo на Рабочем столе"), N_("Ярлык Torvo в Главном меню"),
                                               N_("Ярлык Torvo в меню \"Отправить\"")};
    constexpr const char* kShortcutNames[3] = {"shortcutDesktop", "shortcutMenu", "shortcutSendTo"};
    // Shortcuts need a program file to point to.
    const bool shortcutsAvailable = !programPath_.empty();
    for (size_t i = 0; i < 3; ++i) {
        shortcutsBefore_[i] = ShortcutExists(dirs_, kShortcutPlaces[i]);
        shortcuts_[i] = Box(links, kShortcutNames[i], kShortcutTexts[i], shortcutsBefore_[i]);
        shortcuts_[i]->setEnabled(shortcutsAvailable);
        l->addWidget(shortcuts_[i], int(i), 0);
    }
    // An installed Torvo is in the menu through its own entry; a second one
    // would only list it twice. A user entry made earlier can still be removed.
    QCheckBox* menu = shortcuts_[1];
    if (!shortcutsBefore_[1] &&
        InstalledEntryPresent(dirs_, std::filesystem::path(programPath_).parent_path())) {
        menu->setChecked(true);
        menu->setEnabled(false);
        menu->setToolTip(Tq("Torvo установлен в системе и уже есть в Главном меню"));
    }
    l->addWidget(InfoLink(links, "os"), 0, 1);
    refresh_ = new QPushButton(Tq("Обновить"), links);
    refresh_->setObjectName("refreshButton");
    refresh_->setEnabled(shortcutsAvailable);
    l->addWidget(refresh_, 2, 1);
    l->setColumnStretch(0, 1);
    layout->addWidget(links);
    connect(refresh_, &QPushButton::clicked, this, &CSettingsDlg::Refresh);

    auto* registry = new QGroupBox(Tq("Файл настроек"), this);
    auto* r = new QHBoxLayout(registry);
    r->addWidget(new QLabel(Qs(dirs_.SettingsFile().string()), registry), 1);
    r->addWidget(InfoLink(registry, "registry"));
    clear_ = new QPushButton(Tq("Очистить"), registry);
    clear_->setObjectName("clearButton");
    clear_->setEnabled(!prefs_.Cleared());
    r->addWidget(clear_);
    layout->addWidget(registry);
    connect(clear_, &QPushButton::clicked, this, &CSettingsDlg::ClearStored);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(Tq("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsDlg::Accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    UpdateEnabling();
}

void CSettingsDlg::UpdateEnabling() {
    const bool codecs = useCodecInfo_->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(preloadCodecInfo_), static_cast<QWidget*>(expertMode_),
                       static_cast<QWidget*>(preloadNote_), static_cast<QWidget*>(expertNote_)})
        w->setEnabled(codecs);
}

ShortcutChoice CSettingsDlg::Chosen() const {
    // A box that cannot be changed asks for nothing.
    const auto wanted = [this](size_t i) { return shortcuts_[i]->isEnabled() && shortcuts_[i]->isChecked(); };
    return {wanted(0), wanted(1), wanted(2)};
}

void CSettingsDlg::Apply(bool shortcutsRefreshed) {
    prefs_.scanEntireFile = scanEntireFile_->isChecked();
    prefs_.useCodecInfo = useCodecInfo_->isChecked();
    prefs_.preloadCodecInfo = preloadCodecInfo_->isChecked();
    prefs_.expertMode = expertMode_->isChecked();
    prefs_.saveWindowSize = saveWindowSize_->isChecked();
    prefs_.staticLogo = staticLogo_->isChecked();
    prefs_.monochromeBackground = monochromeBackground_->isChecked();
    prefs_.language = Std(language_->currentData().toString());
    prefs_.Save(false);
    const ShortcutChoice chosen = Chosen();
    if (!shortcutsRefreshed && shortcuts_[0]->isEnabled()) ApplyShortcuts(dirs_, programPath_, shortcutsBefore_, chosen);
    shortcutsBefore_ = chosen;
}

void CSettingsDlg::Accept() {
    Apply(false);
    accept();
}

void CSettingsDlg::Refresh() {
    RefreshShortcuts(dirs_, programPath_, Chosen());
    Apply(true);
    refresh_->setEnabled(false);
}

void CSettingsDlg::ClearStored() {
    if (messages_.Show(Tr(kClearCaption), Tr(kClearQuestion), MessageIcon::kQuestion, MessageButtons::kOkCancel) !=
        MessageAnswer::kOk)
        return;
    prefs_.Clear();
    clear_->setEnabled(false);
}

}  // namespace torvo::gui
