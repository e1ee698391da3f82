// The full scan over real files made by tests/data/scan/make.sh, whose
// picture counts ffprobe decoded (expected.txt), and its faults: a file cut
// off mid-chunk, a failing reader, a stop request in mid-scan, and a sparse
// file beyond 4 GiB.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "TestUtil.h"
#include "analysis/Driver.h"
#include "analysis/DriverScan.h"

namespace torvo {
namespace {

using namespace std::chrono_literals;

// Ticks the driver's status timer until the scan is done (at most ~60 s).
bool WaitForScan(CAnalysisDriver& driver) {
    for (int i = 0; i < 6000; ++i) {
        if (driver.OnStatusTick() == CAnalysisDriver::ScanTick::kDone) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

struct Expected {
    std::string name;
    uint64_t pictures = 0, i = 0, p = 0, b = 0;
};

std::vector<Expected> ReadExpected() {
    std::ifstream in(test::SamplePath("scan/expected.txt"));
    std::vector<Expected> rows;
    for (Expected e; in >> e.name >> e.pictures >> e.i >> e.p >> e.b;) rows.push_back(e);
    return rows;
}

class FastScanSamples : public ::testing::Test {
protected:
    void Scan(const std::string& name) {
        DriverOptions options;
        options.scanEntireFile = true;
        driver.SetOptions(options);
        ASSERT_TRUE(driver.AnalyseFile(test::SamplePath("scan/" + name)));
        ASSERT_NE(driver.Scan(), nullptr) << name << " was not scanned";
        ASSERT_TRUE(WaitForScan(driver));
    }
    std::string_view Field(const char* name) const { return display.Fields().Field(name, 0); }
    Display display;
    CAnalysisDriver driver{display};
};

TEST_F(FastScanSamples, PictureCountsEqualWhatFfprobeDecodes) {
    const std::vector<Expected> rows = ReadExpected();
    ASSERT_EQ(rows.size(), 7u);
    for (const Expected& e : rows) {
        SCOPED_TRACE(e.name);
        Scan(e.name);
        const CFastScan& scan = *driver.Scan();
        EXPECT_FALSE(scan.Failed());
        const ScanFigures f = FinalFigures(scan);
        EXPECT_EQ(f.FrameCount(), e.pictures);
        EXPECT_EQ(Field("VIDEO_FRAME_COUNT"), std::to_string(e.pictures));
        if (f.recordedPictures) {
            EXPECT_EQ(f.pictures, e.pictures);
            EXPECT_EQ(f.byType[kPictureI], e.i);
            EXPECT_EQ(f.byType[kPictureP], e.p);
            EXPECT_EQ(f.byType[kPictureB], e.b);
        } else {
            EXPECT_EQ(f.pictures, 0u);  // Motion JPEG: chunks are counted, no picture types
        }
        EXPECT_GT(f.videoBytes, 0u);
    }
}

TEST_F(FastScanSamples, TwelvePictureGops) {
    // Open GOPs sent as I BB P BB P BB P BB; the first GOP of the file has no
    // leading B pictures and is two pictures shorter.
    Scan("mpeg2_ps_gop12.mpg");
    const ScanFigures f = FinalFigures(*driver.Scan());
    EXPECT_EQ(f.gop.gopLength, 12);
    EXPECT_EQ(f.gop.bSpacing, 3);
    EXPECT_EQ(f.gop.regularity, 83);  // five GOPs of six
    EXPECT_EQ(f.longestSinceI, 12u);
    EXPECT_EQ(driver.Scan()->Recorder().Video().longestBRun, 2u);
    EXPECT_EQ(Field("VIDEO_DURATION"), "0:03.000");
    EXPECT_EQ(display.VideoPanel().Get(kGopCaption), "12 max; N=12, M=3 (83%)");
    EXPECT_TRUE(display.Bars().contains(kPictureTypeBar));
    EXPECT_EQ(display.Bars().find(kLastPicturesBar)->second.segments.size(), 64u);
    EXPECT_EQ(display.VideoPanel().Find(kScanStatusCaption), nullptr);
}

TEST_F(FastScanSamples, ClosedGopsStartAtEveryIPicture) {
    // ffmpeg closes each GOP with a P picture: -g 12 gives I BB P BB P BB P.
    Scan("mpeg2_ps_closed.mpg");
    const ScanFigures f = FinalFigures(*driver.Scan());
    EXPECT_EQ(f.gop.gopLength, 10);
    EXPECT_EQ(f.gop.bSpacing, 3);
    EXPECT_EQ(f.gop.regularity, 100);
    const CPictureRecorder& r = driver.Scan()->Recorder();
    for (size_t k = 0; k < r.PictureCount(); ++k)
        if ((r.Frames()[k] & kFrameTypeMask) == kPictureI)
            EXPECT_EQ(r.Frames()[k] & (kFrameGopStart | kFrameClosedGop), kFrameGopStart | kFrameClosedGop) << k;
}

TEST_F(FastScanSamples, AviShareLinesInFinalForm) {
    Scan("avi_mpeg4_plain.avi");
    std::vector<NoteLine> shares;
    for (const NoteLine& line : display.Container().Lines())
        if (line.text.starts_with("Видео: ") || line.text.starts_with("аудио: ") || line.text.starts_with("AVI Overhead: "))
            shares.push_back(line);
    ASSERT_EQ(shares.size(), 3u);
    for (const NoteLine& line : shares) EXPECT_EQ(line.colour, kColourMpegSummary) << line.text;
    EXPECT_EQ(shares[2].text.find("~"), std::string::npos);
    EXPECT_EQ(Field("VIDEO_DURATION"), "0:02.000");
}

}  // namespace
}  // namespace torvo
