#include "MainWindow.h"

#include "About.h"
#include "Branding.h"
#include "FrameLayoutDialog.h"
#include "GopStruct.h"
#include "ReportActions.h"
#include "analysis/DriverScan.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

#include "CodecListDialog.h"
#include "DroppedNames.h"
#include "ExportDialog.h"
#include "GenericList.h"
#include "HelpTexts.h"
#include "ChainList.h"
#include "RenderControls.h"
#include "TestMonitor.h"
#include "base/GuidText.h"
#include "platform/gstreamer/GstInventoryCache.h"
#include "platform/gstreamer/GstPlatform.h"
#include "platform/gstreamer/render/ChainProtocol.h"
#include "platform/gstreamer/render/ChildChainPlatform.h"
#include "platform/gstreamer/render/ChildPlayback.h"
#include "platform/gstreamer/render/ChildRenderPlatform.h"
#include "SettingsDialog.h"
#include "base/Text.h"
#include "codecdb/DatabaseNaming.h"
#include "export/ExportPrefs.h"

void TorvoInitResources();

namespace torvo::gui {
namespace {

struct LampInfo {
    const char* caption;
    const char* objectName;
    const char* tooltip;
};

// The video panel's indicators in their order, with what each one says.
constexpr LampInfo kVideoLamps[] = {
    {"MPG2", "lampMpg2", N_("Видео MPEG-2")},
    {"PROG", "lampProg", N_("Прогрессивная последовательность (целые кадры)")},
    {"I/L", "lampInterlaced", N_("Чересстрочное видео")},
    {"TFF", "lampTff", N_("Встречаются картинки с первым верхним полем (TFF)")},
    {"BFF", "lampBff", N_("Встречаются картинки с первым нижним полем (BFF)")},
    {"3:2", "lampPulldown", N_("Есть повтор поля: pulldown 3:2")},
    {"PPF", "lampPpf", N_("Встречаются картинки, закодированные по одному полю")},
    {"NTSC", "lampNtsc", N_("Источник по стандарту 525 строк (NTSC)")},
    {"PAL", "lampPal", N_("Источник по стандарту 625 строк (PAL)")},
    {"I709", "lampI709", N_("Матрица цветности ITU-R BT.709 (код 1)")},
    {"I470", "lampI470", N_("Матрица цветности ITU-R BT.470 B,G (код 5)")},
    {"FCC", "lampFcc", N_("Матрица цветности FCC (код 4)")},
    {"S170", "lampS170", N_("Матрица цветности SMPTE 170M (код 6)")},
    {"S240", "lampS240", N_("Матрица цветности SMPTE 240M (код 7)")},
    {"16:9", "lampWide", N_("Анаморфный источник 16:9")},
    {"4:3", "lampStandard", N_("Стандартный источник 4:3")},
    {"MPG4", "lampMpg4", N_("Видео MPEG-4 Part 2")},
    {"H264", "lampH264", N_("Видео H.264")},
    {"BVOP", "lampBvop", N_("Есть B-VOP")},
    {"PVOP", "lampPvop", N_("Есть P-VOP")},
    {"QPEL", "lampQpel", N_("Компенсация движения с точностью в четверть пикселя (QPel)")},
    {"GMC", "lampGmc", N_("Глобальная компенсация движения (GMC)")},
    {"NVOP", "lampNvop", N_("Есть незакодированные VOP (N-VOP)")},
    {"PB", "lampPb", N_("N-VOP нулевой длительности: упакованный поток (packed bitstream)")},
    {"DF", "lampDf", N_("N-VOP ненулевой длительности: повторенные кадры")},
    {"AVID", "lampAvid", N_("Видеоблоки AVI нулевой длины (кадры \"[D]\")")},
};
constexpr LampInfo kAudioLamps[] = {
    {"CBR", "lampCbr", N_("Показанный звуковой поток с постоянным битрейтом")},
    {"VBR", "lampVbr", N_("Показанный звуковой поток с переменным битрейтом")},
};

struct FieldInfo {
    const char* caption;
    const char* objectName;
};

// The video panel's fields, row by row; a caption of nullptr ends a row.
constexpr FieldInfo kVideoFields[] = {
    {N_("Кодек"), "videoCodec"}, {N_("Имя"), "videoName"},         {nullptr, nullptr},
    {N_("Сост."), "videoStatus"}, {nullptr, nullptr},
    {N_("Время"), "videoDuration"}, {N_("Кадров"), "videoFrames"}, {N_("кб/с"), "videoBitrate"}, {N_("КК"), "videoQuality"},
    {nullptr, nullptr},
    {N_("карт/сек"), "videoPictureRate"}, {N_("кадр/сек"), "videoFrameRate"}, {N_("полей/сек"), "videoFieldRate"},
    {nullptr, nullptr},
    {N_("Кадр (ш x в)"), "videoFrameSize"}, {"seq ext", "videoSeqExt"}, {nullptr, nullptr},
    {"sar", "videoSar"}, {"par", "videoPar"}, {"dar", "videoDar"}, {nullptr, nullptr},
};
// Fields of the conversion panel, also inside the video panel's model.
constexpr FieldInfo kConversionFields[] = {{N_("Преобразов."), "conversionMatch"}, {"1", "conversionLine1"},
                                           {"2", "conversionLine2"}};
constexpr FieldInfo kAudioFields[] = {
    {N_("Кодек"), "audioCodec"}, {N_("Инфо"), "audioInfo"}, {N_("Сост."), "audioStatus"}, {N_("Время"), "audioDuration"}};

// The picture-type legend beside the frame-type bar.
constexpr std::pair<const char*, uint32_t> kBarLegend[] = {
    {"I", 0xD2E0FC}, {"P", 0xFFD0D0}, {"B", 0xE0FFE0}, {N_("иные"), 0xFFC0FF}};

bool KnownVideoCaption(const std::string& caption) {
    // The scan's own line is shown on the progress bar in the status slot.
    if (caption == kScanStatusCaption) return true;
    for (const FieldInfo& f : kVideoFields)
        if (f.caption && caption == f.caption) return true;
    for (const FieldInfo& f : kConversionFields)
        if (caption == f.caption) return true;
    return false;
}

QPushButton* SmallButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    // Reached with Tab (and pressed with the space bar), not by a click, so
    // that a click leaves the focus where the user put it.
    button->setFocusPolicy(Qt::TabFocus);
    const int width = button->fontMetrics().horizontalAdvance(text) + 18;
    button->setMinimumWidth(std::max(width, 28));
    return button;
}

QLabel* LinkLabel(CTorvoDlg* window, const QString& topic, const QString& text) {
    auto* label = new QLabel(LinkHtml(topic, text), window);
    label->setObjectName("link_" + topic);
    QObject::connect(label, &QLabel::linkActivated, window, &CTorvoDlg::OpenLink);
    return label;
}

}  // namespace

