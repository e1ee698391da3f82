// The video summary and codec step: rates, sizes, aspect ratios and their
// names, duration, the target-format fields, and the codec's name and status.
#include "analysis/VideoSummary.h"

#include <gtest/gtest.h>

#include <limits>

#include "TestUtil.h"
#include "analysis/AudioDescription.h"
#include "base/FileCache.h"
#include "analysis/Identify.h"
#include "analysis/FrameStatistics.h"
#include "formats/riff/SupAvi.h"

namespace torvo {
namespace {

std::string_view FieldOf(const Display& d, std::string_view name) { return d.Fields().Field(name); }

TEST(RatioName, ExactApproximateAndDirection) {
    bool exact = false;
    EXPECT_EQ(RatioName(1.7777777777777777, &exact), "16:9");
    EXPECT_TRUE(exact);
    EXPECT_EQ(RatioName(1.0940170940170941, &exact), "~11:10");
    EXPECT_FALSE(exact);
    EXPECT_EQ(RatioName(0.75), "3:4");
    EXPECT_EQ(RatioName(1.0), "1:1");
    EXPECT_EQ(RatioName(4.0 / 3.0), "4:3");
    EXPECT_EQ(RatioName(0.9115847), "~10:11");
    EXPECT_EQ(RatioName(2.35), "47:20");
    EXPECT_EQ(RatioName(1.0 / 2.35), "20:47");
    EXPECT_EQ(RatioName(61.5), "");  // nothing within 0.01
    EXPECT_EQ(RatioName(0), "");
}

TEST(VideoSummary, RatesOfProgressiveInterlacedAndPulldownVideo) {
    AnalysisRecords records;
    records.video.usPerFrame = 40000;
    {
        Display d;
        VideoSummary(d, records);
        EXPECT_EQ(FieldOf(d, "VIDEO_FRAMES_PER_SEC"), "25.000");
        EXPECT_EQ(FieldOf(d, "VIDEO_PICS_PER_SEC"), "25.000");
        EXPECT_EQ(FieldOf(d, "VIDEO_FIELDS_PER_SEC"), "");
    }
    records.video.mpeg2Interlaced = true;
    {
        Display d;
        VideoSummary(d, records);
        EXPECT_EQ(FieldOf(d, "VIDEO_FIELDS_PER_SEC"), "50.000");
    }
    records.video.usPerFrame = 33367;
    records.video.mpeg2Pulldown = true;
    {
        Display d;
        VideoSummary(d, records);
        EXPECT_EQ(FieldOf(d, "VIDEO_FRAMES_PER_SEC"), "29.970");
        EXPECT_EQ(FieldOf(d, "VIDEO_FIELDS_PER_SEC"), "59.940");
        EXPECT_EQ(FieldOf(d, "VIDEO_PICS_PER_SEC"), "23.976");
        EXPECT_EQ(d.VideoPanel().Get("полей/сек"), "59.940");
    }
}

TEST(VideoSummary, SizesAspectsAndTheAlternativeRecords) {
    AnalysisRecords records;
    VideoInfo& v = records.video;
    // Only the AVI main header knows the picture.
    PictureRecord& avih = v.altPictures[kPictureAviHeader];
    avih.width = 720;
    avih.height = 576;
    avih.usPerFrame = 40000;
    avih.frameCount = 250;
    v.pixelAspect = 1.0667;
    v.bitrateKbps = 4000;
    Display d;
    VideoSummary(d, records);
    EXPECT_EQ(FieldOf(d, "VIDEO_SIZE_X"), "720");
    EXPECT_EQ(FieldOf(d, "VIDEO_SIZE_Y"), "576");
    EXPECT_EQ(d.VideoPanel().Get("Кадр (ш x в)"), "720 x 576");
    EXPECT_EQ(FieldOf(d, "VIDEO_SAR"), "1.250");
    EXPECT_EQ(FieldOf(d, "VIDEO_PAR"), "1.067");
    EXPECT_EQ(FieldOf(d, "VIDEO_DAR"), "1.333");  // 1.0667 x 1.25
    EXPECT_EQ(d.VideoPanel().Get("sar"), "1.250 (5:4)");
    EXPECT_EQ(d.VideoPanel().Get("dar"), "1.333 (~4:3)");
    EXPECT_EQ(FieldOf(d, "VIDEO_FRAME_COUNT"), "250");
    EXPECT_EQ(FieldOf(d, "VIDEO_BITRATE"), "4000");
    EXPECT_EQ(FieldOf(d, "VIDEO_QF"), "0.386");  // 4000000 / 414720 / 25
    EXPECT_EQ(FieldOf(d, "VIDEO_DURATION"), "");  // no duration in any record

    // Sizes beyond 65535 are unknown; a declared frame size gives the DAR.
    AnalysisRecords huge;
    huge.video.width = 70000;
    huge.video.height = 100;
    huge.container.declaredWidth = 16;
    huge.container.declaredHeight = 9;
    Display h;
    VideoSummary(h, huge);
    EXPECT_EQ(FieldOf(h, "VIDEO_SIZE_X"), "");
    EXPECT_EQ(FieldOf(h, "VIDEO_DAR"), "1.778");
}

TEST(VideoSummary, DurationFramesAndEstimatedBitrate) {
    AnalysisRecords records;
    records.video.usPerFrame = 40000;
    records.video.durationMs = 59 * 1000 + 40;
    Display d;
    VideoSummary(d, records);
    EXPECT_EQ(FieldOf(d, "VIDEO_DURATION"), "0:59.040");
    EXPECT_EQ(d.VideoPanel().Get("Время"), "0:59.040");
    EXPECT_EQ(FieldOf(d, "VIDEO_FRAME_COUNT"), "1476");  // from the duration
    EXPECT_EQ(d.VideoPanel().Get("Кадров"), "1,476");
    // The longest playing time a container holds: its frame count is not wrapped.
    records.video.durationMs = std::numeric_limits<int64_t>::max();
    Display longest;
    VideoSummary(longest, records);
    EXPECT_EQ(FieldOf(longest, "VIDEO_FRAME_COUNT"), "230584300921369395");
    EXPECT_EQ(DurationText(std::numeric_limits<int64_t>::max()), "2562047788015:12:56");

    EXPECT_EQ(DurationText(90 * 60 * 1000 + 499), "1:30:00");
    EXPECT_EQ(DurationText(90 * 60 * 1000 + 500), "1:30:01");
    EXPECT_EQ(DurationText(3599999), "59:59.999");

    // 10 s of a 10,000,000-byte file with 128 kbit/s audio: the rest is video.
    AnalysisRecords est;
    est.container.fileSize = 10000000;
    est.audioList[0] = 0;
    est.Stream(0).audio[kAudioClassAvi].bitrateKbps = 128;
    EXPECT_EQ(EstimateVideoBitrate(est, 10000), 7872);  // (10,000,000 - 160,000) x 8 / 10 s
    est.container.bitrateKbps = 1128;                   // a multiplex rate wins
    EXPECT_EQ(EstimateVideoBitrate(est, 10000), 1000);
    est.container.bitrateKbps = 0;
    EXPECT_EQ(EstimateVideoBitrate(est, 0), 0);
    est.Stream(0).audio[kAudioClassAvi].bitrateKbps = 0;  // no audio: nothing to weigh the time against
    EXPECT_EQ(EstimateVideoBitrate(est, std::numeric_limits<int64_t>::max()), 0);
    est.Stream(0).audio[kAudioClassAvi].bitrateKbps = 128;
    est.container.fileSize = 1000;  // less than the audio alone
    EXPECT_EQ(EstimateVideoBitrate(est, 10000), 0);
}

TEST(VideoSummary, PalSourceTargetFields) {
    // The walker reads the AVI headers of a 720 x 576 PAL file; the display
    // aspect 4:3 is what the MPEG-4 probe reads from its VOL (ffprobe: DAR 4:3).
    const test::Bytes bytes = test::ReadBytes(test::SamplePath("riff/avi_pal_720x576.avi"));
    test::MemFile file(bytes);
    CFileCache reader;
    ASSERT_TRUE(reader.Open(file.Path()));
    AnalysisRecords records;
    records.container.typeId = kTypeAvi;
    CSupAvi().WalkRiff(reader, records);
    records.video.pixelAspect = 0;
    records.video.displayAspect = 4.0 / 3.0;
    Display d;
    VideoSummary(d, records);
    EXPECT_EQ(FieldOf(d, "VIDEO_FRAME_COUNT"), "2");
    EXPECT_EQ(FieldOf(d, "VIDEO_DURATION"), "0:00.080");
    EXPECT_EQ(FieldOf(d, "VIDEO_ASPECT_CONVERT_VCD1"), "Resize to 360 x 288  ( w:[1/2]  h:[1/2] )");
    EXPECT_EQ(FieldOf(d, "VIDEO_ASPECT_CONVERT_VCD2"), "Trim 4 from each side for 352 x 288");
    EXPECT_EQ(FieldOf(d, "VIDEO_ASPECT_CONVERT_DVD1"), "No resize req'd");
    EXPECT_EQ(FieldOf(d, "VIDEO_ASPECT_CONVERT_AVI1"), "Resize to 787 x 576 (Use +/- for other target sizes)");
    EXPECT_EQ(FieldOf(d, "VIDEO_ASPECT_SOURCE_MATCH"), "DVD");
    EXPECT_EQ(FieldOf(d, "VIDEO_ASPECT_TYPE_PAL"), "PAL");
    EXPECT_EQ(FieldOf(d, "VIDEO_ASPECT_TYPE_NTSC"), "");
    EXPECT_EQ(d.VideoPanel().Get("Преобразов."), "Нет, уже в формате DVD  ");
    EXPECT_EQ(d.Lamp("PAL"), LampState::kLit);
    EXPECT_EQ(d.Lamp("NTSC"), LampState::kDark);
    EXPECT_EQ(d.Lamp("4:3"), LampState::kLit);

    // As written by ffmpeg (square pixels assumed) the file matches no
    // standard format, and a film-rate source none either: no lines at all.
    records.video.pixelAspect = 1.0;
    records.video.displayAspect = 0;
    Display square;
    VideoSummary(square, records);
    EXPECT_EQ(FieldOf(square, "VIDEO_ASPECT_CONVERT_VCD1"), "");
    records.video.displayAspect = 4.0 / 3.0;
    records.video.usPerFrame = 41708;
    Display film;
    VideoSummary(film, records);
    EXPECT_EQ(FieldOf(film, "VIDEO_ASPECT_CONVERT_VCD1"), "");
    EXPECT_EQ(film.Lamp("PAL"), LampState::kHidden);
}

TEST(VideoSummary, FlashCompatibilityNotes) {
    AnalysisRecords records;
    records.container.typeId = kTypeFlv;
    records.video.flvCodecId = 4;
    Display d;
    VideoSummary(d, records);
    ASSERT_EQ(d.Container().Lines().size(), 2u);
    EXPECT_EQ(d.Container().Lines()[0].text, "Вопрос  совместимости:");
    EXPECT_EQ(d.Container().Lines()[0].colour, kColourWarning);
    EXPECT_EQ(d.Container().Lines()[1].text, "- нужен флэш-плеер версии 8 и нове");
    records.video.flvCodecId = 9;
    Display unknown;
    VideoSummary(unknown, records);
    EXPECT_EQ(unknown.Container().Lines()[1].text, "Не знаю формат флэш FLV ");
}

uint32_t Fourcc(const char* t) {
    return uint32_t(uint8_t(t[0])) | uint32_t(uint8_t(t[1])) << 8 | uint32_t(uint8_t(t[2])) << 16 |
           uint32_t(uint8_t(t[3])) << 24;
}

TEST(VideoCodecStep, NamesFromTheDatabaseByHandlerThenCompression) {
    std::vector<std::string> asked;
    VideoCodecLookup lookup;
    lookup.byFourcc = [&](std::string_view fourcc) -> std::optional<VideoCodecEntry> {
        asked.emplace_back(fourcc);
        if (fourcc == "XVID") return VideoCodecEntry{"XviD MPEG-4", ""};
        if (fourcc == "DIV4") return VideoCodecEntry{"DivX 3 fast motion", ""};
        if (fourcc == "DIV3") return VideoCodecEntry{"DivX 3 low motion", ""};
        if (fourcc == "MJPG") return VideoCodecEntry{"Motion JPEG", "*"};
        return std::nullopt;
    };
    AnalysisRecords records;
    records.container.typeId = kTypeAvi;
    records.video.handler = Fourcc("xvid");
    records.video.fourcc = Fourcc("XVID");
    VideoCodecFacts f = IdentifyVideoCodec(records, lookup, true, 0);
    EXPECT_EQ(f.type, "XVID");
    EXPECT_EQ(f.name, "XviD MPEG-4");
    EXPECT_EQ(f.status, kStatusUndetermined);
    EXPECT_EQ(asked, (std::vector<std::string>{"xvid", "XVID"}));

    records.video.handler = Fourcc("DIV3");
    records.video.fourcc = Fourcc("DIV4");
    f = IdentifyVideoCodec(records, lookup, false, 0);
    EXPECT_EQ(f.type, "DIV3");
    EXPECT_EQ(f.name, "DivX 3 fast motion");
    EXPECT_EQ(f.status, kStatusDisabled);

    records.video.handler = Fourcc("mjpg");
    records.video.fourcc = Fourcc("MJPG");
    EXPECT_EQ(IdentifyVideoCodec(records, lookup, true, 0).status, kStatusNotNeeded);

    // FFDS compression with the FFV1 handler is FFV1.
    records.video.handler = Fourcc("FFV1");
    records.video.fourcc = Fourcc("FFDS");
    asked.clear();
    EXPECT_EQ(IdentifyVideoCodec(records, lookup, true, 0).type, "FFV1");
    EXPECT_EQ(asked, (std::vector<std::string>{"FFV1", "FFV1"}));

    // User data names the codec before the FourCC does.
    lookup.byUserData = [](const std::vector<std::string>& lines) -> std::optional<std::string> {
        for (const std::string& l : lines)
            if (l.find("DivX5") != std::string::npos) return "DivX 5";
        return std::nullopt;
    };
    records.video.handler = Fourcc("xvid");
    records.video.fourcc = Fourcc("XVID");
    records.container.userDataLines = {"DivX503b1393p"};
    EXPECT_EQ(IdentifyVideoCodec(records, lookup, true, 0).name, "DivX 5");
}

TEST(VideoCodecStep, FixedTypesAndUncompressedVideo) {
    AnalysisRecords records;
    records.container.typeId = kTypeAvi;
    records.video.handler = 0;
    records.video.fourcc = 0;
    EXPECT_EQ(IdentifyVideoCodec(records, {}, true, 0).type, "(RGB)");
    records.video.handler = Fourcc("DIB ");
    EXPECT_EQ(IdentifyVideoCodec(records, {}, true, 0).type, "DIB (RGB)");

    records.container.typeId = kTypeDvSmpte314M;
    VideoCodecFacts f = IdentifyVideoCodec(records, {}, true, 0);
    EXPECT_EQ(f.type, "DV/DVC");
    EXPECT_EQ(f.name, "DV (SMPTE 314M)");

    records.container.typeId = kTypeMpeg;
    f = IdentifyVideoCodec(records, {}, true, 3);
    EXPECT_EQ(f.type, "MPEG2");
    EXPECT_EQ(f.name, "MPEG-2");
    EXPECT_EQ(IdentifyVideoCodec(records, {}, true, 6).name, "H.264/AVC");

    records.container.typeId = kTypeFlv;
    records.video.flvCodecId = 5;
    f = IdentifyVideoCodec(records, {}, true, 0);
    EXPECT_EQ(f.type, "FLV4/VP62");
    EXPECT_EQ(f.name, "Флэш/VP6 с прозр.");

    Display d;
    VideoCodecStep(d, records, {}, true, 0);
    EXPECT_EQ(FieldOf(d, "VIDEO_CODEC_TYPE"), "FLV4/VP62");
    EXPECT_EQ(FieldOf(d, "VIDEO_CODEC_STATUS"), "Статус кодека неопределен");
    EXPECT_EQ(d.VideoPanel().Find("Сост.")->background, 0xC0FFFF);
}

}  // namespace
}  // namespace torvo
