// The driver's summaries built from hand-filled records: what a person reads
// in the notes list and the audio panel.
#include <gtest/gtest.h>

#include <cstdlib>

#include "analysis/AudioDescription.h"
#include "analysis/ContainerSummary.h"
#include "analysis/MpegReport.h"

namespace torvo {
namespace {

std::vector<std::string> Texts(const NotesList& notes) {
    std::vector<std::string> out;
    for (const NoteLine& l : notes.Lines()) out.push_back(l.text);
    return out;
}

TEST(LengthCheck, DeclaredAgainstActual) {
    Display d;
    ReportLengthCheck(d, 0, 1000);  // nothing declared: nothing said
    EXPECT_TRUE(d.Container().Lines().empty());
    ReportLengthCheck(d, 1000, 1000);
    ReportLengthCheck(d, 3 * 1024 * 1024, 1000);
    ReportLengthCheck(d, 1000, 1000 + 2048);
    EXPECT_EQ(Texts(d.Container()), (std::vector<std::string>{
                                        "Длина файла верна  ",
                                        "Файл некорректно усечен.   ",
                                        " · Исходн.размер:3.00 MБ (3,072 KБ / 3,145,728 байт )",
                                        "Учти: 2.00 KБ ненужных байтов в конце файла",
                                    }));
    EXPECT_EQ(d.Container().Lines()[0].colour, kColourGood);
    EXPECT_EQ(d.Container().Lines()[2].colour, kColourDamage);
    EXPECT_EQ(d.Container().Lines()[3].colour, kColourWarning);
}

TEST(SystemSummary, BitrateDrmFrameSizeAndTimes) {
    setenv("TZ", "UTC", 1);
    tzset();
    AnalysisRecords r;
    r.container.bitrateKbps = 1150;
    r.container.variableRate = true;
    r.container.secondBitrateKbps = 224;
    r.container.drm = true;
    r.container.declaredWidth = 720;
    r.container.declaredHeight = 576;
    r.video.width = 720;
    r.video.height = 576;
    r.video.displayAspect = 16.0 / 9.0;  // 720 x 576 is 1.25: more than 5 % away
    r.container.creationTime = 1000000000;  // 2001-09-09 01:46:40 UTC
    Display d;
    ReportSystemSummary(d, r);
    EXPECT_EQ(Texts(d.Container()), (std::vector<std::string>{
                                        "Сис.битрейт: 1150 КБ/с VBR",
                                        "Сис.битрейт: 224 КБ/с VBR",
                                        "Учтите: файл имеет защиту DRM.",
                                        "ВНИМАНИЕ! Неверный размер кадра: 720 x 576",
                                        "Cоздан:\t\t 2001 Sep 09   01:46:40",
                                    }));

    // Within 5 %, or when only the pixel aspect ratio is known, the size is recommended.
    AnalysisRecords ok;
    ok.container.declaredWidth = 640;
    ok.container.declaredHeight = 480;
    ok.video.width = 640;
    ok.video.height = 480;
    ok.video.pixelAspect = 1.0;
    Display d2;
    ReportSystemSummary(d2, ok);
    EXPECT_EQ(Texts(d2.Container()), (std::vector<std::string>{"Рекомендован размер кадра 640 x 480"}));
}

TEST(VideoFormat, VopBarRoundsItsSegments) {
    const BarGraph bar = VopBar({1, 2, 0, 0});  // 33.3 % and 100 %
    ASSERT_EQ(bar.segments.size(), 3u);
    EXPECT_EQ(bar.segments[0].to, 33);
    EXPECT_EQ(bar.segments[1].to, 100);
    EXPECT_EQ(bar.segments[1].colour, 0xFFD0D0u);
    EXPECT_EQ(VopBar({1, 1, 0, 1}).segments[0].to, 33);
    EXPECT_EQ(VopBar({5, 1, 1, 1}).segments[0].to, 63);  // 62.5 rounds up
    EXPECT_TRUE(VopBar({0, 5, 5, 0}).segments.empty());
}

TEST(VideoFormat, LampsAndFieldsOfTheFirstKindSeen) {
    AnalysisRecords r;
    r.container.typeId = kTypeMpeg;
    r.container.videoCount = 1;
    r.video.mpeg2Summary.seen = r.video.mpeg2Summary.tff = r.video.mpeg2Summary.pulldown32 = 1;
    Display d;
    EXPECT_EQ(ReportVideoFormat(d, r), VideoFormatCase::kMpeg2);
    EXPECT_EQ(d.LitLamps(), (std::vector<std::string>{"3:2", "MPG2", "PROG", "TFF"}));
    EXPECT_EQ(d.Fields().Field("VIDEO_MPEG2_PROG"), "Prog");
    EXPECT_EQ(d.Fields().Field("VIDEO_MPEG2_I_L"), "");
    EXPECT_EQ(d.Fields().Field("VIDEO_MPEG2_3X2"), "3:2");

    AnalysisRecords m4;
    m4.container.typeId = kTypeAvi;
    m4.container.videoCount = 1;
    m4.video.mpeg4Vol = m4.video.mpeg4BVop = m4.video.h264 = true;
    m4.video.mpeg4VopCounts = {10, 20, 30, 0};
    Display d2;
    EXPECT_EQ(ReportVideoFormat(d2, m4), VideoFormatCase::kMpeg4);
    EXPECT_EQ(d2.Fields().Field("VIDEO_MPEG4"), "MPEG-4");
    EXPECT_EQ(d2.Fields().Field("VIDEO_MPEG4_BVOP"), "B-VOP");
    EXPECT_EQ(d2.Lamp("H264"), LampState::kHidden);  // the MPEG-4 lamps win
    EXPECT_EQ(d2.Bars().count("VOP"), 1u);

    // H.264 is named whenever it was seen, not only beside MPEG-4 Part 2.
    AnalysisRecords h;
    h.container.typeId = kTypeMp4;
    h.container.videoCount = 1;
    h.video.h264 = true;
    Display d3;
    EXPECT_EQ(ReportVideoFormat(d3, h), VideoFormatCase::kH264);
    EXPECT_EQ(d3.Fields().Field("VIDEO_H264"), "H264");
    EXPECT_EQ(d3.Lamp("H264"), LampState::kLit);

    // Nothing for a type that shows no video, or without a video stream.
    h.container.videoCount = 0;
    Display d4;
    EXPECT_EQ(ReportVideoFormat(d4, h), VideoFormatCase::kNone);
    EXPECT_EQ(d4.Fields().Field("VIDEO_H264"), "");
}

class AudioPanel : public ::testing::Test {
protected:
    StreamInfo& AddStream(size_t slot) {
        StreamInfo& s = records.Stream(slot);
        return s;
    }
    AudioFormatNamer namer = [](const std::string& tag) {
        return tag == "0x0055" ? tag + " (mpeglayer3)" : tag + "(не знаю)";
    };
    AnalysisRecords records;
    Display display;
};

TEST_F(AudioPanel, ListTakesRecognisedAndLpcmStreamsInSlotOrder) {
    records.audioList = {7, -1, -1, -1};  // what a container analysis offered
    AddStream(3).audio[kAudioClassAc3].codecClass = kAudioClassAc3;
    AddStream(5);  // unrecognised: not offered
    AddStream(60).substreamId = 0xA0;
    for (size_t slot : {61u, 62u, 63u}) AddStream(slot).audio[kAudioClassMpeg].codecClass = kAudioClassMpeg;
    RefillAudioList(records);
    EXPECT_EQ(records.audioList, (std::array<int, 4>{3, 60, 61, 62}));

    AnalysisRecords riff;
    riff.audioList = {0, 1, -1, -1};
    riff.Stream(1).audio[kAudioClassMpeg].codecClass = kAudioClassMpeg;
    RefillAudioList(riff);
    EXPECT_EQ(riff.audioList, (std::array<int, 4>{1, 1, -1, -1}));  // entry 1 keeps what the walker put there
}

TEST_F(AudioPanel, MpegAudioDescriptionAndName) {
    StreamInfo& s = AddStream(0);
    s.streamId = 0xC0;
    AudioResult& mp3 = s.audio[kAudioClassMpeg];
    mp3 = {};
    mp3.codecClass = kAudioClassMpeg;
    mp3.versionCode = 2;
    mp3.layerCode = 4;
    mp3.sampleRate = 44100;
    mp3.rateMode = 2;
    mp3.bitrateKbps = 187;
    mp3.channels = 2;
    mp3.channelModeText = "Joint Stereo";
    mp3.encoderText = "LAME3.99r";
    mp3.formatTag = 0x55;
    records.audioList[0] = 0;
    DescribeAudioStream(display, records, 0, namer, kStatusUndetermined);
    const Panel& p = display.AudioPanels()[0];
    EXPECT_EQ(p.Get("Инфо"), "0xc0:44100Гц 187 КБ/с общ , Joint Stereo ");
    EXPECT_EQ(p.Get("Кодек"), "0x0055 MPEG-1 Layer 3 LAME3.99r");
    EXPECT_EQ(p.Get("Сост."), "Статус не определен");
    EXPECT_EQ(display.Fields().Field("AUDIO_BITRATE_TYPE"), "VBR");
    EXPECT_EQ(display.Fields().Field("AUDIO_MPEG_STREAM_ID"), "0xc0");
    EXPECT_EQ(display.Fields().Field("AUDIO_CHANNEL_COUNT"), "2");
    EXPECT_EQ(display.Fields().Field("AUDIO_CODEC_STATUS"), "Статус кодека неопределен");
    EXPECT_EQ(display.Lamp("VBR"), LampState::kLit);
    EXPECT_EQ(display.Lamp("CBR"), LampState::kDark);
}

TEST_F(AudioPanel, Ac3WithLfeAndTheSecondStreamKeys) {
    StreamInfo& s = AddStream(52);
    s.streamId = 0xBD;
    s.substreamId = 0x80;
    AudioResult& ac3 = s.audio[kAudioClassAc3];
    ac3.codecClass = kAudioClassAc3;
    ac3.channels = 5;
    ac3.lfe = 1;
    ac3.rateMode = 1;
    ac3.bitrateKbps = 448;
    ac3.sampleRate = 48000;
    ac3.serviceText = "CM";  // the bitstream mode follows the channels
    records.audioList[1] = 52;
    DescribeAudioStream(display, records, 1, namer, kStatusMissing);
    const Panel& p = display.AudioPanels()[1];
    EXPECT_EQ(p.Get("Инфо"), "0xbd[0x80]:48000Гц 448 КБ/с общ (6 [5.1] канал) CM ");
    EXPECT_EQ(p.Get("Кодек"), "AC3");
    EXPECT_EQ(display.Fields().Field("AUDIO_CODEC", 1), "AC3");
    EXPECT_EQ(display.Fields().Field("AUDIO_CHANNEL_COUNT", 1), "6");
    EXPECT_EQ(display.Fields().Field("AUDIO_CODEC", 0), "");
    EXPECT_EQ(display.Fields().Field("AUDIO_CODEC_STATUS", 1), "Кодек(и) НЕ установлен(ы) ");
    EXPECT_EQ(p.Find("Сост.")->background, 0xC0C0FF);
}

TEST_F(AudioPanel, PcmLpcmAndContainerDeclaredStreams) {
    StreamInfo& pcm = AddStream(0);
    pcm.audio[3].codecClass = 3;
    pcm.audio[3].formatTag = 1;
    pcm.audio[3].channels = 1;
    pcm.audio[3].sampleRate = 22050;
    pcm.audio[3].bitrateKbps = 353;
    StreamInfo& lpcm = AddStream(60);
    lpcm.streamId = 0xBD;
    lpcm.substreamId = 0xA0;
    StreamInfo& m4a = AddStream(1);
    m4a.sourceKind = kSourceContainerSound;
    m4a.fourcc = 'm' | 'p' << 8 | '4' << 16 | 'a' << 24;
    m4a.codecName = "MPEG-4 AAC";
    m4a.channels = 2;
    m4a.sampleRate = 48000;
    StreamInfo& tagged = AddStream(2);
    tagged.audio[4].codecClass = 11;
    tagged.audio[4].formatTag = 0x2000;
    records.audioList = {0, 60, 1, 2};
    for (int n = 0; n < 4; ++n) DescribeAudioStream(display, records, n, namer, kStatusNotNeeded);
    EXPECT_EQ(display.AudioPanels()[0].Get("Кодек"), "Звук PCM  WAV");
    EXPECT_EQ(display.AudioPanels()[0].Get("Инфо"), "22050Гц 353 КБ/с (1канал) ");
    EXPECT_EQ(display.AudioPanels()[1].Get("Инфо"), "0xbd[0xa0]: Звук PCM (подробностей нет)");
    EXPECT_EQ(display.AudioPanels()[1].Get("Кодек"), "DVD_LPCM_AUDIO");
    EXPECT_EQ(display.Fields().Field("AUDIO_SAMPLE_RATE", 1), "");  // nothing else is stored for LPCM
    EXPECT_EQ(display.AudioPanels()[2].Get("Кодек"), "mp4a: MPEG-4 AAC");
    EXPECT_EQ(display.AudioPanels()[2].Get("Инфо"), "48000Гц (2 канал) ");
    EXPECT_EQ(display.AudioPanels()[3].Get("Кодек"), "0x2000(не знаю) AVI(поток) ");
    // Index 3 fills no report field.
    EXPECT_EQ(display.Fields().Field("AUDIO_CODEC", 2), "mp4a: MPEG-4 AAC");
}

}  // namespace
}  // namespace torvo