CTorvoDlg::CTorvoDlg(WindowContext context, std::unique_ptr<CReadDatabase> database, QWidget* parent)
    : QMainWindow(parent),
      context_(std::move(context)),
      prefs_(*context_.prefs),
      session_(display_, context_.messages),
      driver_(session_.Driver()),
      queue_(session_.Queue()),
      conversion_(display_),
      export_(ExportSettingsFromPrefs(prefs_)) {
    ::TorvoInitResources();
    setObjectName("mainWindow");
    setWindowTitle(Qs(kProgramTitle));
    setWindowIcon(QIcon(":/torvo/torvo.svg"));
    setAcceptDrops(true);
    display_.SetTitle(std::string(kProgramTitle));
    display_.SetObserver([this] { dirty_ = true; });
    session_.SetEvents(this);
    UseDatabase(std::move(database));

    BuildMenus();
    auto* central = new QWidget(this);
    auto* columns = new QHBoxLayout(central);
    columns->setContentsMargins(6, 6, 6, 6);

    auto* left = new QVBoxLayout;
    left->addWidget(BuildFilePanel());
    auto* containerGroup = new QGroupBox(Tq("Контейнер"), central);
    containerGroup->setObjectName("containerPanel");
    containerGroup_ = containerGroup;
    auto* containerLayout = new QVBoxLayout(containerGroup);
    containerStack_ = new QStackedWidget(containerGroup);
    containerList_ = new CNotesView(containerStack_);
    containerList_->setObjectName("containerList");
    monitor_ = new CTestMonitor(containerStack_);
    containerStack_->addWidget(containerList_);
    containerStack_->addWidget(monitor_);
    containerLayout->addWidget(containerStack_);
    auto* userGroup = new QGroupBox(Tq("Данные пользователя / Метаданные"), central);
    userGroup->setObjectName("userDataPanel");
    auto* userLayout = new QVBoxLayout(userGroup);
    userDataList_ = new CNotesView(userGroup);
    userDataList_->setObjectName("userDataList");
    userLayout->addWidget(userDataList_);
    auto* splitter = new QSplitter(Qt::Vertical, central);
    splitter->addWidget(containerGroup);
    splitter->addWidget(userGroup);
    splitter->addWidget(BuildRenderPanel());
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setStretchFactor(2, 2);
    left->addWidget(splitter, 1);
    columns->addLayout(left, 5);

    auto* right = new QVBoxLayout;
    right->addWidget(BuildVideoPanel());
    right->addWidget(BuildConversionPanel());
    right->addWidget(BuildAudioPanel());
    right->addStretch(1);
    columns->addLayout(right, 6);
    setCentralWidget(central);
    ApplyPanelBackgrounds(this, prefs_.monochromeBackground != 0);

    statusLine_ = new QLabel(this);
    statusLine_->setObjectName("statusLine");
    statusBar()->addWidget(statusLine_, 1);

    refreshTimer_.setInterval(50);
    connect(&refreshTimer_, &QTimer::timeout, this, &CTorvoDlg::RefreshTick);
    refreshTimer_.start();
    queueTimer_.setInterval(100);
    connect(&queueTimer_, &QTimer::timeout, this, &CTorvoDlg::QueueTick);

    QDesktopServices::setUrlHandler("torvo", this, "OpenLinkUrl");
    resize(1280, 800);
    RestorePlacement();
    Render();
}

CTorvoDlg::~CTorvoDlg() {
    QDesktopServices::unsetUrlHandler("torvo");
    // The render test's thread classifies against the inventory: it ends first.
    delete renderControls_;
    renderControls_ = nullptr;
}

IMessageBox& CTorvoDlg::Messages() { return unattendedMessages_ ? *unattendedMessages_ : *context_.messages; }

void CTorvoDlg::UseDatabase(std::unique_ptr<CReadDatabase> database) {
    database_ = std::move(database);
    if (!inventory_) {
        GstGatherOptions gathering;
        if (database_) gathering.extraKey = FileStamp(database_->Path());
        inventory_ = std::make_unique<CInventoryService>(GstInventoryGatherer(
            [this](std::string_view text, std::string& name) {
                return database_ && DatabaseGuidNames(*database_)(text, name);
            },
            gathering));
    }
    DriverOptions options;
    options.useCodecInfo = prefs_.useCodecInfo != 0;
    options.scanEntireFile = prefs_.scanEntireFile != 0;
    if (database_) UseDatabaseNames(options, *database_);
    options.waitForInventory =
        InventoryWaitFor(*inventory_, {&prefs_, true, false}, [this]() -> IMessageBox& { return Messages(); });
    RunOptions run;
    run.driver = std::move(options);
    run.exportSettings = &export_;
    run.exportSwitchedOff = [this] { SwitchExportOff(prefs_); };
    // A file's end (its export, the next queued file) waits for a render test
    // or chain build of it, as it waits for the full scan.
    run.frontEndBusy = [this] { return renderControls_ && renderControls_->Busy(); };
    // Message boxes wait for an answer: a run of every file shows none.
    run.messagesWait = true;
    session_.SetOptions(std::move(run));
}

QAction* CTorvoDlg::Action(const QString& objectName) const { return findChild<QAction*>(objectName); }

