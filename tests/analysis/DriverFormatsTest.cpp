// The road of one file through each container family, with the shipped
// codec database naming what it finds: what a person sees in the report.
#include <gtest/gtest.h>

#include "NamedDriverFixture.h"
#include "TestUtil.h"
#include "analysis/Driver.h"
#include "codecdb/DatabaseNaming.h"

namespace torvo {
namespace {

class DriverFormats : public test::NamedDriverTest {
protected:
    std::vector<std::string> Notes() const {
        std::vector<std::string> out;
        for (const NoteLine& l : display.Container().Lines()) out.push_back(l.text);
        return out;
    }
};

TEST_F(DriverFormats, Mp4WithH264AndAac) {
    Analyse("containers/mp4_h264_aac.mp4");
    const auto notes = Notes();
    ASSERT_GE(notes.size(), 4u);
    EXPECT_EQ(notes[0], "isom: ISO Base Media (ISO/IEC 14496-12)");
    EXPECT_EQ(notes[1].rfind("- iso2: ", 0), 0u);
    EXPECT_EQ(driver.Container().layout, StreamLayout::kMp4Track);
    EXPECT_EQ(Field("VIDEO_H264"), "H264");
    EXPECT_EQ(display.Lamp("H264"), LampState::kLit);
    EXPECT_EQ(Field("VIDEO_CODEC_TYPE"), "avc1");
    EXPECT_EQ(Field("VIDEO_SIZE_X"), "160");
    EXPECT_EQ(Field("VIDEO_FRAME_COUNT"), "25");
    EXPECT_EQ(Field("AUDIO_SAMPLE_RATE"), "44100");
    EXPECT_EQ(Field("AUDIO_CODEC"), "mp4a: MPEG-4 AAC LC");
    EXPECT_EQ(Field("CONT_AUDIO_STREAM_COUNT"), "1");
    ASSERT_FALSE(display.UserData().Lines().empty());
    EXPECT_EQ(display.UserData().Lines()[0].text, "©too:Lavf59.27.100");
}

TEST_F(DriverFormats, FlvNamesItsCodecAndThePlayerItNeeds) {
    Analyse("containers/flv_h264_aac.flv");
    const auto notes = Notes();
    EXPECT_NE(std::find(notes.begin(), notes.end(), "- нужен флэш-плеер версии 9 и нове"), notes.end());
    EXPECT_EQ(Field("VIDEO_CODEC_TYPE"), "H264");
    EXPECT_EQ(Field("VIDEO_CODEC_NAME"), "H.264/AVC");
    EXPECT_EQ(Field("VIDEO_H264"), "H264");
    EXPECT_EQ(Field("AUDIO_CODEC"), "AAC");
    // FLV states no size for H.264: the cropped picture of the sequence parameters, not its 8 lines of padding.
    EXPECT_EQ(Field("VIDEO_SIZE_X"), "160");
    EXPECT_EQ(Field("VIDEO_SIZE_Y"), "120");

    // Screen video without sound offers no audio stream.
    Analyse("containers/flv_screen.flv");
    EXPECT_EQ(Field("VIDEO_CODEC_TYPE"), "FSV1");
    EXPECT_TRUE(display.AudioPanels().empty() || display.AudioPanels()[0].Empty());
    EXPECT_EQ(Field("CONT_AUDIO_STREAM_COUNT"), "");

    Analyse("containers/flv_sorenson_mp3_22k.flv");
    EXPECT_EQ(Field("VIDEO_CODEC_TYPE"), "FLV1");
    EXPECT_EQ(Field("AUDIO_SAMPLE_RATE"), "22050");  // from the MPEG audio frames
    EXPECT_EQ(Field("AUDIO_CODEC"), "MP3 MPEG-2 Layer 3");  // the FLV format name, then the frames' version and layer
}

TEST_F(DriverFormats, AsfStreamsAndTheDeclaredLength) {
    Analyse("containers/asf_wmv2_wma2.wmv");
    const auto notes = Notes();
    EXPECT_NE(std::find(notes.begin(), notes.end(), "Длина файла верна  "), notes.end());
    EXPECT_EQ(Field("VIDEO_CODEC_TYPE"), "WMV2");
    EXPECT_EQ(Field("VIDEO_SIZE_Y"), "120");
    EXPECT_EQ(Field("AUDIO_CODEC"), "0x0161 (wmaudio2)");
    EXPECT_EQ(Field("AUDIO_SAMPLE_RATE"), "44100");
}

TEST_F(DriverFormats, AviStreamsGetTheElementaryTests) {
    Analyse("avi_mpeg4_mp3.avi");
    EXPECT_EQ(Field("VIDEO_MPEG4"), "MPEG-4");
    EXPECT_EQ(Field("VIDEO_CODEC_TYPE"), "XVID");
    EXPECT_EQ(Field("AUDIO_CODEC"), "0x0055 MPEG-1 Layer 3");
    EXPECT_EQ(Field("AUDIO_BITRATE_TYPE"), "CBR");
    EXPECT_EQ(display.Lamp("MPG4"), LampState::kLit);
    EXPECT_EQ(display.Bars().count("VOP"), 1u);

    Analyse("riff/avi_two_audio.avi");
    EXPECT_EQ(Field("CONT_AUDIO_STREAM_COUNT"), "2");
    EXPECT_FALSE(Field("AUDIO_CODEC", 0).empty());
    EXPECT_FALSE(Field("AUDIO_CODEC", 1).empty());  // every offered stream is described
    EXPECT_EQ(display.AudioPanels().size(), 2u);
}

// The codec step names MPEG video by its version; containers that declare a
// frame size keep it, and H.264 frame cropping shows as the display size.
TEST_F(DriverFormats, VideoNamesAndSizes) {
    struct Case {
        const char* sample;
        const char* type;
        const char* name;
        const char* width;
        const char* height;
        const char* displaySize;  // the "seq ext" box, "" when not shown
    };
    const Case cases[] = {
        {"mpeg/vcd_pal.mpg", "MPEG1", "MPEG-1", "352", "288", ""},
        {"mpeg/mpeg1_video.m1v", "MPEG1", "MPEG-1", "320", "240", ""},
        {"vcd_raw2352.bin", "MPEG1", "MPEG-1", "352", "288", ""},
        {"mpeg2_video.m2v", "MPEG2", "MPEG-2", "160", "120", ""},
        {"containers/mov_mjpeg_pcm.mov", "jpeg", "Apple Photo JPEG", "160", "120", ""},
        {"containers/video_h263.3gp", "s263", "Sorenson H.263 (QuickTime s263)", "176", "144", ""},
        {"containers/mp4_h264_200x150.mp4", "avc1", "H.264/AVC (ISO file tag)", "200", "150", "200 x 150"},
        {"mpeg/h264_1080.264", "H264", "H.264/AVC", "1920", "1088", "1920 x 1080"},
        // 4:4:4 crops in single samples: read with the chroma format, 8 x 10 are cut.
        {"mpeg/h264_444_200x150.264", "H264", "H.264/AVC", "208", "160", "200 x 150"},
        // HEVC: the picture after the conformance window (coded 320 x 192), named by profile and level.
        {"mpeg/hevc_422_10bit_lists.hevc", "HEVC", "HEVC RExt@L2", "320", "180", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample);
        Analyse(c.sample);
        EXPECT_EQ(Field("VIDEO_CODEC_TYPE"), c.type);
        EXPECT_EQ(Field("VIDEO_CODEC_NAME"), c.name);
        EXPECT_EQ(Field("VIDEO_SIZE_X"), c.width);
        EXPECT_EQ(Field("VIDEO_SIZE_Y"), c.height);
        EXPECT_EQ(display.VideoPanel().Get("seq ext"), c.displaySize);
        EXPECT_FALSE(Field("VIDEO_SAR").empty());
    }
    // The movie's size reaches the quality factor and the aspect ratios too.
    Analyse("containers/mov_mjpeg_pcm.mov");
    EXPECT_FALSE(Field("VIDEO_QF").empty());
    EXPECT_EQ(Field("VIDEO_DAR"), "1.333");
    Analyse("containers/mp4_h264_200x150.mp4");
    EXPECT_EQ(Field("VIDEO_H264"), "H264");
    EXPECT_EQ(display.Lamp("H264"), LampState::kLit);
}

TEST_F(DriverFormats, MpegProgramStreamFromAVideoCd) {
    Analyse("mpeg/vcd_pal.mpg");
    const auto notes = Notes();
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes[0], "Системн.поток MPEG-1 << { 1 вид, 1 ауд }");
    EXPECT_EQ(Field("VIDEO_SIZE_X"), "352");
    EXPECT_EQ(Field("VIDEO_SIZE_Y"), "288");
    EXPECT_EQ(Field("AUDIO_MPEG_STREAM_ID"), "0xc0");
    EXPECT_EQ(Field("AUDIO_SAMPLE_RATE"), "44100");
}

}  // namespace
}  // namespace torvo
