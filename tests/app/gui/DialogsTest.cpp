// The dialogs: the generic list, the settings dialog and the export setup.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QPointer>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "CodecListDialog.h"
#include "ExportDialog.h"
#include "GenericList.h"
#include "GuiTestUtil.h"
#include "HelpTexts.h"
#include "QtSettingsStore.h"
#include "SettingsDialog.h"
#include "TestUtil.h"
#include "inventory/Enumeration.h"
#include "platform/recorded/RecordedPlatform.h"
#include <QTimer>

using namespace torvo;
using namespace torvo::testing;

namespace {

QStringList Column(const gui::CDlgGenericList& list, int column) {
    QStringList cells;
    for (int r = 0; r < list.List()->topLevelItemCount(); ++r) cells << list.List()->topLevelItem(r)->text(column);
    return cells;
}

UserDirs ScratchDirs(const ScratchDir& scratch) {
    UserDirs dirs;
    dirs.home = scratch.path();
    dirs.configHome = scratch / "config";
    dirs.dataHome = scratch / "data";
    dirs.desktopDir = scratch / "Desktop";
    return dirs;
}

template <class T>
T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    if (!child) qFatal("no %s", name);
    return child;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void genericListSortsReversesAndCopies() {
        gui::GenericListSetup setup;
        setup.title = "Список";
        setup.headers = {"Имя", "Код"};
        setup.widths = {100, 60};
        setup.rows = {{{"beta", "2"}, 0xE0FFE0, 20}, {{"Alpha", "3"}, 0xFFFFFF, 10}, {{"gamma", "1"}, 0xFFFFC0, 30}};
        setup.legend = {{"Декодер", 0xE0FFE0}};
        qulonglong detailed = 0;
        setup.preselected = 2;
        setup.details = [&](gui::CDlgGenericList&, qulonglong data) { detailed = data; };
        std::pair<int, qulonglong> commanded{0, 0};
        setup.command = [&](gui::CDlgGenericList&, int command, qulonglong data) { commanded = {command, data}; };
        gui::CDlgGenericList list(setup);
        // Column 0 ascending at start, without regard to case.
        QCOMPARE(Column(list, 0), (QStringList{"Alpha", "beta", "gamma"}));
        list.show();
        QCOMPARE(detailed, qulonglong(30));  // the preselected row's details run at once
        QCOMPARE(list.List()->currentItem()->text(0), QString("gamma"));
        QTest::mouseClick(list.List()->header()->viewport(), Qt::LeftButton, {},
                          QPoint(list.List()->header()->sectionViewportPosition(1) + 10, 5));
        QCOMPARE(Column(list, 1), (QStringList{"1", "2", "3"}));
        list.SortByColumn(1);  // the same header again reverses
        QCOMPARE(Column(list, 1), (QStringList{"3", "2", "1"}));
        QCOMPARE(list.List()->topLevelItem(0)->background(0).color(), QColor(0xFF, 0xFF, 0xFF));
        QCOMPARE(list.List()->topLevelItem(1)->background(1).color(), QColor(0xE0, 0xFF, 0xE0));

        QVERIFY(Child<QLabel>(&list, "legend0")->isVisibleTo(&list));
        QVERIFY(!Child<QLabel>(&list, "legend1")->isVisibleTo(&list));
        list.CopyTable();
        QCOMPARE(QApplication::clipboard()->text(), QString("Alpha\t3\nbeta\t2\ngamma\t1\n"));
        list.List()->setCurrentItem(list.List()->topLevelItem(1));
        list.CopyRow();
        QCOMPARE(QApplication::clipboard()->text(), QString("beta\t2\n"));
        // A row command reaches the caller with the data of the row shown there, after the sorting.
        list.RunCommand(7);
        QCOMPARE(commanded, (std::pair<int, qulonglong>{7, 20}));

        // After a resize the columns fill the list's width, in their proportions.
        list.resize(900, 400);
        QTRY_VERIFY(std::abs(list.List()->columnWidth(0) + list.List()->columnWidth(1) -
                             list.List()->viewport()->width()) <= 1);
        QVERIFY(list.List()->columnWidth(0) > list.List()->columnWidth(1));
    }