void CTorvoDlg::BuildMenus() {
    auto add = [this](QMenu* menu, const char* name, const QString& text, const QKeySequence& key, auto slot) {
        QAction* action = menu->addAction(text);
        action->setObjectName(name);
        if (!key.isEmpty()) action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
        return action;
    };
    QMenu* file = menuBar()->addMenu(Tq("&Файл"));
    add(file, "actionOpen", Tq("&Открыть..."), QKeySequence("Ctrl+O"), &CTorvoDlg::OpenDialog);
    add(file, "actionClose", Tq("&Закрыть"), {}, &CTorvoDlg::CloseFile);
    add(file, "actionPlay", Tq("&Воспроизвести (нужным проигрывателем)"), QKeySequence("Ctrl+G"), &CTorvoDlg::Play);
    file->addSeparator();
    AddReportActions(this, file, [this] { return ShownReport(); });
    file->addSeparator();
    add(file, "actionExit", Tq("Вы&ход"), {}, &CTorvoDlg::close);

    QMenu* queue = menuBar()->addMenu(Tq("&Очередь"));
    add(queue, "actionNext", Tq("Обработать &следующий файл"), QKeySequence(Qt::Key_Plus), &CTorvoDlg::NextFile);
    add(queue, "actionPrevious", Tq("Обработать &предыдущий файл"), QKeySequence(Qt::Key_Minus), &CTorvoDlg::PreviousFile);
    add(queue, "actionFirst", Tq("Назад к &первому файлу"), QKeySequence("Ctrl+Home"), &CTorvoDlg::FirstFile);
    queue->addSeparator();
    add(queue, "actionRunUntilError", Tq("Обработать все файлы, до первой &ошибки"), QKeySequence(Qt::Key_F5),
        &CTorvoDlg::RunUntilError);
    add(queue, "actionRunAll", Tq("Обработать &все файлы (безостановочно)"), QKeySequence("Ctrl+F5"), &CTorvoDlg::RunAll);
    add(queue, "actionStop", Tq("Прекратить обработку"), QKeySequence(Qt::Key_Escape), &CTorvoDlg::StopProcessing);

    QMenu* setup = menuBar()->addMenu(Tq("&Настройка"));
    add(setup, "actionSettings", Tq("&Параметры..."), {}, &CTorvoDlg::Settings);
    add(setup, "actionExport", Tq("&Экспорт..."), {}, &CTorvoDlg::ExportSetup);
    setup->addSeparator();
    add(setup, "actionReloadDatabase", Tq("&Перезагрузить базу данных"), {}, &CTorvoDlg::ReloadDatabase);
    add(setup, "actionAudioFormats", Tq("&Аудио форматы"), {}, &CTorvoDlg::AudioFormats);
    add(setup, "actionVideoFormats", Tq("&Видео форматы"), {}, &CTorvoDlg::VideoFormats);
    setup->addSeparator();
    // Both list the codec inventory: they wait for it, forced.
    auto codecLists = [this](bool mediaTypes) {
        auto context = CodecLists();
        if (!context) return;
        if (mediaTypes) ShowMediaTypes(this, context, -1);
        else ShowCodecList(this, context);
    };
    add(setup, "actionCodecList", Tq("&Список кодеков и фильтров"), {}, [codecLists] { codecLists(false); });
    add(setup, "actionMediaTypes", Tq("Список типов &медиа..."), {}, [codecLists] { codecLists(true); });

    QMenu* help = menuBar()->addMenu(Tq("&Справка"));
    add(help, "actionAbout", Tq("&О программе"), {}, &CTorvoDlg::About);
}

// The codec lists' context over the inventory, which is waited for (forced)
// first; null without an inventory.
std::shared_ptr<CodecListContext> CTorvoDlg::CodecLists() {
    if (!inventory_) return nullptr;
    bool on = true;
    inventory_->Wait(on, true);
    for (const InventoryMessage& m : inventory_->TakeMessages())
        Messages().Show(m.caption, m.text, MessageIcon::kWarning);
    auto context = std::make_shared<CodecListContext>();
    context->inventory = inventory_->Published();
    context->names = [this](std::string_view text, std::string& name) {
        return database_ && DatabaseGuidNames(*database_)(text, name);
    };
    context->expertMode = [this] { return prefs_.expertMode != 0; };
    context->messages = &Messages();
    context->makePlatform = []() -> std::unique_ptr<IInventoryPlatform> {
        auto platform = std::make_unique<CGstPlatform>();
        if (!platform->Initialize() || platform->CreateFilterMapper() != 0) return nullptr;
        return platform;
    };
    return context;
}

CFieldBox* CTorvoDlg::AddField(std::map<std::string, CFieldBox*>& boxes, std::string_view caption,
                               const char* objectName) {
    auto* box = new CFieldBox(caption, this);
    box->setObjectName(objectName);
    boxes[std::string(caption)] = box;
    return box;
}

QWidget* CTorvoDlg::BuildFilePanel() {
    auto* group = new QGroupBox(Tq("Файл"), this);
    group->setObjectName("filePanel");
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(Tq("Путь"), group), 0, 0);
    CFieldBox* path = AddField(fileBoxes_, Display::kPathCaption, "filePath");
    // A folder or file name may read like one of the program's words.
    path->ShowVerbatim();
    grid->addWidget(path, 0, 1);
    auto* open = SmallButton(" ... ", "openButton", group);
    open->setToolTip(Tq("Открыть файл(ы)"));
    open->setFixedWidth(40);
    connect(open, &QPushButton::clicked, this, &CTorvoDlg::OpenDialog);
    grid->addWidget(open, 0, 2);
    nextButton_ = SmallButton(Tq("след.файл"), "nextButton", group);
    nextButton_->setToolTip(Tq("Обработать следующий файл (+)"));
    connect(nextButton_, &QPushButton::clicked, this, &CTorvoDlg::NextFile);
    grid->addWidget(nextButton_, 0, 3);
    grid->addWidget(new CLogo(prefs_.staticLogo != 0, [this] { return Scanning() || (renderControls_ && renderControls_->Busy()); }, group),
                    0, 4, 2, 1);
    grid->addWidget(new QLabel(Tq("Размер"), group), 1, 0);
    grid->addWidget(AddField(fileBoxes_, Display::kSizeCaption, "fileSize"), 1, 1);
    queueCounter_ = new QLabel(group);
    queueCounter_->setObjectName("queueCounter");
    queueCounter_->setAlignment(Qt::AlignCenter);
    grid->addWidget(queueCounter_, 1, 2, 1, 2);
    grid->addWidget(new QLabel(Tq("Время"), group), 2, 0);
    grid->addWidget(AddField(fileBoxes_, N_("Время"), "fileDuration"), 2, 1);
    grid->setColumnStretch(1, 1);
    return group;
}

