// Playing times and the facts real files showed missing: each file's
// duration against what ffprobe states for the same file, and the sound,
// frame rate and tags of the formats that used to leave them out.
#include <gtest/gtest.h>

#include <cstdlib>

#include "NamedDriverFixture.h"
#include "TestUtil.h"
#include "analysis/Driver.h"
#include "analysis/PlayingTime.h"
#include "codecdb/DatabaseNaming.h"
#include "formats/mpeg/AudioDuration.h"
#include "formats/containers/Id3Tags.h"

namespace torvo {
namespace {

// "m:ss.mmm" or "h:mm:ss" back to milliseconds; -1 when empty.
int64_t Milliseconds(std::string_view text) {
    if (text.empty()) return -1;
    int64_t total = 0, part = 0, fraction = 0, digits = 0;
    bool inFraction = false;
    for (const char c : text) {
        if (c == ':') {
            total = total * 60 + part;
            part = 0;
        } else if (c == '.') {
            inFraction = true;
        } else if (inFraction) {
            if (digits++ < 3) fraction = fraction * 10 + (c - '0');
        } else {
            part = part * 10 + (c - '0');
        }
    }
    return (total * 60 + part) * 1000 + fraction;
}

class PlayingTime : public test::NamedDriverTest {
protected:
    bool HasTag(const std::string& line) const {
        for (const NoteLine& l : display.UserData().Lines())
            if (l.text == line) return true;
        return false;
    }
};

TEST_F(PlayingTime, FileDurationsAgreeWithFfprobe) {
    struct Case {
        const char* sample;
        int64_t ffprobeMs;   // the file's duration as ffprobe states it
        bool audioDuration;  // the first audio stream states its own time too
    };
    const Case cases[] = {
        {"wave_pcm.wav", 500, true},
        {"mp3_id3v2.mp3", 1045, true},                  // Xing frame count
        {"mpeg/mp3_cbr128.mp3", 1045, true},            // frames walked
        {"mpeg/mp3_vbr_lame.mp3", 2038, true},
        {"mp2_id3v2.mp2", 1019, true},                  // identified by its signature
        {"mpeg/mp2_48000.mp2", 1008, true},
        {"ac3_stereo.ac3", 1010, true},
        {"mpeg/ac3_51.ac3", 512, true},
        {"aac_adts.aac", 1045, true},
        {"mpeg/dts_51.dts", 310, true},
        {"mpeg/dv_ntsc.dv", 33, false},
        {"dv_pal.dv", 80, false},
        {"containers/mp4_h264_aac.mp4", 1000, true},
        {"containers/audio_aac.m4a", 1000, true},
        {"containers/mov_mjpeg_pcm.mov", 520, true},
        {"containers/asf_wmv2_wma2.wmv", 1092, true},   // play duration less the preroll
        {"containers/flv_h264_aac.flv", 1080, false},
        {"flv_h263_mp3.flv", 1050, false},
        {"tsmkv/mkv_h264_ac3.mkv", 1024, false},
        {"tsmkv/webm_vp9_opus.webm", 1008, false},
        {"ts_mpeg2.ts", 1011, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample);
        Analyse(c.sample);
        const int64_t ms = Milliseconds(Field("CONT_DURATION"));
        const int64_t tolerance = std::max<int64_t>(50, c.ffprobeMs / 100);
        EXPECT_LE(std::llabs(ms - c.ffprobeMs), tolerance) << Field("CONT_DURATION");
        EXPECT_EQ(display.FilePanel().Get("Время"), Field("CONT_DURATION"));
        if (c.audioDuration) {
            EXPECT_LE(std::llabs(Milliseconds(Field("AUDIO_DURATION")) - c.ffprobeMs), tolerance);
            ASSERT_FALSE(display.AudioPanels().empty());
            EXPECT_EQ(display.AudioPanels()[0].Get("Время"), Field("AUDIO_DURATION"));
        }
    }

    // A file whose sound outlasts its picture lasts as long as the sound.
    AnalysisRecords records;
    records.container.videoCount = 1;
    records.video.durationMs = 2000;
    records.Stream(3).durationMs = 3000;
    EXPECT_EQ(FilePlayingTime(records), 3000);
    records.container.durationMs = 2500;  // what the container states comes first
    EXPECT_EQ(FilePlayingTime(records), 2500);
}

TEST_F(PlayingTime, SoundAndFrameRatesFormerlyMissing) {
    // An MPEG audio file with the type 8 signature is analysed as audio.
    Analyse("mp2_id3v2.mp2");
    EXPECT_EQ(driver.Container().typeId, kTypeMpegAudio);
    EXPECT_EQ(Field("AUDIO_SAMPLE_RATE"), "44100");
    EXPECT_EQ(Field("AUDIO_CHANNEL_COUNT"), "1");
    EXPECT_EQ(Field("AUDIO_BITRATE"), "64");
    EXPECT_TRUE(HasTag("Title:Torvo sample"));
    EXPECT_TRUE(HasTag("Artist:Torvo"));

    // Raw DV: the frame rate of its system and the sound of its AAUX packs.
    Analyse("mpeg/dv_ntsc.dv");
    EXPECT_EQ(Field("VIDEO_FRAMES_PER_SEC"), "29.970");
    EXPECT_EQ(Field("VIDEO_FRAME_COUNT"), "1");
    Analyse("dv_pal.dv");
    EXPECT_EQ(Field("VIDEO_FRAMES_PER_SEC"), "25.000");
    EXPECT_EQ(Field("VIDEO_FRAME_COUNT"), "2");
    EXPECT_EQ(Field("CONT_AUDIO_STREAM_COUNT"), "");  // made without sound
    Analyse("mpeg/dv_pal_sound.dv");
    EXPECT_EQ(Field("CONT_AUDIO_STREAM_COUNT"), "1");
    EXPECT_EQ(Field("AUDIO_SAMPLE_RATE"), "48000");
    EXPECT_EQ(Field("AUDIO_CHANNEL_COUNT"), "2");
    EXPECT_EQ(Field("AUDIO_DURATION"), "0:00.080");

    // LPCM in a DVD program stream: rate and channels from its header.
    Analyse("mpeg/dvd_ntsc_lpcm.vob");
    EXPECT_EQ(Field("AUDIO_SAMPLE_RATE"), "48000");
    EXPECT_EQ(Field("AUDIO_CHANNEL_COUNT"), "2");

    // ASF: the frame rate from the extended stream properties.
    Analyse("containers/asf_wmv2_wma2.wmv");
    EXPECT_EQ(Field("VIDEO_FRAMES_PER_SEC"), "25.000");
}

TEST(Id3Tags, VersionTwoTextsInEachEncodingThenVersionOne) {
    auto frame = [](const std::string& id, const std::string& body) {
        const auto n = static_cast<uint32_t>(body.size());
        return id + std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n), 0, 0} + body;
    };
    // ID3v2.3: Latin-1 title, UTF-16 artist with a byte order mark, a comment
    // with language and description, and a compressed frame that is passed over.
    std::string frames = frame("TIT2", std::string("\0Caf\xE9", 5)) +
                         frame("TPE1", std::string("\x01\xFF\xFEH\0i\0", 7)) +
                         frame("COMM", std::string("\0engdesc\0Nice", 13));
    std::string compressed = frame("TALB", "\0Hidden");
    compressed[9] = char(0x80);
    frames += compressed;
    const auto size = static_cast<uint32_t>(frames.size());
    const std::string tag = std::string("ID3\3\0\0", 6) +
                            std::string{char(size >> 21 & 0x7F), char(size >> 14 & 0x7F), char(size >> 7 & 0x7F),
                                        char(size & 0x7F)} +
                            frames;
    std::vector<MetadataItem> items;
    EXPECT_EQ(ReadId3v2(ByteView(reinterpret_cast<const uint8_t*>(tag.data()), tag.size()), items), 3u);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].name + "=" + items[0].text, "Title=Caf\xC3\xA9");
    EXPECT_EQ(items[1].name + "=" + items[1].text, "Artist=Hi");
    EXPECT_EQ(items[2].name + "=" + items[2].text, "Comment=Nice");

    // ID3v1 adds only what version 2 left out; blanks and NULs end its fields.
    std::string v1 = "TAG" + std::string(125, '\0');
    v1.replace(3, 5, "Other");
    v1.replace(63, 8, "Album   ");
    v1.replace(93, 4, "1999");
    EXPECT_EQ(ReadId3v1(ByteView(reinterpret_cast<const uint8_t*>(v1.data()), v1.size()), items), 2u);
    EXPECT_EQ(items[3].text, "Album");
    EXPECT_EQ(items[4].text, "1999");
    EXPECT_EQ(TrailingTagBytes(ByteView(reinterpret_cast<const uint8_t*>(v1.data()), v1.size())), 128u);
    // A cut tag or a foreign header gives nothing.
    EXPECT_EQ(ReadId3v2(ByteView(reinterpret_cast<const uint8_t*>(tag.data()), 8), items), 0u);
    EXPECT_EQ(ReadId3v1(ByteView(reinterpret_cast<const uint8_t*>(v1.data()), 100), items), 0u);
}

TEST(ElementaryAudioDuration, BytesReadScaleToTheWholeFile) {
    const std::vector<uint8_t> file = test::ReadBytes(test::SamplePath("ac3_stereo.ac3"));
    const ByteView all(file.data(), file.size());
    const int64_t whole = ElementaryAudioDurationMs(all, file.size());
    EXPECT_LE(std::llabs(whole - 1010), 10);
    // Only the first half read: the rest plays at the same rate.
    EXPECT_LE(std::llabs(ElementaryAudioDurationMs(all.Sub(0, file.size() / 2), file.size()) - whole), 20);
    // No frames, no time.
    const std::vector<uint8_t> zeros(4096, 0);
    EXPECT_EQ(ElementaryAudioDurationMs(ByteView(zeros.data(), zeros.size()), zeros.size()), 0);
}

}  // namespace
}  // namespace torvo