    void settingsOkSavesAndCancelDoesNot() {
        ScratchDir scratch;
        CMemorySettingsStore store;
        CRecordingMessageBox messages;
        CPrefs prefs(store, "/opt/torvo/");
        prefs.Load();
        {
            gui::CSettingsDlg dialog(prefs, messages, ScratchDirs(scratch), "/opt/torvo/torvo");
            auto* codecs = Child<QCheckBox>(&dialog, "useCodecInfo");
            QVERIFY(Child<QCheckBox>(&dialog, "expertMode")->isEnabled());
            codecs->click();
            QVERIFY(!Child<QCheckBox>(&dialog, "expertMode")->isEnabled());
            QVERIFY(!Child<QCheckBox>(&dialog, "preloadCodecInfo")->isEnabled());
            dialog.reject();
        }
        QCOMPARE(store.WriteCount(), size_t(0));
        QCOMPARE(prefs.useCodecInfo, 1);
        {
            gui::CSettingsDlg dialog(prefs, messages, ScratchDirs(scratch), "/opt/torvo/torvo");
            Child<QCheckBox>(&dialog, "useCodecInfo")->click();
            Child<QCheckBox>(&dialog, "shortcutDesktop")->click();
            dialog.Accept();
        }
        QCOMPARE(prefs.useCodecInfo, 0);
        QCOMPARE(store.ReadInt(kPrefsSection, "UseCodecInfo"), std::optional<int32_t>(0));
        QVERIFY(!store.Contains(kPrefsSection, "ExportEnabled"));
        QVERIFY(ShortcutExists(ScratchDirs(scratch), ShortcutPlace::kDesktop));
        QVERIFY(messages.shown.empty());
    }

    // An installed Torvo is in the menu through its own entry: the menu box
    // shows that and writes nothing; the user's entry never takes that id.
    void menuShortcutStandsAsideForTheInstalledEntry() {
        ScratchDir scratch;
        CMemorySettingsStore store;
        CRecordingMessageBox messages;
        CPrefs prefs(store, "/opt/torvo/");
        prefs.Load();
        UserDirs dirs = ScratchDirs(scratch);
        const auto userEntry = dirs.ApplicationsDir() / "torvo-user.desktop";
        const auto menuBox = [](QDialog& dialog) { return Child<QCheckBox>(&dialog, "shortcutMenu"); };
        {
            gui::CSettingsDlg dialog(prefs, messages, dirs, "/opt/torvo/bin/torvo");
            QVERIFY(menuBox(dialog)->isEnabled() && !menuBox(dialog)->isChecked());
            menuBox(dialog)->click();
            dialog.Accept();
        }
        QVERIFY(std::filesystem::exists(userEntry));
        QVERIFY(!std::filesystem::exists(dirs.ApplicationsDir() / "torvo.desktop"));

        dirs.dataDirs = {scratch / "system"};
        scratch.Write("system/applications/torvo.desktop", "[Desktop Entry]\n");
        {
            // The entry made before can still be removed.
            gui::CSettingsDlg dialog(prefs, messages, dirs, "/opt/torvo/bin/torvo");
            QVERIFY(menuBox(dialog)->isEnabled() && menuBox(dialog)->isChecked());
            menuBox(dialog)->click();
            dialog.Accept();
        }
        QVERIFY(!std::filesystem::exists(userEntry));
        {
            gui::CSettingsDlg dialog(prefs, messages, dirs, "/opt/torvo/bin/torvo");
            QVERIFY(!menuBox(dialog)->isEnabled() && menuBox(dialog)->isChecked());
            QVERIFY(!menuBox(dialog)->toolTip().isEmpty());
            Child<QPushButton>(&dialog, "refreshButton")->click();
            dialog.Accept();
        }
        QVERIFY(!std::filesystem::exists(userEntry));
        QVERIFY(messages.shown.empty());
    }

    void clearRemovesTheStoredFileForTheRun() {
        ScratchDir scratch;
        const UserDirs dirs = ScratchDirs(scratch);
        const auto file = dirs.SettingsFile();
        CQtSettingsStore store(file, dirs.configHome);
        CRecordingMessageBox messages;
        CPrefs prefs(store, "/opt/torvo/");
        prefs.Load();
        prefs.Save(false);
        QVERIFY(std::filesystem::exists(file));
        {
            gui::CSettingsDlg dialog(prefs, messages, dirs, "");
            messages.answer = MessageAnswer::kCancel;
            dialog.ClearStored();
            QVERIFY(std::filesystem::exists(file));
            messages.answer = MessageAnswer::kOk;
            Child<QPushButton>(&dialog, "clearButton")->click();
            QCOMPARE(messages.shown.size(), size_t(2));
            QCOMPARE(messages.shown[1].caption, std::string("Удаление настроек Torvo   "));
            QVERIFY(!Child<QPushButton>(&dialog, "clearButton")->isEnabled());
            QVERIFY(!std::filesystem::exists(file));
            Child<QCheckBox>(&dialog, "staticLogo")->click();
            dialog.Accept();
        }
        prefs.exportEnabled = 1;
        prefs.Save(true);
        QVERIFY(!std::filesystem::exists(file));
        QVERIFY(!std::filesystem::exists(file.parent_path()));
        gui::CSettingsDlg again(prefs, messages, dirs, "");
        QVERIFY(!Child<QPushButton>(&again, "clearButton")->isEnabled());
    }

