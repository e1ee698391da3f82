#include "ExportDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <filesystem>

#include "GuiWidgets.h"
#include "HelpTexts.h"
#include "export/ExportPrefs.h"

namespace torvo::gui {
namespace {

constexpr const char* kSourceTexts[3] = {N_("Общий типовой для импорта в таблицу"),
                                         N_("Общий типовой для текстового файла NFO"),
                                         N_("Свой, использующий этот файл формата:")};
constexpr const char* kModeTexts[3] = {N_("Для каждого AVI свой файл (папка-авто)"),
                                       N_("Для каждого AVI свой файл, выбрать папку"),
                                       N_("Все дописывать в прежний файл (укажи имя)")};
constexpr const char* kTextFilter = N_("Tекстовые  (*.txt) (*.txt);;Все файлы (*.*) (*)");

QLabel* Link(QDialog* owner, const QString& topic, const QString& text) {
    auto* label = new QLabel(LinkHtml(topic, text), owner);
    label->setObjectName("link_" + topic);
    QObject::connect(label, &QLabel::linkActivated, owner,
                     [owner](const QString& link) { ShowPopup(owner, HelpText(link)); });
    return label;
}

}  // namespace

CExportDlg::CExportDlg(CPrefs& prefs, IMessageBox& messages, QWidget* parent)
    : QDialog(parent), prefs_(prefs), messages_(messages), working_(ExportSettingsFromPrefs(prefs)) {
    setWindowTitle("Export Setup");
    setObjectName("exportDialog");
    setMinimumWidth(560);
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    enabled_ = new QCheckBox(Tq("Включить экспорт"), this);
    enabled_->setObjectName("exportEnabled");
    store_ = new QPushButton(Tq("Запомнить"), this);
    store_->setObjectName("storeButton");
    store_->setEnabled(false);
    top->addWidget(enabled_);
    top->addStretch(1);
    top->addWidget(Link(this, "batch", Tq("Автоматизация")));
    top->addWidget(store_);
    layout->addLayout(top);

    formatGroup_ = new QGroupBox(Tq("Формат"), this);
    auto* f = new QGridLayout(formatGroup_);
    auto* sourceGroup = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        sources_[size_t(i)] = new QRadioButton(Tq(kSourceTexts[i]), formatGroup_);
        sources_[size_t(i)]->setObjectName(QString("formatSrc%1").arg(i));
        sourceGroup->addButton(sources_[size_t(i)], i);
        f->addWidget(sources_[size_t(i)], i, 0, 1, 2);
    }
    templateName_ = new QLineEdit(formatGroup_);
    templateName_->setObjectName("templateName");
    templateName_->setReadOnly(true);
    templateButton_ = new QPushButton("...", formatGroup_);
    templateButton_->setObjectName("templateButton");
    templateButton_->setFixedWidth(32);
    f->addWidget(templateName_, 3, 0);
    f->addWidget(templateButton_, 3, 1);
    auto* keys = new QHBoxLayout;
    keys->addWidget(new QLabel(Tq("Обозначения полей:"), formatGroup_));
    keys->addWidget(Link(this, "key_file", Tq("Файл+контейнер")));
    keys->addWidget(Link(this, "key_video", Tq("Видео")));
    keys->addWidget(Link(this, "key_audio", Tq("Звук")));
    keys->addStretch(1);
    f->addLayout(keys, 4, 0, 1, 2);
    layout->addWidget(formatGroup_);