QWidget* CTorvoDlg::BuildVideoPanel() {
    auto* group = new QGroupBox(Tq("Видео"), this);
    group->setObjectName("videoPanel");
    auto* layout = new QVBoxLayout(group);
    QHBoxLayout* row = nullptr;
    for (const FieldInfo& f : kVideoFields) {
        if (!f.caption) {
            row = nullptr;
            continue;
        }
        if (!row) {
            row = new QHBoxLayout;
            layout->addLayout(row);
        }
        auto* label = new QLabel(Tq(f.caption), group);
        row->addWidget(label);
        CFieldBox* box = AddField(videoBoxes_, f.caption, f.objectName);
        if (std::string_view(f.caption) == N_("Сост.")) {
            // While a full scan runs, its progress bar takes the status's place
            // (the panels below never move).
            statusSlot_ = new QStackedWidget(group);
            statusSlot_->setObjectName("videoStatusSlot");
            statusSlot_->addWidget(box);
            scanProgress_ = new QProgressBar(statusSlot_);
            scanProgress_->setObjectName("scanProgress");
            scanProgress_->setRange(0, 100);
            scanProgress_->setMaximumHeight(box->sizeHint().height());
            statusSlot_->addWidget(scanProgress_);
            statusSlot_->setMaximumHeight(box->sizeHint().height());
            row->addWidget(statusSlot_, 3);
            row->addWidget(LinkLabel(this, "status", "?"));
            continue;
        }
        row->addWidget(box, std::string_view(f.caption) == N_("Имя") ? 3 : 1);
        if (std::string_view(f.caption) == "dar") row->addWidget(LinkLabel(this, "aspect", "?"));
    }

    auto* barRow = new QHBoxLayout;
    barRow->addWidget(new QLabel(Tq("Типы кадров"), group));
    barsLayout_ = new QVBoxLayout;
    barsLayout_->setSpacing(2);
    frameBar_ = new CBarGraph(group);
    frameBar_->setObjectName("frameTypeBar");
    barsLayout_->addWidget(frameBar_);
    gopStrip_ = new CGopStruct(group);
    barsLayout_->addWidget(gopStrip_);
    barRow->addLayout(barsLayout_, 1);
    for (const auto& [text, colour] : kBarLegend) {
        auto* swatch = new QLabel(Tq(text), group);
        swatch->setAlignment(Qt::AlignCenter);
        swatch->setMinimumWidth(26);
        swatch->setStyleSheet(QString("QLabel { background: %1; color: black; border: 1px solid gray; }")
                                  .arg(ColourFromBgr(colour).name()));
        barRow->addWidget(swatch);
    }
    barRow->addWidget(LinkLabel(this, "gop", "?"));
    vgsButton_ = SmallButton("VGS", "vgsButton", group);
    vgsButton_->setToolTip(Tq("Структура GOP, картинка за картинкой"));
    // Enabled once a full scan has recorded pictures.
    vgsButton_->setEnabled(false);
    connect(vgsButton_, &QPushButton::clicked, this, &CTorvoDlg::ShowFrameLayout);
    barRow->addWidget(vgsButton_);
    layout->addLayout(barRow);

    // Further fields the analysis shows (the key-frame distances of the full scan and the like).
    extraVideoLayout_ = new QFormLayout;
    extraVideoLayout_->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(extraVideoLayout_);

    auto* lampGrid = new QGridLayout;
    lampGrid->setSpacing(2);
    int i = 0;
    const int perRow = 13;
    for (const LampInfo& lamp : kVideoLamps) {
        auto* widget = new CLamp(lamp.caption, Tq(lamp.tooltip), group);
        widget->setObjectName(lamp.objectName);
        lamps_[lamp.caption] = widget;
        lampGrid->addWidget(widget, i / perRow, i % perRow);
        ++i;
    }
    auto* lampRow = new QHBoxLayout;
    lampRow->addLayout(lampGrid, 1);
    lampRow->addWidget(LinkLabel(this, "interlace", "?"));
    layout->addLayout(lampRow);
    return group;
}

