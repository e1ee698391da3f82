// What a person sees for each real sample: its type, its description and the
// notes lines identification adds.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "analysis/Driver.h"

namespace torvo {
namespace {

struct Expected {
    const char* file;
    int32_t typeId;
    const char* description;  // CONT_BASETYPE
    const char* mime;         // nullptr where no type lines are shown
};

// Files without a signature are recognised by their content.
const Expected kSamples[] = {
    {"avi_mpeg4.avi", 2, "AVI(.AVI)", nullptr},
    {"avi_mpeg4_mp3.avi", 2, "AVI(.AVI)", nullptr},
    {"wave_pcm.wav", 3, "WAVE(.WAV)", "audio/wav"},
    {"mpeg2_ps.mpg", 18, "MPEG (.MPG/.MPEG/.VOB)", nullptr},
    {"mpeg2_video.m2v", 18, "MPEG (.MPG/.MPEG/.VOB)", nullptr},
    {"mp2_id3v2.mp2", 8, "MPEG1/MPEG2 (.MP2/.MPA)", "audio/mpeg"},
    {"ts_mpeg2.ts", 86, "Транспортн.поток MPEG-2", "video/mp2t"},
    {"mp4_mpeg4_aac.mp4", 47, "Неопределенный файл MP4     ", nullptr},
    {"quicktime.mov", 14, "QuickTime (.MOV)", "video/quicktime"},
    {"flv_h263_mp3.flv", 52, "Видео флэш  (.FLV)", "video/x-flv"},
    {"asf_wmv2_wma.wmv", 7, "ASF (.WMA/.WMV)", "video/x-ms-asf"},
    {"ogg_vorbis.ogg", 28, "Ogg Media", "application/x-ogg"},
    {"flac_audio.flac", 62, "FLAC [звук без потерь](.FLAC)", "audio/x-flac"},
    {"image.png", 36, "PNG image (.PNG)", "image/png"},
    {"image.gif", 37, "GIF image (.GIF)", "image/gif"},
    {"image.jpg", 38, "JPEG image (.JPG/JPEG/JPE)", "image/jpeg"},
    {"archive.zip", 24, "Архив ZIP(.ZIP)", "application/zip"},
    {"archive.gz", 56, "UNIX GZIP compressed (.GZ)", "application/x-gzip"},
    {"document.pdf", 55, "Adobe PDF v1.4 (.PDF)", "application/pdf"},
    {"vcd_iso9660.iso", 18, "MPEG (.MPG/.MPEG/.VOB)", nullptr},
    {"vcd_raw2352.bin", 18, "MPEG (.MPG/.MPEG/.VOB)", nullptr},
    {"mp3_id3v2.mp3", 18, "MPEG (.MPG/.MPEG/.VOB)", nullptr},
    {"ac3_stereo.ac3", 10, "Элементный звук AC3 ", "audio/x-ac3"},
    {"aac_adts.aac", 12, "Элементный звук AAC,  ADTS hdrs", "audio/mpeg"},
    {"dv_pal.dv", 53, "Raw DV - IEC 61834 (.DV)", "video/DV"},
};

std::vector<std::string> NoteTexts(const Display& d) {
    std::vector<std::string> texts;
    for (const NoteLine& line : d.Container().Lines()) texts.push_back(line.text);
    return texts;
}

TEST(Samples, EachFamilyGetsItsRow) {
    for (const Expected& e : kSamples) {
        SCOPED_TRACE(e.file);
        Display display;
        CAnalysisDriver driver(display);
        ASSERT_TRUE(driver.AnalyseFile(test::SamplePath(e.file)));
        EXPECT_EQ(driver.Container().typeId, e.typeId);
        EXPECT_EQ(display.Fields().Field("CONT_BASETYPE"), e.description);
        EXPECT_EQ(display.Fields().Field("FILE_NAME"), e.file);
        const auto notes = NoteTexts(display);
        const std::string typeLine = std::string("Тип файла: ") + e.description;
        const bool shown = std::find(notes.begin(), notes.end(), typeLine) != notes.end();
        EXPECT_EQ(shown, e.mime != nullptr);
        if (e.mime) {
            EXPECT_NE(std::find(notes.begin(), notes.end(), std::string("Тип MIME:  ") + e.mime), notes.end());
        }
    }
}

TEST(Samples, TransportStreamHasItsLayout) {
    Display display;
    CAnalysisDriver driver(display);
    ASSERT_TRUE(driver.AnalyseFile(test::SamplePath("ts_mpeg2.ts")));
    EXPECT_EQ(driver.Container().layout, StreamLayout::kTransportStream);
    // Nothing else carries fourteen in-order continuity counters. The
    // transport stream's own tables count its streams; the MPEG content
    // analysis (which would count program-stream packets) does not run.
    EXPECT_EQ(driver.Container().videoCount, 1);
    EXPECT_EQ(driver.Container().audioCount, 1);
    EXPECT_EQ(driver.Container().muxRateKbps, 0);
    for (const Expected& e : kSamples) {
        if (e.typeId == kTypeTransportStream) continue;
        ASSERT_TRUE(driver.AnalyseFile(test::SamplePath(e.file)));
        EXPECT_NE(driver.Container().layout, StreamLayout::kTransportStream) << e.file;
    }
}

TEST(Samples, Mp3IsReadFromBehindItsTag) {
    CFileCache r;
    ASSERT_TRUE(r.Open(test::SamplePath("mp3_id3v2.mp3")));
    FileIdentity identity;
    IdentifyBySignature(r, identity);
    EXPECT_GT(r.BaseOffset(), 10u);
    // The first MPEG audio frame header follows the tag directly.
    EXPECT_EQ(r.U8At(0), 0xFF);
    EXPECT_EQ(r.U8At(1) & 0xE0, 0xE0);
}

TEST(Samples, DiscImagesShowTheirSectorSize) {
    for (const auto& [file, line] : {std::pair{"vcd_iso9660.iso", "Файл-образ CD, sec size = 2048"},
                                     {"vcd_raw2352.bin", "Файл-образ CD, sec size = 2352"}}) {
        Display display;
        CAnalysisDriver driver(display);
        ASSERT_TRUE(driver.AnalyseFile(test::SamplePath(file)));
        const auto notes = NoteTexts(display);
        ASSERT_GE(notes.size(), 2u);
        EXPECT_EQ(notes[0], line);
        // The MPEG summary says where the data came from: the track is a VCD system stream.
        EXPECT_EQ(notes[1], "ISO << Системн.поток MPEG-1 << { 1 вид, 1 ауд }");
        EXPECT_EQ(display.Container().Lines()[1].colour, kColourMpegSummary);
        EXPECT_TRUE(driver.Container().cdImage);
    }
}

TEST(Samples, EmptyFileSkipsIdentification) {
    Display display;
    CAnalysisDriver driver(display);
    ASSERT_TRUE(driver.AnalyseFile(test::SamplePath("empty.bin")));
    EXPECT_EQ(driver.Container().typeId, kTypeEmpty);
    EXPECT_EQ(display.Fields().Field("CONT_BASETYPE"), "");
    EXPECT_EQ(display.Fields().Field("FILE_SIZE"), "0");
    EXPECT_EQ(NoteTexts(display), (std::vector<std::string>{"Файл пуст. Его размер - ноль байт.      ",
                                                            "It is blank, barren and bare - vacant, vacuous, and void.",
                                                            "It is a degenerate case."}));
}

// The sequence display extension's matrix coefficients light their lamp;
// MPEG video without them shows the five lamps dark, other video hides them.
TEST(Samples, MatrixCoefficientLampsOfMpegVideo) {
    struct Case {
        const char* file;
        LampState i709, fcc;
    };
    for (const Case& c : {Case{"mpeg/mpeg2_bt709.m2v", LampState::kLit, LampState::kDark},
                          Case{"mpeg/mpeg2_interlaced.m2v", LampState::kDark, LampState::kDark},
                          Case{"mpeg/mpeg1_video.m1v", LampState::kDark, LampState::kDark},
                          Case{"mpeg/h264_320x240.264", LampState::kHidden, LampState::kHidden}}) {
        Display display;
        CAnalysisDriver driver(display);
        ASSERT_TRUE(driver.AnalyseFile(test::SamplePath(c.file))) << c.file;
        EXPECT_EQ(display.Lamp("I709"), c.i709) << c.file;
        EXPECT_EQ(display.Lamp("FCC"), c.fcc) << c.file;
        for (const char* other : {"I470", "S170", "S240"}) EXPECT_NE(display.Lamp(other), LampState::kLit) << c.file;
    }
}

TEST(Samples, EveryFieldIsEmptyAgainForTheNextFile) {
    Display display;
    CAnalysisDriver driver(display);
    ASSERT_TRUE(driver.AnalyseFile(test::SamplePath("wave_pcm.wav")));
    ASSERT_FALSE(display.Fields().Field("CONT_BASETYPE").empty());
    EXPECT_FALSE(driver.AnalyseFile("/nonexistent/file.avi"));
    EXPECT_EQ(driver.LastMessage().caption, "Не открыть файл!!");
    EXPECT_EQ(driver.LastMessage().text,
              "НеМогу открыть файл /nonexistent/file.avi:\n\nNo such file or directory");
    for (size_t i = 0; i < CExport::kKeyCount; ++i) EXPECT_EQ(display.Fields().Value(i), "") << i;
    EXPECT_TRUE(display.Container().Lines().empty());
}

// A content analyser stands in for the MPEG analysis: it is asked only about
// files that neither a signature nor the transport stream test recognised.
class RecordingAnalyser : public ContentAnalyser {
public:
    ReadStatus Analyse(CFileCache&, FileIdentity& identity, AnalysisRecords&) override {
        ++calls;
        identity.layout = StreamLayout::kAudioElementary;
        return ReadStatus::Ok();
    }
    int calls = 0;
};

TEST(Samples, ContentAnalysisRunsOnlyForUnrecognisedFiles) {
    Display display;
    CAnalysisDriver driver(display);
    RecordingAnalyser analyser;
    driver.SetContentAnalyser(&analyser);
    ASSERT_TRUE(driver.AnalyseFile(test::SamplePath("ac3_stereo.ac3")));
    EXPECT_EQ(analyser.calls, 1);
    EXPECT_EQ(driver.Container().typeId, kTypeMpeg);  // settled from the layout
    ASSERT_TRUE(driver.AnalyseFile(test::SamplePath("ts_mpeg2.ts")));
    ASSERT_TRUE(driver.AnalyseFile(test::SamplePath("image.png")));
    EXPECT_EQ(analyser.calls, 1);
}

}  // namespace
}  // namespace torvo