    filesGroup_ = new QGroupBox(Tq("Создаваемые файлы"), this);
    auto* m = new QGridLayout(filesGroup_);
    auto* modeGroup = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        modes_[size_t(i)] = new QRadioButton(Tq(kModeTexts[i]), filesGroup_);
        modes_[size_t(i)]->setObjectName(QString("exportMode%1").arg(i + 1));
        modeGroup->addButton(modes_[size_t(i)], i + 1);
        m->addWidget(modes_[size_t(i)], i, 0, 1, 2);
    }
    path_ = new QLineEdit(filesGroup_);
    path_->setObjectName("exportPath");
    pathButton_ = new QPushButton("...", filesGroup_);
    pathButton_->setObjectName("pathButton");
    pathButton_->setFixedWidth(32);
    m->addWidget(path_, 3, 0);
    m->addWidget(pathButton_, 3, 1);
    overwrite_ = new QCheckBox(Tq("Разрешить замену"), filesGroup_);
    overwrite_->setObjectName("overwriteOk");
    m->addWidget(overwrite_, 4, 0);
    m->addWidget(Link(this, "modes", Tq("Режим экспорта")), 4, 1, Qt::AlignRight);
    layout->addWidget(filesGroup_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(Tq("Отмена"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CExportDlg::Accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CExportDlg::Cancel);

    chooseTemplate = [this](const QString& start) {
        return QFileDialog::getOpenFileName(this, Tq("Выберите файл - шаблон формата               "), start, Tq(kTextFilter));
    };
    choosePath = [this](const QString& start, bool saveFile) {
        if (saveFile) {
            QFileDialog dialog(this, Tq("Экспорт данных как текста"), start, Tq("Tекстовые  (*.txt) (*.txt)"));
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setDefaultSuffix("txt");
            return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles()[0]
                                                                                        : QString();
        }
        return QFileDialog::getExistingDirectory(this, Tq("Выберите папку      "), start);
    };

    connect(enabled_, &QCheckBox::toggled, this, [this](bool on) {
        working_.enabled = on;
        store_->setEnabled(true);
        UpdateEnabling();
    });
    connect(sourceGroup, &QButtonGroup::idClicked, this, [this](int id) {
        working_.formatSrc = id;
        UpdateEnabling();
    });
    connect(modeGroup, &QButtonGroup::idClicked, this, [this](int id) {
        TakeFields();
        working_.mode = id;
        ShowSettings();
    });
    connect(overwrite_, &QCheckBox::toggled, this, [this](bool on) { working_.overwriteOk = on; });
    connect(store_, &QPushButton::clicked, this, &CExportDlg::Store);
    connect(templateButton_, &QPushButton::clicked, this, &CExportDlg::PickTemplate);
    connect(pathButton_, &QPushButton::clicked, this, &CExportDlg::PickPath);
    ShowSettings();
}

void CExportDlg::ShowSettings() {
    const QSignalBlocker blockEnabled(enabled_), blockOverwrite(overwrite_);
    enabled_->setChecked(working_.enabled);
    overwrite_->setChecked(working_.overwriteOk);
    for (int i = 0; i < 3; ++i) {
        sources_[size_t(i)]->setChecked(working_.formatSrc == i);
        modes_[size_t(i)]->setChecked(working_.mode == i + 1);
    }
    templateName_->setText(Qs(working_.templateName));
    path_->setText(Qs(working_.mode == 2 ? working_.path : working_.mode == 3 ? working_.file : std::string()));
    UpdateEnabling();
}

void CExportDlg::UpdateEnabling() {
    const bool on = working_.enabled;
    formatGroup_->setEnabled(on);
    filesGroup_->setEnabled(on);
    const bool own = working_.formatSrc == 2;
    templateName_->setEnabled(own);
    templateButton_->setEnabled(own);
    // In modes 2 and 3 the path is chosen with its "..." button.
    path_->setReadOnly(working_.mode == 2 || working_.mode == 3);
    path_->setEnabled(working_.mode == 2 || working_.mode == 3);
    pathButton_->setEnabled(working_.mode == 2 || working_.mode == 3);
}

void CExportDlg::TakeFields() {
    const std::string name = Std(templateName_->text());
    if (name != working_.templateName) {
        working_.templateName = name;
        working_.loadedTemplate.clear();
        working_.templateLoaded = false;
    }
    if (working_.mode == 2) working_.path = Std(path_->text());
    else if (working_.mode == 3) working_.file = Std(path_->text());
}

void CExportDlg::PickTemplate() {
    const QString start = QFileInfo(templateName_->text()).absolutePath();
    const QString chosen = chooseTemplate ? chooseTemplate(start) : QString();
    if (!chosen.isEmpty()) templateName_->setText(chosen);
}

void CExportDlg::PickPath() {
    const bool saveFile = working_.mode == 3;
    const QString chosen = choosePath ? choosePath(Qs(working_.path), saveFile) : QString();
    if (!chosen.isEmpty()) path_->setText(chosen);
}

void CExportDlg::Store() {
    TakeFields();
    StoreExportSettings(working_, prefs_);
    prefs_.Save(true);
    store_->setEnabled(false);
}

void CExportDlg::Accept() {
    TakeFields();
    if (working_.enabled && working_.formatSrc == 2) {
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::path name(working_.templateName);
        QString problem;
        if (!fs::exists(name, error)) problem = Tq("%1: файл не найден.").arg(Qs(working_.templateName));
        else if (fs::is_directory(name, error)) problem = Tq("%1 - это папка, а не файл. ").arg(Qs(working_.templateName));
        if (!problem.isEmpty()) {
            problem += "\r\n" + Tq("Экспорт будет отключен (\"Отмена\" - не отключать экспорт).");
            if (messages_.Show(Tr("Режим экспорта"), Std(problem), MessageIcon::kWarning, MessageButtons::kOkCancel) !=
                MessageAnswer::kOk)
                return;
            working_.enabled = false;
        }
    }
    // The export switch lasts for this run; only "Запомнить" stores it.
    StoreExportSettings(working_, prefs_);
    prefs_.Save(false);
    accept();
}

void CExportDlg::Cancel() {
    prefs_.Load();
    reject();
}

}  // namespace torvo::gui
