// The main window on real samples: what it shows equals the command-line
// report of the same file, and its queue, drops, timers and buttons work.
#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressBar>
#include <QStackedWidget>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <unistd.h>
#include <sstream>

#include <QTreeWidget>

#include <QCheckBox>
#include <QTimer>

#include "ExportDialog.h"
#include "FrameLayoutDialog.h"
#include "GenericList.h"
#include "GopStruct.h"
#include "SettingsDialog.h"
#include "GuiTestUtil.h"
#include "GuiWidgets.h"
#include "MainWindow.h"
#include "ReportActions.h"
#include "base/SizeText.h"
#include "analysis/ScanStatistics.h"

using namespace torvo;
using namespace torvo::testing;

namespace {

QJsonObject CliReport(const std::string& path) {
    QProcess cli;
    cli.start(TORVO_CLI_PATH, {"--json", "--db", QString::fromStdString(ShippedDatabase()), QString::fromStdString(path)});
    if (!cli.waitForFinished(30000)) return {};
    return QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
}

// caption -> text of every field box inside a panel of the window.
QMap<QString, QString> PanelTexts(QWidget* window, const char* panel) {
    QMap<QString, QString> texts;
    for (QLineEdit* box : window->findChild<QWidget*>(panel)->findChildren<QLineEdit*>())
        if (box->isVisibleTo(window) && !box->text().isEmpty()) texts[box->property("caption").toString()] = box->text();
    return texts;
}

QMap<QString, QString> JsonPanel(const QJsonObject& object) {
    QMap<QString, QString> texts;
    for (auto it = object.begin(); it != object.end(); ++it)
        if (!it.value().toString().isEmpty()) texts[it.key()] = it.value().toString();
    return texts;
}

QStringList ListTexts(QWidget* window, const char* list) {
    QStringList lines;
    auto* view = window->findChild<QListWidget*>(list);
    for (int i = 0; i < view->count(); ++i) lines << view->item(i)->text();
    return lines;
}

// Everything the window shows for the file against its --json report:
// the file panel, the notes and their colours, the user data list, every
// video and conversion field, the shown audio stream and every lit lamp.
void CompareWithReport(QWidget* window, const QJsonObject& report, const std::string& path) {
    QVERIFY(!report.isEmpty());
    const QMap<QString, QString> file = PanelTexts(window, "filePanel");
    QCOMPARE(file.value("Путь"), report["file"].toString());
    const QString size = file.value("Размер");
    QCOMPARE(size, QString::fromStdString(FullSizeText(std::filesystem::file_size(path))));
    QVERIFY(size.contains(report["fields"].toObject()["FILE_SIZE"].toString()));

    QStringList notes;
    QList<int> colours;
    for (const QJsonValue& note : report["notes"].toArray()) {
        notes << note.toObject()["text"].toString();
        colours << note.toObject()["colour"].toInt();
    }
    QCOMPARE(ListTexts(window, "containerList"), notes);
    auto* list = window->findChild<QListWidget*>("containerList");
    for (int i = 0; i < colours.size(); ++i) QCOMPARE(list->item(i)->data(Qt::UserRole).toInt(), colours[i]);
    QStringList tags;
    for (const QJsonValue& tag : report["tags"].toArray()) tags << tag.toString();
    QCOMPARE(ListTexts(window, "userDataList"), tags);

    QMap<QString, QString> video = PanelTexts(window, "videoPanel");
    const QMap<QString, QString> conversion = PanelTexts(window, "conversionPanel");
    for (auto it = conversion.begin(); it != conversion.end(); ++it) video[it.key()] = it.value();
    QCOMPARE(video, JsonPanel(report["video"].toObject()));

    const QJsonArray audio = report["audio"].toArray();
    const QMap<QString, QString> firstAudio = audio.isEmpty() ? QMap<QString, QString>() : JsonPanel(audio[0].toObject());
    QCOMPARE(PanelTexts(window, "audioPanel"), firstAudio);

    QSet<QString> lit, expected;
    int lamps = 0;
    for (QLabel* lamp : window->findChildren<QLabel*>()) {
        if (!lamp->property("lamp").isValid()) continue;
        ++lamps;
        if (lamp->property("lit").toBool() && lamp->isVisibleTo(window)) lit << lamp->property("lamp").toString();
    }
    QCOMPARE(lamps, 28);
    for (const QJsonValue& lamp : report["lamps"].toArray()) expected << lamp.toString();
    QCOMPARE(lit, expected);
    QCOMPARE(window->windowTitle(), QString("Torvo v2.70a: ") + QString::fromStdString(FileNameOf(path)));
}

// Every sample file below the test data folder, in name order.
std::vector<std::string> AllSamples() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(TORVO_TEST_DATA_DIR)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && ext != ".sh" && ext != ".txt" && ext != ".md") names.push_back(entry.path().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A JSON line without its read speed, the one figure two runs never share.
std::string WithoutReadSpeed(std::string line) {
    static const std::regex speed("\"read_kib_per_s\":[0-9]+");
    return std::regex_replace(line, speed, "\"read_kib_per_s\":0");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

QPushButton* Button(QWidget* window, const char* name) { return window->findChild<QPushButton*>(name); }
QString Field(QWidget* window, const char* name) { return window->findChild<QLineEdit*>(name)->text(); }

// The first bytes of an AVI file: enough for a folder to count it as media.
const std::string kAviStart("RIFF\x10\0\0\0AVI LIST", 16);

void Drop(QWidget* window, const std::vector<std::string>& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &drop);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void showsWhatTheReportSays_data() {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<QStringList>("hiddenLamps");
        QTest::newRow("avi") << "riff/avi_xvid_bframes_mp3cbr.avi" << QStringList{};
        QTest::newRow("mpeg") << "mpeg/dvd_pal_ac3.vob" << QStringList{};
        QTest::newRow("mp4") << "containers/mp4_h264_aac.mp4" << QStringList{};
        QTest::newRow("mp4 tags") << "containers/mp4_tags.mp4" << QStringList{};
        // Raw DV has no field-coding or pulldown lamps.
        QTest::newRow("dv") << "mpeg/dv_pal_16x9.dv" << QStringList{"lampPpf", "lampPulldown"};
        QTest::newRow("flv") << "containers/flv_h264_aac.flv" << QStringList{};
    }
    void showsWhatTheReportSays() {
        QFETCH(QString, sample);
        QFETCH(QStringList, hiddenLamps);
        const std::string path = Sample(sample.toUtf8().constData());
        GuiRun run;
        gui::CTorvoDlg* window = run.Start({path});
        QVERIFY(window);
        QTRY_VERIFY_WITH_TIMEOUT(!window->Scanning(), 10000);  // the report shows the final statistics
        CompareWithReport(window, CliReport(path), path);
        QVERIFY(run.messages.shown.empty());
        for (const QString& lamp : hiddenLamps) QVERIFY(!window->findChild<QLabel*>(lamp)->isVisibleTo(window));
    }

    void nextAndPreviousWalkAQueueOfThree() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start();
        const std::vector<std::string> names = {Sample("riff/avi_two_audio.avi"), Sample("mpeg/vcd_pal.mpg"),
                                                Sample("containers/mp4_h264_aac.mp4")};
        window->OpenNames(names);
        QCOMPARE(window->Queue().Index(), -1);
        QCOMPARE(ListTexts(window, "containerList"), QStringList{"3 файлов в очер.."});
        QVERIFY(Field(window, "filePath").isEmpty());
        QVERIFY(QTest::qWaitForWindowActive(window));
        for (size_t i = 0; i < names.size(); ++i) {
            QTest::keyClick(window, Qt::Key_Plus);
            QCOMPARE(Field(window, "filePath"), QString::fromStdString(names[i]));
        }
        QCOMPARE(window->findChild<QLabel*>("queueCounter")->text(), QString("  3/3  "));
        window->NextFile();  // at the last name: nothing moves
        QCOMPARE(window->Queue().Index(), 2);
        QTest::keyClick(window, Qt::Key_Minus);
        QCOMPARE(Field(window, "filePath"), QString::fromStdString(names[1]));
        window->PreviousFile();
        window->PreviousFile();  // at the first name: nothing moves
        QCOMPARE(window->Queue().Index(), 0);
        QCOMPARE(Field(window, "filePath"), QString::fromStdString(names[0]));
        // Esc ends a run before the queue timer takes the next name.
        QTest::keyClick(window, Qt::Key_F5, Qt::ControlModifier);
        QVERIFY(window->Queue().Mode() == QueueMode::kRunAll);
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(window->Queue().Mode() == QueueMode::kStopped);
        QTest::qWait(250);
        QCOMPARE(window->Queue().Index(), 0);
    }

    void unattendedRunExportsEveryFileAndCloses() {
        GuiRun run;
        const std::string exportFile = (run.scratch / "all.txt").string();
        run.store.WriteInt(kPrefsSection, "ExportMode", 3);
        run.store.WriteText(kPrefsSection, "ExportFile", exportFile);
        const std::string list = run.scratch.Write("list.txt", Sample("mpeg/vcd_pal.mpg") + "\n");
        gui::CTorvoDlg* window =
            run.Start({"-x", Sample("riff/avi_two_audio.avi"), "-f", list, Sample("containers/mp4_h264_aac.mp4"), "-f",
                       (run.scratch / "no-such-list.txt").string()});
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 20000);
        std::ifstream in(exportFile);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        QCOMPARE(lines.size(), size_t(4));  // the column names, then one record per file
        QVERIFY(lines[1].find("avi_two_audio.avi") != std::string::npos);
        QVERIFY(lines[2].find("mp4_h264_aac.mp4") != std::string::npos);
        QVERIFY(lines[3].find("vcd_pal.mpg") != std::string::npos);
        // Export was on for this run only, and nothing waited for an answer.
        QVERIFY(!run.store.ReadInt(kPrefsSection, "ExportEnabled").value_or(0));
        QVERIFY(run.messages.shown.empty());
    }

    void dropsQueueFilesAndFolders() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start();
        Drop(window, {Sample("mpeg/vcd_pal.mpg")});
        QCOMPARE(Field(window, "filePath"), QString::fromStdString(Sample("mpeg/vcd_pal.mpg")));
        Drop(window, {Sample("mpeg/vcd_pal.mpg"), Sample("riff/avi_two_audio.avi")});
        QCOMPARE(window->Queue().Count(), size_t(2));
        QCOMPARE(window->Queue().Index(), -1);
        QCOMPARE(ListTexts(window, "containerList"), QStringList{"2 файлов в очер.."});

        // A folder: its media files at every level, sorted by name, whatever
        // they are called; other files stay out and are counted in a message.
        const std::string b = run.scratch.Write("clips/b.mpg", kAviStart);
        const std::string a = run.scratch.Write("clips/sub/a", kAviStart);
        const std::string c = run.scratch.Write("clips/C.MP4", kAviStart);
        run.scratch.Write("clips/notes.txt", "x");
        run.scratch.Write("clips/picture.avi", "GIF89a");
        Drop(window, {(run.scratch / "clips").string()});
        QCOMPARE(window->Queue().Names(), (std::vector<std::string>{c, b, a}));
        QCOMPARE(run.messages.shown.size(), size_t(1));
        QCOMPARE(run.messages.shown[0].text, std::string("2 файл(ов) пропущено: не медиафайлы"));

        // The command line expands a folder as a drop does.
        GuiRun named;
        gui::CTorvoDlg* second = named.Start({(run.scratch / "clips").string()});
        QCOMPARE(second->Queue().Names(), (std::vector<std::string>{c, b, a}));
        QCOMPARE(named.messages.shown.size(), size_t(1));
    }

    // The queue holds 9,999 names; what does not fit, dropped, opened or
    // listed, is counted in one message.
    void namesBeyondTheQueueAreCounted() {
        const std::string sample = Sample("mpeg/vcd_pal.mpg");
        const auto told = [](const GuiRun& run, const char* count) {
            QCOMPARE(run.messages.shown.size(), size_t(1));
            QCOMPARE(run.messages.shown[0].caption, std::string("Очередь полна!"));
            QCOMPARE(run.messages.shown[0].text, "В очереди помещается 9999 файлов: взяты первые 9999.\n\n"
                                                 "Не вошли в очередь: " + std::string(count) + " файл(ов).");
        };
        {
            GuiRun run;
            gui::CTorvoDlg* window = run.Start();
            for (int i = 0; i < 10003; ++i) run.scratch.Write("many/" + std::to_string(100000 + i) + ".avi", kAviStart);
            Drop(window, {(run.scratch / "many").string(), sample});
            QCOMPARE(window->Queue().Count(), size_t(9999));
            QCOMPARE(window->Queue().Names().back(), (run.scratch / "many/109998.avi").string());
            QCOMPARE(ListTexts(window, "containerList"), QStringList{"9999 файлов в очер.."});
            told(run, "5");
            run.messages.shown.clear();
            window->OpenNames(std::vector<std::string>(10001, sample));
            told(run, "2");
            run.messages.shown.clear();
            window->OpenNames(std::vector<std::string>(9999, sample));
            QVERIFY(run.messages.shown.empty());
        }
        {
            GuiRun run;
            std::string lines;
            for (int i = 0; i < 12; ++i) lines += sample + "\n";
            std::vector<std::string> args(9990, sample);
            args.insert(args.end(), {"-f", run.scratch.Write("list.txt", lines)});
            gui::CTorvoDlg* window = run.Start(args);
            QCOMPARE(window->Queue().Count(), size_t(9999));
            told(run, "3");
        }
    }

    // While the full scan runs, its progress bar stands in the status slot;
    // nothing is inserted above the panels below, so they never move.
    void scanProgressTakesTheStatusPlace() {
        GuiRun run;
        // A program stream followed by a long sparse tail: the scan reads for a while.
        std::ifstream in(Sample("scan/mpeg2_ps_gop12.mpg"), std::ios::binary);
        const std::string head{std::istreambuf_iterator<char>(in), {}};
        const std::string path = run.scratch.Write("long.mpg", head);
        QVERIFY(::truncate(path.c_str(), off_t(6) << 30) == 0);
        gui::CTorvoDlg* window = run.Start({path});
        QVERIFY(window);
        auto* slot = window->findChild<QStackedWidget*>("videoStatusSlot");
        auto* bar = window->findChild<QProgressBar*>("scanProgress");
        auto* below = window->findChild<QLineEdit*>("videoDuration");
        QVERIFY(slot && bar && below);
        const int belowAt = below->mapTo(window, QPoint()).y();
        QVERIFY(window->Scanning());
        QTRY_COMPARE_WITH_TIMEOUT(slot->currentWidget(), static_cast<QWidget*>(bar), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0 || !window->Scanning(), 20000);
        QCOMPARE(below->mapTo(window, QPoint()).y(), belowAt);
        for (QLabel* label : window->findChildren<QLabel*>())
            QVERIFY(!label->isVisibleTo(window) || label->text() != QString::fromUtf8(kScanStatusCaption));
        QTRY_VERIFY_WITH_TIMEOUT(!window->Scanning(), 60000);
        QCOMPARE(slot->currentWidget()->objectName(), QString("videoStatus"));
        QCOMPARE(below->mapTo(window, QPoint()).y(), belowAt);
    }

    // The scan finishes the file; the VGS window then shows the core's picture
    // and texts, and its options change the order it draws in.
    void scanEnablesTheFrameLayoutWindow() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start({Sample("scan/mpeg2_ps_gop12.mpg")});
        QVERIFY(window);
        auto* vgs = window->findChild<QPushButton*>("vgsButton");
        QTRY_VERIFY_WITH_TIMEOUT(!window->Scanning(), 10000);
        QVERIFY(vgs->isEnabled());

        // The strip of the last 64 pictures paints whole 7-pixel cells, the newest at the right end.
        auto* strip = window->findChild<gui::CGopStruct*>("gopStrip");
        QVERIFY(strip && strip->isVisible());
        QCOMPARE(strip->Pictures().size(), size_t(64));
        const QImage shot = strip->grab().toImage();
        const int used = std::min(strip->width() / 7, 64) * 7;
        QVERIFY(used >= 7);
        const QColor newest = gui::ColourFromBgr(PictureTypeColour(strip->Pictures().back() & kFrameTypeMask));
        QCOMPARE(shot.pixelColor(used - 4, shot.height() - 1), newest);
        if (shot.width() > used) QCOMPARE(shot.pixelColor(used, shot.height() - 1), strip->palette().window().color());

        QString before, after, hover, explanation;
        bool codedEnabled = false;
        connect(window, &gui::CTorvoDlg::frameLayoutShown, this, [&](QDialog* dialog) {
            QTimer::singleShot(0, dialog, [&, dialog] {
                auto* status = dialog->findChild<QLabel*>("vgsStatus");
                before = status->text();
                auto* coded = dialog->findChild<QCheckBox*>("vgsCodedOrder");
                codedEnabled = coded->isEnabled();
                coded->setChecked(true);
                after = status->text();
                QWidget* view = dialog->findChild<QWidget*>("vgsView");
                QMouseEvent move(QEvent::MouseMove, QPointF(5, 8), view->mapToGlobal(QPointF(5, 8)), Qt::NoButton,
                                 Qt::NoButton, Qt::NoModifier);
                QApplication::sendEvent(view, &move);
                hover = dialog->findChild<QLabel*>("vgsHover")->text();
                // Each explanation link opens its text beside the window.
                auto* link = dialog->findChild<QLabel*>("vgsLink_order");
                emit link->linkActivated("torvo://local.order");
                if (auto* text = dialog->findChild<QLabel*>("helpText")) explanation = text->text();
                dialog->reject();
            });
        });
        QTest::mouseClick(vgs, Qt::LeftButton);
        QVERIFY(before.startsWith(QString::fromUtf8("в порядке показа")));
        QVERIFY(codedEnabled);  // the sample has B pictures
        QVERIFY(after.startsWith(QString::fromUtf8("как кодиров")));
        QVERIFY2(hover.contains("I"), qPrintable(hover));  // the first coded picture is an I picture
        QVERIFY2(explanation.contains(QString::fromUtf8("порядке кодирования")), qPrintable(explanation));
    }

    void audioButtonsSwitchTheShownStream() {
        GuiRun run;
        const std::string path = Sample("riff/avi_two_audio.avi");
        gui::CTorvoDlg* window = run.Start({path});
        const QJsonArray audio = CliReport(path)["audio"].toArray();
        QCOMPARE(audio.size(), 2);
        QVERIFY(Button(window, "audioStream2")->isEnabled());
        QVERIFY(!Button(window, "audioStream3")->isEnabled());
        QTest::mouseClick(Button(window, "audioStream2"), Qt::LeftButton);
        QCOMPARE(PanelTexts(window, "audioPanel"), JsonPanel(audio[1].toObject()));
        QVERIFY(Button(window, "audioStream2")->isChecked());
        QVERIFY(!Button(window, "audioStream1")->isChecked());
        QTest::mouseClick(Button(window, "audioStream1"), Qt::LeftButton);
        QCOMPARE(PanelTexts(window, "audioPanel"), JsonPanel(audio[0].toObject()));
        QVERIFY(window->findChild<QLabel*>("lampCbr")->property("lit").toBool());
    }

    void targetButtonsRewriteTheInstructions() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start({Sample("mpeg/dvd_pal_ac3.vob")});  // PAL DVD, 16:9
        QVERIFY(Button(window, "targetAVI")->isChecked());
        QVERIFY(Button(window, "framingWide")->isChecked());
        QCOMPARE(Field(window, "conversionLine1"), QString("Resize to 787 x 576 (Use +/- for other target sizes)"));
        // 787 is prime: no smaller width keeps the aspect, so "-" is refused and the lines stay.
        QTest::mouseClick(Button(window, "stepDown"), Qt::LeftButton);
        QCOMPARE(Field(window, "conversionLine1"), QString("Resize to 787 x 576 (Use +/- for other target sizes)"));
        QCOMPARE(window->Conversion().Steps(), 0);
        QTest::mouseClick(Button(window, "targetVCD"), Qt::LeftButton);
        QCOMPARE(Field(window, "conversionLine1"), QString("Resize to 360 x 288  ( w:[1/2]  h:[1/2] )"));
        QCOMPARE(Field(window, "conversionLine2"), QString("Trim 4 from each side for 352 x 288"));
        QTest::mouseClick(Button(window, "targetDVD"), Qt::LeftButton);
        QCOMPARE(Field(window, "conversionLine1"), QString("No resize req'd"));
        QTest::mouseClick(Button(window, "framingStandard"), Qt::LeftButton);
        QCOMPARE(Field(window, "conversionLine1"), QString("Resize to 720 x 432  ( w:[1/1]  h:[3/4] )"));
        QCOMPARE(Field(window, "conversionLine2"), QString("Pad 72 to top and bottom for 720 x 576"));
        // The size steps belong to the AVI target.
        QTest::mouseClick(Button(window, "stepUp"), Qt::LeftButton);
        QVERIFY(Button(window, "targetAVI")->isChecked());
        QVERIFY(Field(window, "conversionLine1").startsWith("Resize to "));
        QVERIFY(Field(window, "conversionLine1") != QString("Resize to 787 x 576 (Use +/- for other target sizes)"));
        // The report fields keep what the analysis stored.
        QCOMPARE(gui::Qs(window->Model().Fields().Field("VIDEO_ASPECT_CONVERT_VCD1")),
                 QString("Resize to 360 x 288  ( w:[1/2]  h:[1/2] )"));
    }

    // Run without stopping, no box halts the queue: a file that cannot be
    // opened is a note, and the failures are summed up once the queue ends.
    // Run until the first error, the box is shown and the queue stops there.
    void unopenableFileIsNotedOrStopsTheRun() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start();
        const std::string missing = (run.scratch / "gone.avi").string();
        const std::vector<std::string> names = {missing, Sample("mpeg/vcd_pal.mpg"), missing};
        window->OpenNames(names);
        QStringList notesWhileRunning;
        QObject::connect(window, &gui::CTorvoDlg::fileAnalysed, window, [&] {
            if (window->Queue().Index() == 0) notesWhileRunning = ListTexts(window, "containerList");
        });
        window->RunAll();
        QTRY_COMPARE(window->Queue().Index(), 2);
        QTRY_VERIFY(window->Queue().Mode() == QueueMode::kStopped);
        QCOMPARE(run.messages.shown.size(), size_t(1));  // the summary, after the last name
        QCOMPARE(run.messages.shown[0].caption, std::string("Не открыть файл!!"));
        QVERIFY(run.messages.shown[0].text.starts_with("Не удалось открыть 2 файл(ов):\nНе открыть файл!!: НеМогу открыть файл " +
                                                       missing + ": "));
        QCOMPARE(notesWhileRunning.size(), 1);
        QVERIFY(notesWhileRunning[0].startsWith("Не открыть файл!!: НеМогу открыть файл "));

        window->FirstFile();
        window->RunUntilError();
        QTRY_COMPARE(run.messages.shown.size(), size_t(2));
        QCOMPARE(run.messages.shown[1].caption, std::string("Не открыть файл!!"));
        QVERIFY(run.messages.shown[1].text.starts_with("НеМогу открыть файл " + missing + ":\n\n"));
        QTRY_VERIFY(window->Queue().Mode() == QueueMode::kStopped);
        QTest::qWait(250);
        QCOMPARE(window->Queue().Index(), 0);
        // The file that could not be opened left no name in the caption.
        QCOMPARE(window->windowTitle(), QString("Torvo v2.70a"));
    }

    // The saved JSON of every sample is torvo-cli's line for the same file
    // (the read speed aside) and valid against the published schema.
    void savedJsonIsTheCommandLinesLine() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start();
        const std::vector<std::string> samples = AllSamples();
        const QString savedFile = QString::fromStdString((run.scratch / "one.jsonl").string());
        std::string saved;
        QStringList args = {"--json", "--scan", "--db", QString::fromStdString(ShippedDatabase()), "--"};
        for (const std::string& sample : samples) {
            QSignalSpy analysed(window, &gui::CTorvoDlg::fileAnalysed);
            window->OpenNames({sample});
            QTRY_VERIFY_WITH_TIMEOUT(analysed.count() == 1, 20000);
            const std::optional<FileReport> report = window->ShownReport();
            QVERIFY2(report, sample.c_str());
            QString error;
            QVERIFY(gui::SaveReport(*report, savedFile, true, error));
            std::ifstream in(savedFile.toStdString(), std::ios::binary);
            saved += std::string(std::istreambuf_iterator<char>(in), {});
            args << QString::fromStdString(sample);
        }
        QProcess cli;
        cli.start(TORVO_CLI_PATH, args);
        QVERIFY(cli.waitForFinished(120000));
        const std::vector<std::string> theirs = Lines(cli.readAllStandardOutput().toStdString());
        const std::vector<std::string> mine = Lines(saved);
        QCOMPARE(mine.size(), samples.size());
        QCOMPARE(theirs.size(), samples.size());
        for (size_t i = 0; i < samples.size(); ++i)
            QVERIFY2(WithoutReadSpeed(mine[i]) == WithoutReadSpeed(theirs[i]), samples[i].c_str());

        const std::string all = (run.scratch / "all.jsonl").string();
        std::ofstream(all, std::ios::binary) << saved;
        QProcess check;
        check.start(TORVO_PYTHON, {TORVO_REPORT_CHECK, "--lines", QString::fromStdString(all), TORVO_REPORT_SCHEMA});
        QVERIFY(check.waitForFinished(60000));
        QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());
    }

    // Esc stops a running full scan: the file ends with what was read, its
    // report says so, and nothing is exported for it.
    void escapeStopsARunningScan() {
        GuiRun run;
        run.store.WriteInt(kPrefsSection, "ScanEntireFile", 1);
        // A sparse file scans for many seconds without filling the disk.
        const std::string big = (run.scratch / "big.mpg").string();
        std::filesystem::copy_file(Sample("mpeg2_ps.mpg"), big);
        std::filesystem::resize_file(big, uint64_t(64) << 30);
        gui::CTorvoDlg* window = run.Start({big});
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QVERIFY(window->Scanning());
        QVERIFY(!window->ShownReport());  // no report while the file is in hand
        QTest::qWait(300);
        QSignalSpy analysed(window, &gui::CTorvoDlg::fileAnalysed);
        QTest::keyClick(window, Qt::Key_Escape);
        QTRY_COMPARE_WITH_TIMEOUT(analysed.count(), 1, 3000);
        QVERIFY(!window->Scanning());
        const QStringList notes = ListTexts(window, "containerList");
        QVERIFY2(notes.last().startsWith("Просмотр файла прерван: прочитано "), qPrintable(notes.join('|')));
        QVERIFY(!window->findChild<QPushButton*>("vgsButton")->isEnabled());
        const std::optional<FileReport> report = window->ShownReport();
        QVERIFY(report && report->scan);
        QVERIFY(ReportJsonLine(*report).find("Просмотр файла прерван") != std::string::npos);
    }

    void runUntilErrorStopsAtABrokenFile() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start();
        std::ifstream in(Sample("riff/avi_two_audio.avi"), std::ios::binary);
        std::string head(30000, '\0');
        in.read(head.data(), std::streamsize(head.size()));
        const std::string broken = run.scratch.Write("broken.avi", head);  // its header runs past the end
        const std::vector<std::string> names = {broken, Sample("mpeg/vcd_pal.mpg")};
        window->OpenNames(names);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_F5);
        QTRY_VERIFY(window->Queue().Mode() == QueueMode::kStopped);
        QTest::qWait(250);
        QCOMPARE(window->Queue().Index(), 0);
        QVERIFY(ListTexts(window, "containerList").contains("Corrupt AVI header"));
        // Running everything goes past it.
        window->FirstFile();
        window->RunAll();
        QTRY_COMPARE(window->Queue().Index(), 1);
        QCOMPARE(Field(window, "filePath"), QString::fromStdString(names[1]));
    }

    void dialogsOkReachTheShownFileAndTheExport() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start({Sample("mpeg/vcd_pal.mpg")});
        const QString off = "Рендеринг в программе отключен (включается в меню \"Настройка\" > \"Параметры\") ";
        QVERIFY(!ListTexts(window, "containerList").contains(off));
        QTimer::singleShot(50, [] {
            auto* dialog = qobject_cast<gui::CSettingsDlg*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->findChild<QCheckBox*>("useCodecInfo")->click();
            dialog->Accept();
        });
        window->Action("actionSettings")->trigger();
        // The shown file's codec information follows the new setting.
        QVERIFY(ListTexts(window, "containerList").contains(off));
        QVERIFY(Field(window, "videoStatus").contains("отключен"));

        QVERIFY(!window->Export().enabled);
        QTimer::singleShot(50, [] {
            auto* dialog = qobject_cast<gui::CExportDlg*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->findChild<QCheckBox*>("exportEnabled")->click();
            dialog->Accept();
        });
        window->Action("actionExport")->trigger();
        QVERIFY(window->Export().enabled);
    }

    void programLinksOpenTheirExplanation() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start();
        QVERIFY(QDesktopServices::openUrl(QUrl("torvo://local.interlace")));
        QLabel* text = nullptr;
        QTRY_VERIFY((text = window->findChild<QLabel*>("helpText")) != nullptr);
        QVERIFY(text->text().contains("TFF / BFF"));
        QVERIFY(!text->text().contains('~'));
    }

    void statusLineFollowsTheModel() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start();
        window->Model().SetStatusText("просмотр @ 12 MБ/с...");
        QTRY_COMPARE(window->findChild<QLabel*>("statusLine")->text(), QString("просмотр @ 12 MБ/с..."));
    }

    void firstRunGreetsOnceAndStores() {
        GuiRun run;
        run.store.Clear();
        QVERIFY(run.Start({Sample("mpeg/vcd_pal.mpg")}));
        QCOMPARE(run.messages.shown.size(), size_t(1));
        QCOMPARE(run.messages.shown[0].caption, std::string("Torvo"));
        QCOMPARE(run.store.ReadInt(kPrefsSection, "AppVersion"), std::optional<int32_t>(kAppVersionStored));
        run.app->Window()->close();
        QCOMPARE(run.store.ReadText(kPrefsSection, "LastMediaFile"), std::optional<std::string>(Sample("mpeg/vcd_pal.mpg")));
        run.app.reset();
        QVERIFY(run.Start());
        QCOMPARE(run.messages.shown.size(), size_t(1));
    }

    // Desktop entries come only from the settings' shortcut boxes: a first
    // run writes none, installed or not.
    void firstRunWritesNoDesktopEntry() {
        for (const bool installed : {false, true}) {
            GuiRun run;
            run.store.Clear();
            auto options = run.Options({});
            options.programDir = (run.scratch / "prefix/bin/").string();
            options.programPath = options.programDir + "torvo";
            if (installed) run.scratch.Write("prefix/share/applications/torvo.desktop", "[Desktop Entry]\n");
            run.app = std::make_unique<gui::CTorvoApp>(options);
            QVERIFY(run.app->Start());
            QVERIFY(!IsRegisteredForOpenWith(options.dirs));
            QVERIFY(!std::filesystem::exists(options.dirs.ApplicationsDir() / "torvo.desktop"));
        }
    }

    void noDatabaseMeansNoWindow() {
        GuiRun run;
        auto options = run.Options({Sample("mpeg/vcd_pal.mpg")});
        options.databasePath = run.scratch.Write("Torvo27.dat", "not a database\n");
        gui::CTorvoApp app(options);
        QVERIFY(!app.Start());
        QVERIFY(!app.Window());
        QCOMPARE(run.messages.shown.size(), size_t(1));
        QCOMPARE(run.messages.shown[0].caption, std::string(kDbCaption));
    }

    void databaseTablesListTheDatabase() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start();
        CReadDatabase database;
        QVERIFY(database.Load(ShippedDatabase(), {}));
        for (const auto& [action, listing] :
             {std::pair{"actionVideoFormats", ListVideoCodecs(database)}, {"actionAudioFormats", ListAudioFormats(database)}}) {
            window->Action(action)->trigger();
            auto lists = window->findChildren<gui::CDlgGenericList*>();
            QVERIFY(!lists.isEmpty());
            gui::CDlgGenericList* list = lists.back();
            QCOMPARE(list->windowTitle(), gui::Qs(listing.title));
            QCOMPARE(list->List()->headerItem()->text(2), gui::Qs(listing.columns[2]));
            QCOMPARE(size_t(list->List()->topLevelItemCount()), listing.rows.size());
            QVERIFY(listing.rows.size() > 10);
            list->close();
        }
    }

    void placementIsKeptWhileAsked() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start();
        window->setGeometry(60, 70, 1100, 780);
        const QRect placed = window->geometry();
        window->close();
        QCOMPARE(run.store.ReadText(kPrefsSection, "WindowPlacement"),
                 std::optional<std::string>(QString("60,70,%1,%2,1,0")
                                                .arg(60 + placed.width())
                                                .arg(70 + placed.height())
                                                .toStdString()));
        run.app.reset();
        window = run.Start();
        // (The width is pulled back to the test screen's 800 pixels, then out to the window's minimum.)
        QCOMPARE(window->geometry().topLeft(), QPoint(60, 70));
        QCOMPARE(window->geometry().height(), placed.height());
        // Switched off: neither read nor written.
        run.store.WriteInt(kPrefsSection, "SaveWindowSize", 0);
        run.store.WriteText(kPrefsSection, "WindowPlacement", "1,1,2,2,1,0");
        run.app.reset();
        window = run.Start();
        QCOMPARE(window->geometry().height(), 800);
        window->close();
        QCOMPARE(run.store.ReadText(kPrefsSection, "WindowPlacement"), std::optional<std::string>("1,1,2,2,1,0"));
    }

    void closeClearsTheFileAndTheCaption() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start({Sample("mpeg/vcd_pal.mpg")});
        window->Action("actionClose")->trigger();
        QCOMPARE(window->windowTitle(), QString("Torvo v2.70a"));
        QVERIFY(Field(window, "filePath").isEmpty());
        QCOMPARE(window->findChild<QListWidget*>("containerList")->count(), 0);
        QVERIFY(!Button(window, "renderVideo1")->isEnabled());
        // The codec lists need no file: they wait for the inventory and show it.
        QVERIFY(window->Action("actionCodecList")->isEnabled());
        window->Action("actionCodecList")->trigger();
        auto* list = window->findChild<gui::CDlgGenericList*>("codecList");
        QVERIFY(list);
        QVERIFY(list->List()->topLevelItemCount() > 10);
        list->close();
        window->Action("actionMediaTypes")->trigger();
        QVERIFY(window->findChild<gui::CDlgGenericList*>("allMediaTypes"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