    void exportSetupKeepsTheSwitchUntilStored() {
        ScratchDir scratch;
        CMemorySettingsStore store;
        CRecordingMessageBox messages;
        CPrefs prefs(store, "/opt/torvo/");
        prefs.Load();
        {
            gui::CExportDlg dialog(prefs, messages);
            QVERIFY(!Child<QWidget>(&dialog, "formatSrc0")->isEnabled());  // export off: all disabled
            Child<QCheckBox>(&dialog, "exportEnabled")->click();
            QVERIFY(Child<QPushButton>(&dialog, "storeButton")->isEnabled());
            QVERIFY(!Child<QLineEdit>(&dialog, "templateName")->isEnabled());
            Child<QRadioButton>(&dialog, "exportMode2")->click();
            dialog.choosePath = [&](const QString&, bool saveFile) {
                return saveFile ? QString() : QString::fromStdString((scratch / "out").string());
            };
            Child<QPushButton>(&dialog, "pathButton")->click();
            QVERIFY(Child<QLineEdit>(&dialog, "exportPath")->isReadOnly());
            dialog.Accept();
        }
        QCOMPARE(prefs.exportEnabled, 1);  // on for this run
        QCOMPARE(prefs.exportMode, 2);
        QCOMPARE(prefs.exportPath, (scratch / "out").string());
        QCOMPARE(store.ReadInt(kPrefsSection, "ExportMode"), std::optional<int32_t>(2));
        QVERIFY(!store.Contains(kPrefsSection, "ExportEnabled"));

        {
            // A missing template: Cancel keeps the dialog open with export on, OK switches export off.
            gui::CExportDlg dialog(prefs, messages);
            Child<QRadioButton>(&dialog, "formatSrc2")->click();
            QVERIFY(Child<QLineEdit>(&dialog, "templateName")->isEnabled());
            dialog.chooseTemplate = [&](const QString&) { return QString::fromStdString((scratch / "none.txt").string()); };
            Child<QPushButton>(&dialog, "templateButton")->click();
            messages.answer = MessageAnswer::kCancel;
            dialog.Accept();
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            QCOMPARE(messages.shown.back().caption, std::string("Режим экспорта"));
            QCOMPARE(messages.shown.back().text, (scratch / "none.txt").string() +
                                                     ": файл не найден.\r\nЭкспорт будет отключен (\"Отмена\" - не "
                                                     "отключать экспорт).");
            messages.answer = MessageAnswer::kOk;
            dialog.Accept();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(prefs.exportEnabled, 0);
        QCOMPARE(prefs.exportFormatSrc, 2);

        {
            gui::CExportDlg dialog(prefs, messages);
            Child<QCheckBox>(&dialog, "exportEnabled")->click();
            Child<QPushButton>(&dialog, "storeButton")->click();
            QVERIFY(!Child<QPushButton>(&dialog, "storeButton")->isEnabled());
            QCOMPARE(store.ReadInt(kPrefsSection, "ExportEnabled"), std::optional<int32_t>(1));
            Child<QRadioButton>(&dialog, "exportMode3")->click();
            dialog.Cancel();  // rereads what is stored
        }
        QCOMPARE(prefs.exportMode, 2);
        QCOMPARE(prefs.exportEnabled, 1);
    }

    // The codec list on a recorded machine: its columns, colours and legend,
    // the merit dialog changing a row, and the windows its commands open.
    void codecListAndItsCommands() {
        const test::Bytes bytes = test::ReadBytes(std::string(TORVO_TEST_SOURCE_DIR) + "/inventory/machine.json");
        nlohmann::ordered_json machine = nlohmann::ordered_json::parse(bytes.begin(), bytes.end());
        machine["properties"] = {{"{64697678-0000-0010-8000-00AA00389B71}",
                                  {{{"name", "deblock"}, {"type", "gboolean"}, {"default", "TRUE"}, {"writable", true}}}}};
        const std::string json = machine.dump();
        CRecordedPlatform enumerated(json);
        auto inventory = std::make_unique<CodecInventory>();
        EnumerateInventory(*inventory, {enumerated, {}, [](const std::string&, const std::string&) {}});
        CRecordingMessageBox messages;
        auto context = std::make_shared<gui::CodecListContext>();
        context->inventory = inventory.get();
        context->expertMode = [] { return true; };
        context->messages = &messages;
        context->makePlatform = [json] { return std::make_unique<CRecordedPlatform>(json); };

        QPointer<gui::CDlgGenericList> list = gui::ShowCodecList(nullptr, context);
        QVERIFY(list);
        QCOMPARE(list->objectName(), QString("codecList"));
        QCOMPARE(list->List()->columnCount(), 6);
        QCOMPARE(list->List()->headerItem()->text(4), QString("Приор"));
        QCOMPARE(Child<QLabel>(list, "legend5")->text(), QString("Ошибка!"));
        list->SortByColumn(4);
        QStringList merits = Column(*list, 4);
        merits.removeAll("");
        QStringList sorted = merits;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(merits, sorted);

        auto select = [&](const QString& name) {
            for (int r = 0; r < list->List()->topLevelItemCount(); ++r)
                if (list->List()->topLevelItem(r)->text(2) == name) {
                    list->List()->setCurrentItem(list->List()->topLevelItem(r));
                    return list->List()->topLevelItem(r);
                }
            return static_cast<QTreeWidgetItem*>(nullptr);
        };
        QTreeWidgetItem* mp3 = select("MPEG Layer-3 Decoder");
        QVERIFY(mp3);
        QCOMPARE(mp3->background(0).color(), QColor(0xE0, 0xFF, 0xE0));
        bool okRefused = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<gui::CMeritSetDlg*>(QApplication::activeModalWidget());
            if (!dialog) return;
            Child<QLineEdit>(dialog, "meritEdit")->setText("0x80zz");
            okRefused = !Child<QPushButton>(dialog, "meritOk")->isEnabled();
            Child<QLineEdit>(dialog, "meritEdit")->setText("800000");
            QCOMPARE(Child<QSlider>(dialog, "meritSlider")->value(), 0x800000);
            Child<QPushButton>(dialog, "meritOk")->click();
        });
        list->RunCommand(kCmdMerit);
        QVERIFY(okRefused);
        QCOMPARE(mp3->text(4), QString("0x00800000"));
        QCOMPARE(QString::fromStdString(messages.shown.back().text),
                 QString("Приоритет успешно изменен с 0x00600000 на 0x00800000    \r\n"));

