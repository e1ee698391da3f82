// What the readers say about files that stop short: a truncated copy of a
// sample of each format gets a diagnostic, a note and a JSON entry; every
// intact sample gets none.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "ScratchDir.h"
#include "TestUtil.h"
#include "analysis/Driver.h"
#include "analysis/FileReport.h"
#include "analysis/ReportLine.h"

namespace torvo::test {
namespace {

struct Analysed {
    Display display;
    CAnalysisDriver driver{display};
    std::string json;

    explicit Analysed(const std::string& path) {
        DriverOptions options;
        options.useCodecInfo = false;
        driver.SetOptions(options);
        if (driver.AnalyseFile(path)) json = ReportJsonLine(BuildFileReport(path, driver, display));
        driver.StopScan();
    }
    bool NoteSays(std::string_view text) const {
        for (const NoteLine& line : display.Container().Lines())
            if (line.text.find(text) != std::string::npos) return true;
        return false;
    }
};

// A sample and, besides a cut near its half, a cut where a structure begins: before the
// last occurrence of `marker`, less `back` bytes (a size field before a type).
struct Cut {
    const char* sample;
    std::string_view marker;
    size_t back = 0;
};

constexpr Cut kCuts[] = {
    {"mp4_mpeg4_aac.mp4", "moov", 4},
    {"containers/mp4_h264_aac_faststart.mp4", "mdat", 4},
    {"quicktime.mov", "moov", 4},
    {"containers/video_h263.3gp", "moov", 4},
    {"tsmkv/mkv_h264_ac3.mkv", "\x1F\x43\xB6\x75"},  // the last Cluster
    {"tsmkv/webm_vp8_vorbis.webm", "\x1F\x43\xB6\x75"},
    {"ogg_vorbis.ogg", "OggS"},
    {"named/enc_opus.opus", "OggS"},
    {"named/ogg_theora_vorbis.ogg", "OggS"},
    {"flac_audio.flac", "\xFF\xF8"},  // the last frame
    {"named/aiff_pcm16.aif", "SSND"},
    {"named/aifc_alaw.aifc", "SSND"},
    {"named/au_pcm16.au", {}},
    {"named/enc_wavpack.wv", "wvpk"},
    {"named/enc_sox.voc", {}},
    {"named/rifx_pcm16.wav", "data"},
    {"named/rm_rv10_ac3.rm", "DATA"},
    {"flv_h263_mp3.flv", {}},
    {"containers/flv_h264_aac.flv", {}},
    {"asf_wmv2_wma.wmv", std::string_view("\x36\x26\xB2\x75", 4)},  // the Data object
    {"containers/audio_wma2.wma", std::string_view("\x36\x26\xB2\x75", 4)},
    {"ts_mpeg2.ts", {}},
    {"tsmkv/m2ts_h264_ac3.m2ts", {}},
    {"wave_pcm.wav", "data"},
    {"avi_mpeg4.avi", "idx1"},
    {"mpeg2_ps.mpg", {}},
    {"mpeg/vcd_pal.mpg", {}},
    {"mp3_id3v2.mp3", {}},
    {"mp2_id3v2.mp2", {}},
    {"aac_adts.aac", {}},
    {"ac3_stereo.ac3", {}},
    {"dv_pal.dv", {}},
};

TEST(ReadStatus, TruncatedCopiesSayWhereTheyStop) {
    const testing::ScratchDir scratch;
    for (const Cut& c : kCuts) {
        const Bytes whole = ReadBytes(SamplePath(c.sample));
        ASSERT_GT(whole.size(), 64u) << c.sample;
        const std::string_view text(reinterpret_cast<const char*>(whole.data()), whole.size());
        // A little past half: off the packet grid of files made of fixed-size packets.
        std::vector<size_t> lengths = {whole.size() / 2 + 7};
        if (!c.marker.empty()) {
            const size_t at = text.rfind(c.marker);
            ASSERT_NE(at, std::string_view::npos) << c.sample;
            ASSERT_GT(at, c.back) << c.sample;
            lengths.push_back(at - c.back);
        }
        for (const size_t length : lengths) {
            SCOPED_TRACE(std::string(c.sample) + " cut to " + std::to_string(length) + " bytes");
            const std::string path = scratch.Write("cut", text.substr(0, length));
            const Analysed a(path);
            ASSERT_FALSE(a.driver.Records().diagnostics.empty());
            const ReadStatus& first = a.driver.Records().diagnostics.front();
            EXPECT_LE(first.Offset(), length);
            EXPECT_FALSE(first.Reason().empty());
            EXPECT_NE(a.json.find("\"diagnostics\":[{\"code\":\"" + std::string(first.Code()) + "\",\"offset\":" +
                                  std::to_string(first.Offset()) + ","),
                      std::string::npos);
            // The AVI checks name the damage in their own words.
            EXPECT_TRUE(a.NoteSays("Файл усечен") || a.NoteSays("Файл поврежден") || a.NoteSays("Corrupt AVI header"));
        }
    }
}

TEST(ReadStatus, IntactSamplesHaveNoDiagnostics) {
    for (const char* folder : {"", "containers", "mpeg", "named", "riff", "scan", "tsmkv"}) {
        for (const std::string& name : SampleNamesIn(folder)) {
            SCOPED_TRACE(name);
            const Analysed a(SamplePath(name));
            for (const ReadStatus& d : a.driver.Records().diagnostics)
                ADD_FAILURE() << d.Code() << " at " << d.Offset() << ": " << d.Reason();
            if (!a.json.empty()) {
                EXPECT_NE(a.json.find("\"diagnostics\":[]"), std::string::npos);
            }
            EXPECT_FALSE(a.NoteSays("Файл поврежден"));
        }
    }
}

}  // namespace
}  // namespace torvo::test