QWidget* CTorvoDlg::BuildConversionPanel() {
    auto* group = new QGroupBox(Tq("Преобразов."), this);
    group->setObjectName("conversionPanel");
    auto* layout = new QGridLayout(group);
    layout->addWidget(AddField(videoBoxes_, N_("Преобразов."), "conversionMatch"), 0, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    constexpr std::pair<const char*, int> kTargets[] = {
        {"AVI", kTargetSquare}, {"VCD", 0}, {"SVCD", 1}, {"CVD", 2}, {"DVD", 3}};
    for (size_t t = 0; t < 5; ++t) {
        const auto [text, target] = kTargets[t];
        targetButtons_[t] = SmallButton(text, QString("target%1").arg(text), group);
        targetButtons_[t]->setCheckable(true);
        targetButtons_[t]->setToolTip(target == kTargetSquare ? Tq("Цель: размер с квадратными пикселями для ПК")
                                                              : Tq("Цель: формат %1 той же ТВ-системы").arg(text));
        connect(targetButtons_[t], &QPushButton::clicked, this, [this, target = target] { ChooseTarget(target); });
        buttons->addWidget(targetButtons_[t]);
    }
    buttons->addSpacing(8);
    stepButtons_[0] = SmallButton("+", "stepUp", group);
    stepButtons_[1] = SmallButton("-", "stepDown", group);
    stepButtons_[0]->setToolTip(Tq("Следующий больший размер AVI тех же пропорций"));
    stepButtons_[1]->setToolTip(Tq("Следующий меньший размер AVI тех же пропорций"));
    connect(stepButtons_[0], &QPushButton::clicked, this, [this] { StepSize(+1); });
    connect(stepButtons_[1], &QPushButton::clicked, this, [this] { StepSize(-1); });
    buttons->addWidget(stepButtons_[0]);
    buttons->addWidget(stepButtons_[1]);
    buttons->addSpacing(8);
    framingButtons_[0] = SmallButton("16:9", "framingWide", group);
    framingButtons_[1] = SmallButton("4:3", "framingStandard", group);
    for (size_t f = 0; f < 2; ++f) {
        framingButtons_[f]->setCheckable(true);
        framingButtons_[f]->setToolTip(f == 0 ? Tq("Цель анаморфная (16:9)") : Tq("Цель стандартная (4:3)"));
        connect(framingButtons_[f], &QPushButton::clicked, this, [this, f] { ChooseFraming(f == 0); });
        buttons->addWidget(framingButtons_[f]);
    }
    buttons->addStretch(1);
    buttons->addWidget(LinkLabel(this, "convert", "?"));
    layout->addLayout(buttons, 1, 0, 1, 2);
    layout->addWidget(new QLabel("1", group), 2, 0);
    layout->addWidget(AddField(videoBoxes_, "1", "conversionLine1"), 2, 1);
    layout->addWidget(new QLabel("2", group), 3, 0);
    layout->addWidget(AddField(videoBoxes_, "2", "conversionLine2"), 3, 1);
    return group;
}

QWidget* CTorvoDlg::BuildAudioPanel() {
    auto* group = new QGroupBox(Tq("Звук"), this);
    group->setObjectName("audioPanel");
    auto* grid = new QGridLayout(group);
    int row = 0;
    for (const FieldInfo& f : kAudioFields) {
        grid->addWidget(new QLabel(Tq(f.caption), group), row, 0);
        grid->addWidget(AddField(audioBoxes_, f.caption, f.objectName), row, 1);
        ++row;
    }
    grid->addWidget(new QLabel(Tq("Поток"), group), row, 0);
    auto* streams = new QHBoxLayout;
    for (int n = 0; n < 4; ++n) {
        audioButtons_[size_t(n)] = SmallButton(QString::number(n + 1), QString("audioStream%1").arg(n + 1), group);
        audioButtons_[size_t(n)]->setCheckable(true);
        audioButtons_[size_t(n)]->setFixedWidth(36);
        audioButtons_[size_t(n)]->setToolTip(Tq("Показать звуковой поток %1").arg(n + 1));
        connect(audioButtons_[size_t(n)], &QPushButton::clicked, this, [this, n] { ShowAudioStream(n); });
        streams->addWidget(audioButtons_[size_t(n)]);
    }
    streams->addSpacing(12);
    for (const LampInfo& lamp : kAudioLamps) {
        auto* widget = new CLamp(lamp.caption, Tq(lamp.tooltip), group);
        widget->setObjectName(lamp.objectName);
        lamps_[lamp.caption] = widget;
        streams->addWidget(widget);
    }
    streams->addStretch(1);
    grid->addLayout(streams, row, 1);
    grid->setColumnStretch(1, 1);
    return group;
}

QWidget* CTorvoDlg::BuildRenderPanel() {
    auto* group = new QGroupBox(Tq("Предлагаемые варианты кодеков и тесты"), this);
    group->setObjectName("renderPanel");
    auto* layout = new QVBoxLayout(group);
    auto* rows = new QHBoxLayout;
    constexpr const char* kGroups[3] = {N_("Вид"), N_("Звук"), N_("В+З")};
    constexpr const char* kNames[3] = {"Video", "Audio", "Both"};
    constexpr const char* kRenderTips[3][3] = {
        {N_("[1] Предлагаемая Torvo цепочка кодеков и фильтров для воспроизведения видео, если это возможно"),
         N_("[2] Внутренняя сборка цепочки фильтров [1] для проверки их фактической совместимости"),
         N_("[3] Просмотр видео, полученного с помощью [2] для проверки результата")},
        {N_("[1] Предлагаемая Torvo цепочка кодеков и фильтров для воспроизведения звука, если это возможно"),
         N_("[2] Внутренняя сборка цепочки фильтров [1] для проверки их фактической совместимости"),
         N_("[3] Прослушивание звука, полученного с помощью [2] для проверки результата")},
        {N_("[1] Цепочка элементов GStreamer для воспроизведения видео и звука, если это возможно"),
         N_("[2] Воспроизведение видео и звука, полученных с помощью [1] для проверки результата"), ""},
    };
    for (int g = 0; g < 3; ++g) {
        auto* box = new QGroupBox(Tq(kGroups[g]), group);
        auto* line = new QHBoxLayout(box);
        line->setContentsMargins(4, 2, 4, 2);
        for (int r = 1; r <= 3; ++r) {
            auto* button = SmallButton(QString("[%1]").arg(r), QString("render%1%2").arg(kNames[g]).arg(r), box);
            button->setEnabled(false);
            if (*kRenderTips[g][r - 1]) button->setToolTip(Tq(kRenderTips[g][r - 1]));
            renderButtons_.push_back(button);
            line->addWidget(button);
        }
        rows->addWidget(box);
    }
    auto* progress = new QProgressBar(group);
    progress->setObjectName("renderProgress");
    progress->setTextVisible(false);
    progress->setMaximumWidth(160);
    rows->addWidget(progress);
    rows->addStretch(1);
    layout->addLayout(rows);

    RenderControlsContext render;
    render.display = &display_;
    render.messages = [this]() -> IMessageBox& { return Messages(); };
    render.programPath = context_.programPath;
    render.test.makePlatform = [] { return std::make_unique<CChildRenderPlatform>(); };
    render.test.guidNames = [this](std::string_view text, std::string& name) {
        return database_ && DatabaseGuidNames(*database_)(text, name);
    };
    render.test.describeHresult = [this](uint32_t code) {
        return database_ ? database_->DescribeHresult(256, code) : Format("0x%08x", code);
    };
    render.test.crash = &inventory_->Crash();  // the service exists from the constructor's UseDatabase on
    render.switchCodecInfoOff = [this] {
        SwitchCodecInfoOff(prefs_);
        UseDatabase(std::move(database_));
    };
    render.makePlayback = [] { return std::make_unique<CChildPlayback>(); };
    render.makeChainPlayback = [](const ChainBuildRequest& chain) -> std::unique_ptr<IPlaybackPlatform> {
        return CChildPlayback::ForChain(chain_protocol::RequestText(chain));
    };
    render.makeChainBuilder = [] { return std::make_unique<CChildChainPlatform>(); };
    render.currentAudioEntry = [this] { return std::max(display_.ShownAudio(), 0); };
    render.showElementDetails = [this](const ChainElement& element) {
        auto context = CodecLists();
        if (!context || !context->inventory) return;
        if (element.type == ChainElementType::kMediaType) ShowMediaTypes(this, context, -1, element.mediaType);
        else if (element.inventoryIndex >= 0 && element.inventoryIndex < context->inventory->Count())
            ShowCodecList(this, context, element.inventoryIndex);
        else Messages().Show(element.text, element.detail, MessageIcon::kInformation);
    };
    render.hasPropertyPage = [this](const ChainElement& element) {
        if (element.inventoryIndex < 0 || !inventory_ || !inventory_->Published()) return false;
        if (!propertyPages_) propertyPages_ = CodecLists();
        return propertyPages_ && propertyPages_->HasPropertyPage(element.inventoryIndex);
    };
    render.showPropertyPage = [this](const ChainElement& element) {
        if (!propertyPages_) propertyPages_ = CodecLists();
        if (propertyPages_) ShowPropertyPage(this, propertyPages_, element.inventoryIndex);
    };
    render.inventory = [this]() -> CodecInventory* {
        // The test classifies against the inventory: wait for it, forced.
        bool on = true;
        inventory_->Wait(on, true);
        return inventory_->Published();
    };
    std::array<QPushButton*, 9> buttons{};
    std::copy(renderButtons_.begin(), renderButtons_.end(), buttons.begin());
    renderControls_ = new CRenderControls(std::move(render), buttons, progress, monitor_, this);
    connect(renderControls_, &CRenderControls::monitorShown, this, [this](bool shown) {
        containerStack_->setCurrentWidget(shown ? static_cast<QWidget*>(monitor_) : containerList_);
        containerGroup_->setTitle(shown ? Tq("Тест монитор") : Tq("Контейнер"));
    });

    auto* chainList = new CChainListView(group);
    chainList->setObjectName("renderList");
    chainList->SetLineSource([this](int row, const std::string& text) { return renderControls_->LineOfRow(row, text); });
    chainList->SetCommandState(
        [this](ChainCommand c, const ChainElement* e) { return renderControls_->CommandEnabled(c, e); });
    connect(chainList, &CChainListView::chainCommand, renderControls_, &CRenderControls::RunCommand);
    renderList_ = chainList;
    layout->addWidget(renderList_, 1);
    return group;
}

// ---- rendering -------------------------------------------------------------

void CTorvoDlg::RenderPanel(const Panel& panel, std::map<std::string, CFieldBox*>& boxes) {
    for (auto& [caption, box] : boxes) box->ShowField(panel.Find(caption));
}

void CTorvoDlg::RenderExtraVideoFields() {
    const Panel& panel = display_.VideoPanel();
    for (const auto& [caption, field] : panel.Fields()) {
        if (KnownVideoCaption(caption) || extraVideoBoxes_.count(caption)) continue;
        CFieldBox* box = AddField(extraVideoBoxes_, caption, "videoExtra");
        extraVideoLayout_->addRow(Lq(caption), box);
    }
    for (auto& [caption, box] : extraVideoBoxes_) {
        const PanelField* field = panel.Find(caption);
        box->ShowField(field);
        box->setVisible(field != nullptr);
        if (QWidget* label = extraVideoLayout_->labelForField(box)) label->setVisible(field != nullptr);
    }
}

void CTorvoDlg::RenderScanProgress() {
    const CFastScan* scan = fileShown_ ? driver_.Scan() : nullptr;
    const PanelField* line = display_.VideoPanel().Find(std::string(kScanStatusCaption));
    // A scan that could not finish keeps its line in the slot until the next file.
    const bool running = scan && scan->Running();
    if (!running && !line) {
        statusSlot_->setCurrentIndex(0);
        return;
    }
    const uint64_t size = scan ? std::max<uint64_t>(scan->FileSize(), 1) : 1;
    const int percent = scan ? int(std::min<uint64_t>(100, scan->BytesRead() * 100 / size)) : 0;
    scanProgress_->setValue(percent);
    scanProgress_->setFormat(line ? Lq(line->text) + QString(" %p%") : QString("%p%"));
    statusSlot_->setCurrentIndex(1);
}

void CTorvoDlg::Render() {
    dirty_ = false;
    setWindowTitle(Qs(display_.Title().empty() ? std::string(kProgramTitle) : display_.Title()));
    RenderPanel(display_.FilePanel(), fileBoxes_);
    RenderPanel(display_.VideoPanel(), videoBoxes_);
    RenderExtraVideoFields();
    RenderScanProgress();
    const auto& audio = display_.AudioPanels();
    const size_t shown = static_cast<size_t>(std::max(display_.ShownAudio(), 0));
    static const Panel kNoPanel;
    RenderPanel(shown < audio.size() ? audio[shown] : kNoPanel, audioBoxes_);
    for (int n = 0; n < 4; ++n) {
        audioButtons_[size_t(n)]->setEnabled(n < display_.AudioButtonsEnabled());
        audioButtons_[size_t(n)]->setChecked(n < display_.AudioButtonsEnabled() && n == display_.ShownAudio());
    }
    containerList_->ShowNotes(display_.Container());
    userDataList_->ShowNotes(display_.UserData());
    renderList_->ShowNotes(display_.Render());

    const auto& states = display_.Lamps();
    for (auto& [caption, lamp] : lamps_) {
        const auto it = states.find(caption);
        lamp->ShowState(it == states.end() ? LampState::kDark : it->second);
    }
    gopStrip_->ShowPictures(display_.LastPictures());
    // The first bar takes the frame-type place; any further one gets a row of its own.
    const auto& bars = display_.Bars();
    frameBar_->ShowBar(bars.empty() ? nullptr : &bars.begin()->second);
    frameBar_->setToolTip(bars.empty() ? QString() : Lq(bars.begin()->first));
    for (auto it = bars.begin(); it != bars.end(); ++it) {
        if (it == bars.begin() || extraBars_.count(it->first)) continue;
        auto* bar = new CBarGraph(frameBar_->parentWidget());
        bar->setObjectName("extraBar");
        bar->setToolTip(Lq(it->first));
        barsLayout_->addWidget(bar);
        extraBars_[it->first] = bar;
    }
    for (auto& [caption, bar] : extraBars_) {
        const auto found = bars.find(caption);
        const bool present = found != bars.end() && found != bars.begin();
        bar->ShowBar(present ? &found->second : nullptr);
        bar->setVisible(present);
    }

    queueCounter_->setText(Lq(display_.QueueCounter()));
    queueCounter_->setVisible(!display_.QueueCounter().empty());
    statusLine_->setText(Lq(display_.StatusText()));

    const bool convertible = conversion_.Available();
    for (size_t t = 0; t < 5; ++t) {
        targetButtons_[t]->setEnabled(convertible);
        const int target = t == 0 ? kTargetSquare : int(t) - 1;
        targetButtons_[t]->setChecked(convertible && conversion_.Target() == target);
    }
    for (QPushButton* b : stepButtons_) b->setEnabled(convertible);
    framingButtons_[0]->setEnabled(convertible);
    framingButtons_[1]->setEnabled(convertible);
    framingButtons_[0]->setChecked(convertible && conversion_.Anamorphic());
    framingButtons_[1]->setChecked(convertible && !conversion_.Anamorphic());
}

void CTorvoDlg::RefreshTick() {
    inventory_->PreloadTick(prefs_.preloadCodecInfo != 0, prefs_.useCodecInfo != 0);
    inventory_->Tick();
    for (const InventoryMessage& m : inventory_->TakeMessages()) Messages().Show(m.caption, m.text, MessageIcon::kWarning);
    renderControls_->Tick();
    // The file in hand: interim statistics every fifth tick of its scan; its
    // end once the scan and any render test of it are over.
    if (session_.FileInHand()) session_.Poll();
    // Background work reports through the display model; show what changed.
    if (dirty_) Render();
}

// ---- the queue -------------------------------------------------------------

void CTorvoDlg::AnalyseCurrentFile(bool withExport) {
    // A file without a full scan ends at once (unless a render test holds
    // it); a scanned one at the status tick that sees its scan's end.
    if (session_.OpenCurrent(withExport) && !session_.Scanning()) session_.Poll();
}

std::optional<FileReport> CTorvoDlg::ShownReport() const {
    if (!fileShown_ || !queue_.HasCurrent() || session_.FileInHand()) return std::nullopt;
    return BuildFileReport(queue_.Current(), driver_, display_);
}

void CTorvoDlg::FileStarted(size_t, size_t, const std::string& path) {
    prefs_.lastMediaFile = path;
    fileShown_ = false;
    vgsButton_->setEnabled(false);
}

void CTorvoDlg::FileOpened(const AnalysedFile& file) {
    fileShown_ = true;
    conversion_.Follow();
    renderControls_->FileAnalysed(file.path, &driver_.Records(), prefs_.useCodecInfo != 0);
    display_.SetQueueCounter(queue_.CounterText());
    containerList_->scrollToTop();
    userDataList_->scrollToTop();
    Render();
}

void CTorvoDlg::FileNotOpened(size_t, const std::string& path, const UserMessage&) {
    display_.SetTitle(std::string(kProgramTitle));
    renderControls_->FileAnalysed(path, nullptr, prefs_.useCodecInfo != 0);
    display_.SetQueueCounter(queue_.CounterText());
    Render();
    emit fileAnalysed();
}

void CTorvoDlg::ScanProgress(size_t, size_t, const std::string&, const CFastScan&) { dirty_ = true; }

// The panels show the display model itself; copy and save build the report
// when asked.
std::string CTorvoDlg::ReportReady(const AnalysedFile&) { return {}; }

void CTorvoDlg::FileFinished(size_t, const std::string&) {
    vgsButton_->setEnabled(fileShown_ && ScanHasPictures(driver_.Scan()));
    Render();
    emit fileAnalysed();
}

void CTorvoDlg::ShowFrameLayout() {
    const CFastScan* scan = driver_.Scan();
    if (session_.Scanning() || !ScanHasPictures(scan)) return;
    // The drawing reads the scan's frame list: no queued file may replace it meanwhile.
    const bool queueRunning = queueTimer_.isActive();
    queueTimer_.stop();
    CFrameLayoutDlg dialog(FrameLayoutOf(*scan, driver_.Records().video), this);
    emit frameLayoutShown(&dialog);
    dialog.exec();
    if (queueRunning) queueTimer_.start();
}

void CTorvoDlg::ShowQueued() {
    display_.Container().Add(queue_.QueuedLine());
    nextButton_->setText(Tq("след.файл"));
    display_.SetQueueCounter(queue_.CounterText());
    Render();
}

void CTorvoDlg::OpenNames(std::vector<std::string> names, size_t leftOut, bool leftOutAtLeast) {
    if (names.empty()) return;
    // The new names replace the run and its file.
    queueTimer_.stop();
    session_.Stop(false);
    leftOut += names.size() > FileQueue::kMaxNames ? names.size() - FileQueue::kMaxNames : 0;
    queue_.Fill(std::move(names));
    if (queue_.Count() == 1) {
        AnalyseCurrentFile();
    } else {
        // Several names wait, rewound, for the next-file or a run command.
        CloseFile();
        queue_.BackToFirst();
        ShowQueued();
    }
    if (leftOut > 0) TellLeftOut(leftOut, leftOutAtLeast);
}

void CTorvoDlg::TellExpansion(const std::string& notes) {
    if (!notes.empty()) Messages().Show(Tr("Папка"), notes, MessageIcon::kInformation);
}

void CTorvoDlg::TellLeftOut(size_t leftOut, bool atLeast) {
    const QString count = (atLeast ? Tq("не меньше %1") : QString("%1")).arg(leftOut);
    const QString text = Tq("В очереди помещается %1 файлов: взяты первые %1.\n\nНе вошли в очередь: %2 файл(ов).")
                             .arg(FileQueue::kMaxNames)
                             .arg(count);
    Messages().Show(Tr("Очередь полна!"), Std(text), MessageIcon::kWarning);
}

void CTorvoDlg::StartFromCommandLine(const CommandLine& commandLine) {
    // Unattended, nobody is there to answer a message box: messages go to
    // standard error.
    if (commandLine.autoExit) {
        unattendedMessages_ = std::make_unique<CStreamMessageBox>(std::cerr);
        session_.SetMessages(unattendedMessages_.get());
    }
    std::vector<std::string> given = commandLine.names;
    size_t leftOut = 0;
    CollectQueueNames(given, commandLine.listFiles, nullptr, Messages(), &leftOut);
    // Folders stand for their media files, as in a drop.
    ExpandedNames expanded = ExpandDroppedNames(given, FileQueue::kMaxNames);
    TellExpansion(ExpansionNotes(expanded));
    std::vector<std::string> names = std::move(expanded.names);
    leftOut += expanded.leftOut;
    if (names.empty()) return;
    if (!commandLine.autoExit) {
        OpenNames(std::move(names), leftOut);
        return;
    }
    // Unattended: every name that fits with export on, then the window closes.
    leftOut += names.size() > FileQueue::kMaxNames ? names.size() - FileQueue::kMaxNames : 0;
    session_.StartUnattended(std::move(names));
    if (leftOut > 0) TellLeftOut(leftOut, false);
    queueTimer_.start();
}

void CTorvoDlg::QueueTick() {
    // A message box of this file runs its own event loop: no further tick
    // may start the next file underneath it.
    queueTimer_.stop();
    switch (session_.QueueTurn()) {
        case CRunSession::Turn::kAgain: queueTimer_.start(); break;
        case CRunSession::Turn::kFinished:
            if (session_.Unattended()) close();
            break;
        case CRunSession::Turn::kStopped: break;
    }
}

void CTorvoDlg::StartQueue(QueueMode mode) {
    if (queue_.Count() == 0 || queue_.AtLast()) return;
    session_.StartRun(mode);
    queueTimer_.start();
}

void CTorvoDlg::NextFile() {
    if (queue_.Next()) AnalyseCurrentFile();
}

void CTorvoDlg::PreviousFile() {
    if (queue_.Previous()) AnalyseCurrentFile();
}

void CTorvoDlg::FirstFile() {
    if (queue_.Count() == 0) return;
    queue_.BackToFirst();
    ShowQueued();
}

void CTorvoDlg::RunUntilError() { StartQueue(QueueMode::kRunUntilBroken); }
void CTorvoDlg::RunAll() { StartQueue(QueueMode::kRunAll); }

void CTorvoDlg::StopProcessing() {
    // The run stops, and so does a running full scan: the file in hand ends
    // with what it read.
    session_.Stop();
    queueTimer_.stop();
}

void CTorvoDlg::CloseFile() {
    session_.DropFile();
    vgsButton_->setEnabled(false);
    renderControls_->FileAnalysed({}, nullptr, prefs_.useCodecInfo != 0);
    display_.Reset();
    display_.SetTitle(std::string(kProgramTitle));
    display_.SetQueueCounter({});
    conversion_.Follow();
    fileShown_ = false;
    Render();
}

// ---- commands --------------------------------------------------------------

void CTorvoDlg::OpenDialog() {
    const QString start = prefs_.lastMediaFile.empty() ? QString() : QFileInfo(Qs(prefs_.lastMediaFile)).absolutePath();
    const QStringList chosen =
        QFileDialog::getOpenFileNames(this, Tq("Выбери файл(ы) для проверки..."), start, Tq("ВСЕ файлы (*.*) (*)"));
    std::vector<std::string> names;
    for (const QString& name : chosen) names.push_back(Std(name));
    OpenNames(std::move(names));
}

void CTorvoDlg::Play() {
    if (!fileShown_ || !queue_.HasCurrent()) return;
    const QString path = Qs(queue_.Current());
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return;
    const std::string error = QFileInfo::exists(path) ? Tr("Нет программы для этого типа файлов") : std::strerror(ENOENT);
    Messages().Show(Tr("Не играет !"), Tr("Не могу проиграть файл. ") + "\r\n" + Tr("Ошибка:     \"") + error + "\"",
                    MessageIcon::kWarning);
}

void CTorvoDlg::ReloadDatabase() {
    if (!context_.loadDatabase) return;
    std::unique_ptr<CReadDatabase> database = context_.loadDatabase();
    if (!database) return;  // the loader has said why; the old names stay
    UseDatabase(std::move(database));
    if (fileShown_) AnalyseCurrentFile(false);
}

void CTorvoDlg::Settings() {
    CSettingsDlg dialog(prefs_, *context_.messages, context_.dirs, context_.programPath, this);
    if (dialog.exec() != QDialog::Accepted) return;
    // Codec interaction may have changed: the shown file's codec information follows.
    UseDatabase(std::move(database_));
    if (fileShown_) AnalyseCurrentFile(false);
}

void CTorvoDlg::ExportSetup() {
    CExportDlg dialog(prefs_, *context_.messages, this);
    dialog.exec();
    session_.ChangeExportSettings(ExportSettingsFromPrefs(prefs_));
}

namespace {

void ShowListing(QWidget* owner, const DatabaseListing& listing, QList<int> widths) {
    GenericListSetup setup;
    setup.title = Lq(listing.title);
    for (const char* column : listing.columns) setup.headers << Lq(column);
    setup.widths = std::move(widths);
    for (const auto& row : listing.rows) setup.rows.push_back({{Lq(row[0]), Lq(row[1]), Lq(row[2])}, 0xFFFFFF, 0});
    auto* dialog = new CDlgGenericList(std::move(setup), owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

}  // namespace

void CTorvoDlg::AudioFormats() {
    if (database_) ShowListing(this, ListAudioFormats(*database_), {90, 320, 420});
}

void CTorvoDlg::VideoFormats() {
    if (database_) ShowListing(this, ListVideoCodecs(*database_), {90, 380, 320});
}

void CTorvoDlg::About() { ShowAboutBox(this); }

void CTorvoDlg::ShowAudioStream(int n) {
    if (n < 0 || n >= display_.AudioButtonsEnabled()) return;
    driver_.AnalyseAudioStream(n);
    Render();
}

void CTorvoDlg::ChooseTarget(int target) {
    conversion_.ChooseTarget(target);
    Render();
}

void CTorvoDlg::ChooseFraming(bool anamorphic) {
    conversion_.SetAnamorphic(anamorphic);
    Render();
}

void CTorvoDlg::StepSize(int delta) {
    conversion_.Step(delta);
    Render();
}

void CTorvoDlg::OpenLink(const QString& link) { ShowPopup(this, HelpText(link)); }

void CTorvoDlg::OpenLinkUrl(const QUrl& url) { OpenLink(url.toString()); }

// ---- window events ---------------------------------------------------------

void CTorvoDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CTorvoDlg::dropEvent(QDropEvent* event) {
    std::vector<std::string> dropped;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) dropped.push_back(Std(url.toLocalFile()));
    if (dropped.empty()) return;
    event->acceptProposedAction();
    ExpandedNames expanded = ExpandDroppedNames(dropped, FileQueue::kMaxNames);
    const std::string notes = ExpansionNotes(expanded);
    OpenNames(std::move(expanded.names), expanded.leftOut, expanded.searchCut);
    TellExpansion(notes);
}

void CTorvoDlg::RestorePlacement() {
    const std::optional<WindowPlacement> placement = prefs_.LoadWindowPlacement();
    if (!placement || placement->right <= placement->left || placement->bottom <= placement->top) return;
    QRect rect(placement->left, placement->top, placement->right - placement->left, placement->bottom - placement->top);
    // A placement from a larger screen is pulled back onto this one.
    if (const QScreen* screen = QApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        rect.setSize(rect.size().boundedTo(room.size()));
        if (!room.intersects(rect)) rect.moveTopLeft(room.topLeft());
    }
    setGeometry(rect);
    if (placement->showCommand == 3) setWindowState(windowState() | Qt::WindowMaximized);
}

void CTorvoDlg::SavePlacement() {
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    WindowPlacement placement;
    placement.left = normal.left();
    placement.top = normal.top();
    placement.right = normal.left() + normal.width();
    placement.bottom = normal.top() + normal.height();
    placement.showCommand = isMaximized() ? 3 : 1;
    prefs_.SaveWindowPlacement(placement);
}

void CTorvoDlg::closeEvent(QCloseEvent* event) {
    queueTimer_.stop();
    session_.Stop(false);
    SavePlacement();
    // The last opened file is remembered for the next open dialog.
    prefs_.Save(false);
    QMainWindow::closeEvent(event);
}

}  // namespace torvo::gui