        select("XviD MPEG-4 Video Decoder");
        list->RunCommand(kCmdMediaTypes);
        auto* types = list->findChild<gui::CDlgGenericList*>("entryMediaTypes");
        QVERIFY(types);
        QCOMPARE(types->List()->topLevelItemCount(), 2);
        // In English each entry of a row's menu has a letter of its own
        // (the Russian texts share some), the copies' included.
        types->List()->setCurrentItem(types->List()->topLevelItem(0));
        UseLanguage(Language::kEnglish);
        QStringList shared;
        for (gui::CDlgGenericList* menuOf : {list.data(), types}) {
            QMenu menu;
            menuOf->FillContextMenu(menu);
            QVERIFY(menu.actions().size() >= 5);
            for (const QString& letter : Duplicates(Mnemonics(menu.actions())))
                for (const QAction* action : menu.actions()) shared << letter + ": " + action->text();
        }
        UseLanguage(Language::kRussian);
        QVERIFY2(shared.isEmpty(), qPrintable(shared.join('\n')));
        list->RunCommand(kCmdPropertyPage);
        auto* page = list->findChild<gui::CDlgGenericList*>("propertyPage");
        QVERIFY(page);
        QCOMPARE(page->RowText(0), QString("deblock\tgboolean\tTRUE\t"));
        QVERIFY(context->HasPropertyPage(mp3->data(0, Qt::UserRole).toInt()) == false);

        // Opened for one entry: its details stand in for the list.
        QWidget owner;
        const int avi = static_cast<int>(select("AVI Splitter")->data(0, Qt::UserRole).toULongLong());
        QPointer<gui::CDlgGenericList> forOne = gui::ShowCodecList(&owner, context, avi);
        QTRY_VERIFY(!forOne);
        auto* details = owner.findChild<gui::CDlgGenericList*>("entryDetails");
        QVERIFY(details);
        QCOMPARE(details->windowTitle(), QString("Детально о фильтре AVI Splitter"));
        list->close();
    }

    void helpLinksExplainTheirTopics() {
        QVERIFY(gui::HelpText("torvo://local.aspect").contains("dar"));
        QVERIFY(gui::HelpText("torvo://local.batch").startsWith(" Когда режим экспорта включен"));
        QCOMPARE(gui::HelpText("torvo://local.nothing"), QString("?"));
        const QString keys = gui::HelpText("torvo://local.key_video");
        QVERIFY(keys.startsWith("Подсказка: Щелкните правой кнопкой мышки"));
        QVERIFY(keys.contains("~ %VIDEO_CODEC_NAME%"));
        QVERIFY(!keys.contains("%AUDIO"));
        QVERIFY(gui::HelpText("torvo://local.key_file").contains("~ %CONT_BASETYPE%"));
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
