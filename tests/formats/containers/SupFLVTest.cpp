// The FLV tag walker on ffmpeg samples (checked against ffprobe) and on
// byte-built files for picture sizes, sound flags, timing and duration.
#include "formats/containers/SupFLV.h"

#include <gtest/gtest.h>

#include <limits>

#include "formats/containers/ContainerTestUtil.h"

namespace torvo {
namespace {

using namespace test;

struct FlvBuilder {
    explicit FlvBuilder(uint8_t version = 1) { bytes = Text("FLV") + Bytes{version, 5} + Be32(9); }
    FlvBuilder& Tag(uint8_t type, uint32_t timestamp, const Bytes& payload) {
        bytes = bytes + Be32(previous) + Bytes{type} + Be24(static_cast<uint32_t>(payload.size())) +
                Be24(timestamp) + Bytes{0} + Be24(0) + payload;
        previous = static_cast<uint32_t>(11 + payload.size());
        return *this;
    }
    Bytes Finish() const { return bytes + Be32(previous); }
    Bytes bytes;
    uint32_t previous = 0;
};

struct Walked {
    explicit Walked(const Bytes& bytes) : memory(bytes), flv(memory.records) {
        result = flv.ReadFile(memory.reader).GetKind() != ReadStatus::Kind::kDamaged;
    }
    MemoryReader memory;
    CSupFLV flv;
    bool result = false;
    const VideoInfo& video() const { return memory.records.video; }
    const StreamInfo& audio() const { return *memory.records.StreamIf(0); }
};

// ---- real files -----------------------------------------------------------------

TEST(SupFLVSamples, CodecsSizesAndSoundMatchFfprobe) {
    struct Case {
        const char* file;
        int codec, width, height;
        const char* sound;
        int rate, channels;
    };
    const Case cases[] = {
        {"flv_sorenson_mp3_22k.flv", 2, 160, 120, "MP3", 22050, 1},
        {"flv_sorenson_mp3_44k.flv", 2, 160, 120, "MP3", 44100, 1},
        {"flv_nellymoser.flv", 2, 160, 120, "Nellymoser", 22050, 1},
        {"flv_adpcm.flv", 2, 160, 120, "ADPCM", 22050, 1},
        {"flv_screen.flv", 3, 160, 120, "", 0, 0},
        {"flv_screen2.flv", 6, 160, 120, "", 0, 0},
        // AAC in FLV always declares 44 kHz stereo in its flags, whatever the stream holds.
        {"flv_h264_aac.flv", 7, 0, 0, "AAC", 44100, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Walked w(ReadBytes(ContainerSample(c.file)));
        EXPECT_TRUE(w.result);
        EXPECT_TRUE(w.memory.records.container.videoPresent);
        EXPECT_EQ(w.memory.records.container.soundPresent, *c.sound != 0);
        EXPECT_EQ(w.video().flvCodecId, c.codec);
        EXPECT_EQ(w.video().width, c.width);
        EXPECT_EQ(w.video().height, c.height);
        EXPECT_EQ(w.audio().codecName, c.sound);
        EXPECT_EQ(w.audio().sampleRate, c.rate);
        EXPECT_EQ(w.audio().channels, c.channels);
        EXPECT_GT(w.video().data.Count(), 1000u);
        EXPECT_GT(w.video().usPerFrame, 30000);
        EXPECT_LT(w.video().usPerFrame, 45000);
    }
}

TEST(SupFLVSamples, TimingFromTheTags) {
    Walked w(ReadBytes(ContainerSample("flv_sorenson_mp3_22k.flv")));
    EXPECT_EQ(w.flv.VideoTagCount(), 25);
    // 25 video tags from 50 to 1010 ms at the 25 frames/s onMetaData states:
    // the last frame lasts its 40 ms too. The file lasts what onMetaData says.
    EXPECT_EQ(w.video().durationMs, 1000);
    EXPECT_EQ(w.video().usPerFrame, 40000);
    EXPECT_EQ(w.video().frameCount, 25);
    EXPECT_EQ(w.memory.records.container.durationMs, 1050);  // ffprobe: 1.05 s
    EXPECT_EQ(w.video().bitrateKbps, static_cast<int32_t>(w.video().data.Count() * 8 / 1010));
    EXPECT_EQ(w.audio().bitsPerSample, 16);
    // The audio payloads are MPEG audio frames, flags byte removed.
    EXPECT_EQ(w.audio().data.View().U8(0), 0xFF);
    EXPECT_EQ(w.audio().data.View().U8(1) & 0xE0, 0xE0);
}

TEST(SupFLVSamples, H264BecomesStartCodeStream) {
    Walked w(ReadBytes(ContainerSample("flv_h264_aac.flv")));
    const std::vector<int> headers = NalHeaders(w.video().data.View());
    ASSERT_GE(headers.size(), 27u);
    EXPECT_EQ(headers[0] & 0x1F, 7);
    EXPECT_EQ(headers[1] & 0x1F, 8);
    for (int h : headers) EXPECT_EQ(h & 0x80, 0);
    // The same stream as the MP4 made from the same source with the same settings.
    const Bytes mp4 = ReadBytes(ContainerSample("mp4_h264_aac.mp4"));
    EXPECT_NE(std::search(mp4.begin(), mp4.end(), w.video().data.View().data() + 4,
                          w.video().data.View().data() + 12),
              mp4.end());
}

TEST(SupFLVSamples, AudioAnalysisHookSeesTheCollectedAudio) {
    MemoryReader m(ReadBytes(ContainerSample("flv_sorenson_mp3_44k.flv")));
    CSupFLV flv(m.records);
    size_t seen = 0;
    flv.SetAudioAnalysis([&](StreamInfo& audio) { seen = audio.data.Count(); });
    flv.ReadFile(m.reader);
    EXPECT_GT(seen, 4000u);
    EXPECT_EQ(seen, m.records.StreamIf(0)->data.Count());
}

// ---- byte-built edge cases ------------------------------------------------------

// A Sorenson H.263 picture header with the given size code (and custom size bytes).
Bytes Sorenson(int code, Bytes custom = {}) {
    Bytes b = {0x00, 0x00, 0x84, uint8_t(code >> 1), uint8_t((code & 1) << 7)};
    if (!custom.empty()) {
        b[4] = static_cast<uint8_t>(b[4] | custom[0]);
        b.insert(b.end(), custom.begin() + 1, custom.end());
    }
    return Bytes{0x12} + b + Zeros(8);  // key frame, codec 2
}

TEST(SupFLVTags, SorensonPictureSizes) {
    auto size = [](const Bytes& payload) {
        Walked w(FlvBuilder().Tag(9, 0, payload).Finish());
        return std::make_pair(w.video().width, w.video().height);
    };
    EXPECT_EQ(size(Sorenson(5)), std::make_pair(320, 240));
    EXPECT_EQ(size(Sorenson(2)), std::make_pair(352, 288));
    EXPECT_EQ(size(Sorenson(6)), std::make_pair(160, 120));
    EXPECT_EQ(size(Sorenson(7)), std::make_pair(0, 0));
    // Code 0: 8-bit width and height, 200 x 100.
    EXPECT_EQ(size(Sorenson(0, {200 >> 1, uint8_t((200 & 1) << 7 | 100 >> 1), uint8_t((100 & 1) << 7)})),
              std::make_pair(200, 100));
    // Code 1: 16-bit width and height, 1000 x 563.
    EXPECT_EQ(size(Sorenson(1, {uint8_t(1000 >> 9), uint8_t(1000 >> 1 & 0xFF), uint8_t((1000 & 1) << 7 | 563 >> 9),
                                uint8_t(563 >> 1 & 0xFF), uint8_t((563 & 1) << 7)})),
              std::make_pair(1000, 563));
}

TEST(SupFLVTags, ScreenAndVp6PictureSizes) {
    Walked screen(FlvBuilder().Tag(9, 0, {0x13, 0x10, 0x40, 0x10, 0xF0, 0, 0}).Finish());
    EXPECT_EQ(screen.video().width, 64);
    EXPECT_EQ(screen.video().height, 240);
    // VP6 key frame: adjustment, frame header, version, then macroblock rows and columns.
    Walked vp6(FlvBuilder().Tag(9, 0, {0x14, 0x00, 0x00, 0x46, 15, 20, 0, 0}).Finish());
    EXPECT_EQ(vp6.video().width, 320);
    EXPECT_EQ(vp6.video().height, 240);
    Walked inter(FlvBuilder().Tag(9, 0, {0x24, 0x00, 0x00, 0x46, 15, 20, 0, 0}).Finish());
    EXPECT_EQ(inter.video().width, 0);
    // VP6 with alpha: three bytes of alpha offset come first.
    Walked alpha(FlvBuilder().Tag(9, 0, {0x15, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 9, 11, 0}).Finish());
    EXPECT_EQ(alpha.video().width, 176);
    EXPECT_EQ(alpha.video().height, 144);
    EXPECT_EQ(alpha.video().flvCodecId, 5);
}

TEST(SupFLVTags, SoundFlags) {
    Walked mp3(FlvBuilder().Tag(8, 0, {0x2E, 0xFF, 0xFB}).Finish());
    EXPECT_EQ(mp3.audio().sampleRate, 44100);
    EXPECT_EQ(mp3.audio().bitsPerSample, 16);
    EXPECT_EQ(mp3.audio().channels, 1);
    EXPECT_EQ(mp3.audio().codecName, "MP3");
    EXPECT_EQ(mp3.audio().data.Count(), 2u);
    Walked nelly(FlvBuilder().Tag(8, 0, {0x56, 0x00}).Finish());
    EXPECT_EQ(nelly.audio().sampleRate, 11000);
    EXPECT_EQ(nelly.audio().bitsPerSample, 16);
    EXPECT_EQ(nelly.audio().channels, 1);
    EXPECT_EQ(nelly.audio().codecName, "Nellymoser 8KГц mono");
    Walked pcm(FlvBuilder().Tag(8, 0, {0x01, 0x80}).Finish());
    EXPECT_EQ(pcm.audio().sampleRate, 5500);
    EXPECT_EQ(pcm.audio().bitsPerSample, 8);
    EXPECT_EQ(pcm.audio().channels, 2);
    EXPECT_EQ(pcm.audio().codecName, "uncompressed");
}

TEST(SupFLVTags, FramePeriodAndFrameCountFromTimestamps) {
    FlvBuilder b;
    for (int i = 1; i <= 250; ++i) b.Tag(9, static_cast<uint32_t>(i * 40), Sorenson(6));
    Walked w(b.Finish());
    EXPECT_EQ(w.video().usPerFrame, 40000);
    EXPECT_EQ(w.video().durationMs, 10000);
    EXPECT_EQ(w.video().frameCount, 250);
    b.Tag(8, 10040, {0x2E, 0xFF});
    Walked later(b.Finish());
    EXPECT_EQ(later.video().durationMs, 10000);  // an audio tag after the last frame is no frame
    EXPECT_EQ(later.video().frameCount, 250);
    EXPECT_EQ(later.memory.records.container.durationMs, 10080);  // the last tag plus one frame

    // Two frames at 1 frame/s play for two seconds.
    FlvBuilder slow;
    slow.Tag(9, 0, Sorenson(6)).Tag(9, 1000, Sorenson(6));
    Walked two(slow.Finish());
    EXPECT_EQ(two.video().usPerFrame, 1000000);
    EXPECT_EQ(two.video().durationMs, 2000);
    EXPECT_EQ(two.video().frameCount, 2);
    EXPECT_EQ(two.memory.records.container.durationMs, 2000);
}

// The frame period in microseconds between two tags far apart: the largest
// timestamp (4.6 hours) is more than int32_t holds and is held there.
TEST(SupFLVTags, FramePeriodBeyondInt32IsHeld) {
    const struct {
        uint32_t timestamp;
        int32_t usPerFrame;
    } cases[] = {{40, 40000}, {2147483, 2147483000}, {2147484, std::numeric_limits<int32_t>::max()},
                 {0xFFFFFF, std::numeric_limits<int32_t>::max()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.timestamp);
        EXPECT_EQ(Walked(FlvBuilder().Tag(9, 0, Sorenson(6)).Tag(9, c.timestamp, Sorenson(6)).Finish()).video().usPerFrame,
                  c.usPerFrame);
    }
}

TEST(SupFLVTags, LastTagSizeLargerThanFileGivesNoDuration) {
    Bytes file = FlvBuilder().Tag(9, 40, Sorenson(6)).Tag(9, 80, Sorenson(6)).Finish();
    file.resize(file.size() - 4);
    file = file + Be32(static_cast<uint32_t>(file.size() + 100));
    Walked w(file);
    EXPECT_TRUE(w.result);
    // The tags themselves still time the two frames.
    EXPECT_EQ(w.video().durationMs, 80);
    EXPECT_EQ(w.video().frameCount, 2);
    EXPECT_EQ(w.video().usPerFrame, 40000);
}

TEST(SupFLVTags, OtherVersionIsNotWalked) {
    Walked w(FlvBuilder(2).Tag(9, 40, Sorenson(5)).Tag(8, 40, {0x2E, 0xFF}).Finish());
    EXPECT_TRUE(w.result);
    EXPECT_EQ(w.video().width, 0);
    EXPECT_EQ(w.audio().sampleRate, 0);
    EXPECT_TRUE(w.memory.records.container.videoPresent);
    EXPECT_EQ(w.video().durationMs, 40);  // the duration step still runs
}

TEST(SupFLVTags, UnknownTagTypeEndsTheWalk) {
    Walked w(FlvBuilder().Tag(9, 40, Sorenson(5)).Tag(18, 40, Zeros(20)).Tag(7, 80, Zeros(4)).Tag(9, 80, Sorenson(2)).Finish());
    EXPECT_FALSE(w.result);
    EXPECT_EQ(w.video().width, 320);  // what was found before stands
    EXPECT_EQ(w.flv.VideoTagCount(), 1);
}

TEST(SupFLVTags, TagRunningPastTheEndIsCutToTheData) {
    Bytes file = FlvBuilder().Tag(8, 0, {0x2E, 1, 2, 3, 4, 5, 6, 7, 8}).bytes;
    file.resize(file.size() - 4);
    Walked w(file);
    EXPECT_EQ(w.audio().data.Count(), 4u);
}

TEST(SupFLVTags, AvcWithoutSequenceHeaderUsesFourBytePrefixes) {
    const Bytes nal = Be32(3) + Bytes{0x65, 0x88, 0x80};
    Walked w(FlvBuilder().Tag(9, 0, Bytes{0x17, 1, 0, 0, 0} + nal).Finish());
    EXPECT_EQ(w.video().flvCodecId, 7);
    const ByteView got = w.video().data.View();
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got.Be32(0), 1u);
    EXPECT_EQ(got.U8(4), 0x65);
    // A unit whose length runs past its tag is not copied at all.
    Walked broken(FlvBuilder().Tag(9, 0, Bytes{0x17, 1, 0, 0, 0} + Be32(30) + Bytes{0x65}).Finish());
    EXPECT_EQ(broken.video().data.Count(), 0u);
}

}  // namespace
}  // namespace torvo
