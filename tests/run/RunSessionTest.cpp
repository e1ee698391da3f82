// The run of a queue over real samples: order, modes, the scan wait and the
// failed export, whichever way the files are analysed.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "ScratchDir.h"
#include "TestUtil.h"
#include "run/RunSession.h"

namespace torvo {
namespace {

// Records what a run reports, in the order it is reported.
class Recorder : public IRunEvents, public IMessageBox {
public:
    std::string ReportReady(const AnalysedFile& file) override {
        std::string report = FileNameOf(file.path) + " " + std::string(file.display.Fields().Field("CONT_BASETYPE", 0));
        if (file.driver.Scan()) report += file.driver.Scan()->Running() ? " scan running" : " scan ended";
        return report;
    }
    void Deliver(size_t index, const std::string&, const std::string& report, const CAnalysisDriver*) override {
        log << index << " " << report << "\n";
    }
    void ExportDone(const std::string& path, const ExportOutcome& outcome) override {
        log << "export " << FileNameOf(path) << " " << outcome.ok << "\n";
    }
    void FileNotOpened(size_t index, const std::string&, const UserMessage&) override { log << index << " not opened\n"; }
    void QueueFinished() override { log << "end\n"; }
    MessageAnswer Show(std::string_view caption, std::string_view text, MessageIcon, MessageButtons) override {
        log << "message " << caption << "\n";
        if (text.starts_with("Не удалось")) log << text.substr(0, text.find('\n')) << "\n";
        return MessageAnswer::kOk;
    }
    std::ostringstream log;
};

std::string RunQueue(const std::vector<std::string>& names, QueueMode mode, RunOptions options,
                     CRunSession::Result* result = nullptr) {
    Recorder recorder;
    Display display;
    CRunSession session(display, &recorder);
    session.Queue().Fill(names);
    session.SetOptions(std::move(options));
    const CRunSession::Result r = session.Run(mode, recorder);
    if (result) *result = r;
    return recorder.log.str();
}

TEST(RunSession, SideBySideDeliversWhatOneAtATimeDoesInQueueOrder) {
    std::vector<std::string> names = test::SampleNamesIn("containers");
    for (std::string& name : names) name = test::SamplePath(name);
    names.insert(names.begin() + 3, "/nonexistent/missing.avi");
    RunOptions serial, parallel;
    parallel.workers = 4;
    CRunSession::Result result{};
    const std::string expected = RunQueue(names, QueueMode::kRunAll, serial, &result);
    EXPECT_EQ(result, CRunSession::Result::kSomeNotOpened);
    EXPECT_NE(expected.find("2 asf_wmv2_wma2.wmv"), std::string::npos);
    EXPECT_NE(expected.find("message Не открыть файл!!\n3 not opened\n4 "), std::string::npos);  // the queue goes on
    EXPECT_EQ(RunQueue(names, QueueMode::kRunAll, parallel), expected);
}

TEST(RunSession, StopsAfterTheFirstBrokenFileOnlyWhenAsked) {
    testing::ScratchDir dir;
    test::Bytes avi = test::ReadBytes(test::SamplePath("avi_mpeg4.avi"));
    avi.resize(avi.size() / 2);
    const std::string truncated = (dir / "truncated.avi").string();
    dir.Write("truncated.avi", std::string(avi.begin(), avi.end()));
    const std::vector<std::string> names = {test::SamplePath("wave_pcm.wav"), truncated, test::SamplePath("image.png")};
    const std::string all = RunQueue(names, QueueMode::kRunAll, {});
    const std::string untilBroken = RunQueue(names, QueueMode::kRunUntilBroken, {});
    EXPECT_NE(all.find("2 image.png"), std::string::npos);
    EXPECT_EQ(untilBroken.find("image.png"), std::string::npos);
    EXPECT_NE(untilBroken.find("1 truncated.avi"), std::string::npos);
}

TEST(RunSession, ReportsFollowTheScanAndAFailedExportSwitchesExportOffOnce) {
    testing::ScratchDir dir;
    ExportSettings exportSettings;
    exportSettings.enabled = true;
    exportSettings.mode = 3;
    exportSettings.file = (dir / "all.txt").string();
    exportSettings.formatSrc = 2;
    exportSettings.templateName = "/nonexistent/template.txt";
    int stored = 0;
    RunOptions options;
    options.driver.scanEntireFile = true;
    options.exportSettings = &exportSettings;
    options.exportSwitchedOff = [&stored] { ++stored; };
    const std::string log =
        RunQueue({test::SamplePath("mpeg2_ps.mpg"), test::SamplePath("avi_mpeg4.avi")}, QueueMode::kRunAll, options);
    // The report waits for the scan's final statistics, the export for the report.
    EXPECT_NE(log.find("0 mpeg2_ps.mpg MPEG (.MPG/.MPEG/.VOB) scan ended"), std::string::npos);
    EXPECT_EQ(log.find("scan running"), std::string::npos);
    EXPECT_NE(log.find("message"), std::string::npos);
    EXPECT_NE(log.find("export mpeg2_ps.mpg 0\n1 "), std::string::npos);
    EXPECT_EQ(log.find("export avi_mpeg4.avi"), std::string::npos);  // switched off after the first failure
    EXPECT_FALSE(exportSettings.enabled);
    EXPECT_EQ(stored, 1);
}

// A file that cannot be opened: the run until the first error stops at it; a
// run of everything whose messages wait for an answer shows none on the way
// and sums the failures up at the end; other runs show each and go on.
TEST(RunSession, UnopenableFilesFollowTheMode) {
    const std::string missing = "/nonexistent/missing.avi";
    const std::vector<std::string> names = {missing, test::SamplePath("wave_pcm.wav"), missing};
    RunOptions waiting;
    waiting.messagesWait = true;
    const struct {
        QueueMode mode;
        RunOptions options;
        CRunSession::Result result;
        const char* log;
    } cases[] = {
        {QueueMode::kRunUntilBroken, {}, CRunSession::Result::kSomeNotOpened, "message Не открыть файл!!\n0 not opened\nend\n"},
        {QueueMode::kRunAll, {}, CRunSession::Result::kSomeNotOpened,
         "message Не открыть файл!!\n0 not opened\n1 wave_pcm.wav WAVE(.WAV)\nmessage Не открыть файл!!\n2 not opened\nend\n"},
        {QueueMode::kRunAll, waiting, CRunSession::Result::kSomeNotOpened,
         "0 not opened\n1 wave_pcm.wav WAVE(.WAV)\n2 not opened\nmessage Не открыть файл!!\nНе удалось открыть 2 "
         "файл(ов):\nend\n"},
    };
    for (const auto& c : cases) {
        CRunSession::Result result{};
        EXPECT_EQ(RunQueue(names, c.mode, c.options, &result), c.log) << int(c.mode);
        EXPECT_EQ(result, c.result);
    }
}

// Stopping a run stops the running scan; the file still ends, its report
// keeping what was read with a note that says so, and it is not exported.
TEST(RunSession, StopEndsTheScanAndKeepsWhatWasRead) {
    testing::ScratchDir dir;
    const std::string big = (dir / "big.mpg").string();
    std::filesystem::copy_file(test::SamplePath("mpeg2_ps.mpg"), big);
    std::filesystem::resize_file(big, uint64_t(64) << 30);  // sparse: it scans for a long time
    ExportSettings exportSettings;
    exportSettings.enabled = true;
    exportSettings.mode = 3;
    exportSettings.file = (dir / "all.txt").string();
    Recorder recorder;
    Display display;
    CRunSession session(display, &recorder);
    session.SetEvents(&recorder);
    RunOptions options;
    options.driver.scanEntireFile = true;
    options.exportSettings = &exportSettings;
    session.SetOptions(std::move(options));
    session.Queue().Fill({big});
    ASSERT_TRUE(session.OpenCurrent());
    EXPECT_TRUE(session.Scanning());
    EXPECT_TRUE(session.Poll());
    session.Stop();
    EXPECT_FALSE(session.Poll());
    EXPECT_FALSE(session.FileInHand());
    EXPECT_EQ(recorder.log.str(), "0 big.mpg MPEG (.MPG/.MPEG/.VOB) scan ended\n");
    ASSERT_FALSE(display.Container().Lines().empty());
    EXPECT_TRUE(display.Container().Lines().back().text.starts_with("Просмотр файла прерван: прочитано "));
    EXPECT_FALSE(std::filesystem::exists(dir / "all.txt"));
}

}  // namespace
}  // namespace torvo
