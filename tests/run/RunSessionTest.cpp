// The run of a queue over real samples: order, modes, the scan wait and the
// failed export, whichever way the files are analysed.
#include <gtest/gtest.h>

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
    void QueueFinished() override { log << "end\n"; }
    MessageAnswer Show(std::string_view caption, std::string_view, MessageIcon, MessageButtons) override {
        log << "message " << caption << "\n";
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
    EXPECT_NE(expected.find("message Не открыть файл!!\n4 "), std::string::npos);  // the queue goes on
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

}  // namespace
}  // namespace torvo
