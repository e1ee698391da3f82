// Header-mode playing time of program and system streams from their time
// stamps: real VCD, SVCD and DVD streams made by ffmpeg (timed as ffprobe and
// the full scan time them), and a byte-built stream larger than the header
// buffer, whose end only the tail read reaches.
#include <gtest/gtest.h>

#include "ScanBuilders.h"
#include "ScratchDir.h"
#include "formats/mpeg/PesTimeSpan.h"
#include "formats/mpeg/SupMpg.h"

namespace torvo {
namespace {

using test::Bytes;

Bytes& operator<<(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
    return b;
}

// The five PTS bytes with prefix 0010 and their marker bits.
Bytes PtsBytes(int64_t pts) {
    return {static_cast<uint8_t>(0x21 | (pts >> 29 & 0x0E)), static_cast<uint8_t>(pts >> 22),
            static_cast<uint8_t>(pts >> 14 | 1), static_cast<uint8_t>(pts >> 7), static_cast<uint8_t>(pts << 1 | 1)};
}

// An MPEG-2 PES packet with a time stamp (none for a negative one).
Bytes StampedPes(uint8_t id, int64_t pts, const Bytes& payload) {
    Bytes b{0, 0, 1, id, 0, 0, 0x81, static_cast<uint8_t>(pts >= 0 ? 0x80 : 0), static_cast<uint8_t>(pts >= 0 ? 5 : 0)};
    if (pts >= 0) b << PtsBytes(pts);
    b << payload;
    const size_t length = b.size() - 6;
    b[4] = static_cast<uint8_t>(length >> 8);
    b[5] = static_cast<uint8_t>(length);
    return b;
}

// A 720x576 sequence header at 25 frames/s (frame_rate_code 3).
Bytes SequenceHeader() {
    Bytes b{0, 0, 1, 0xB3};
    test::BitWriter w;
    w.Put(720, 12);
    w.Put(576, 12);
    w.Put(2, 4);
    w.Put(3, 4);
    w.Put(15000, 18);
    w.Put(1, 1);
    w.Put(112, 10);
    w.Put(0, 3);
    return b << w.Take();
}

struct Timed {
    int64_t frames = 0, videoMs = 0, soundMs = 0;
    int64_t stampedMs = 0;  // the sound's typed time: the last packet's frames counted
};

Timed TimeOf(CFileCache& reader) {
    AnalysisRecords records;
    CSupMpg(records).Analyse(reader);
    Timed t{records.video.frameCount, records.video.durationMs, 0};
    for (const auto& stream : records.streams)
        if (stream) {
            t.soundMs = std::max(t.soundMs, stream->durationMs);
            t.stampedMs = std::max(t.stampedMs, stream->stampedDurationMs);
        }
    return t;
}

TEST(PesTimeSpan, RealStreamsAsTheFullScanAndFfprobeTimeThem) {
    // Frames: as the full scan counts them (and scan/expected.txt lists them);
    // the sound: ffprobe's stream durations, to the millisecond below (one
    // frame after the last stamp); its typed time: the sound's frames as
    // ffprobe counts them (mediainfo's time), MPEG audio's last packet
    // starting with the end of a frame begun before, AC-3's by its pointer.
    // Linear PCM has no frames to count.
    const struct {
        const char* name;
        Timed expected;
    } cases[] = {
        {"mpeg2_ps.mpg", {25, 1000, 783, 1018}},
        {"mpeg/vcd_pal.mpg", {10, 400, 365, 417}},
        {"mpeg/vcd_ntsc.mpg", {9, 300, 287, 313}},
        {"mpeg/svcd_pal.mpg", {8, 320, 287, 313}},
        {"mpeg/dvd_pal_ac3.vob", {10, 400, 384, 416}},
        {"mpeg/dvd_ntsc_lpcm.vob", {9, 300, 292, 292}},
        {"scan/mpeg1_system.mpg", {50, 2000, 1824, 2016}},
        {"scan/mpeg2_ps_closed.mpg", {75, 3000, 2808, 3000}},
        {"scan/mpeg2_ps_gop12.mpg", {75, 3000, 2808, 3000}},
        {"vcd_iso9660.iso", {10, 400, 365, 417}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFileCache reader;
        ASSERT_TRUE(reader.Open(test::SamplePath(c.name)));
        const Timed t = TimeOf(reader);
        EXPECT_EQ(t.frames, c.expected.frames);
        EXPECT_EQ(t.videoMs, c.expected.videoMs);
        EXPECT_EQ(t.soundMs, c.expected.soundMs);
        EXPECT_EQ(t.stampedMs, c.expected.stampedMs);
    }
}

TEST(PesTimeSpan, ElementaryVideoFromItsGopTimeCodes) {
    // The full scan's and mediainfo's times; no GOP after the header: none.
    const struct {
        const char* name;
        int64_t ms;
    } cases[] = {{"mpeg/mpeg1_video.m1v", 1000}, {"mpeg/mpeg2_bt709.m2v", 200}, {"mpeg2_video.m2v", 1000},
                 {"scan/mpeg2_elementary.m2v", 2000}, {"mpeg/mpeg4_plain.m4v", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFileCache reader;
        ASSERT_TRUE(reader.Open(test::SamplePath(c.name)));
        AnalysisRecords records;
        CSupMpg(records).Analyse(reader);
        EXPECT_EQ(records.video.stampedDurationMs, c.ms);
    }
    // A writer that left every GOP's time code at zero: no time rather than
    // that of the last GOP's pictures.
    test::Bytes bytes = test::ReadBytes(test::SamplePath("mpeg/mpeg1_video.m1v"));
    int gops = 0;
    for (size_t i = 0; i + 8 <= bytes.size(); ++i) {
        if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1 || bytes[i + 3] != 0xB8) continue;
        bytes[i + 4] = 0;
        bytes[i + 5] = 0x08;  // the marker bit only
        bytes[i + 6] = bytes[i + 7] = 0;
        ++gops;
    }
    ASSERT_GT(gops, 1);
    CFileCache reader;
    ASSERT_TRUE(reader.AttachMemory(bytes.data(), bytes.size(), false));
    AnalysisRecords records;
    CSupMpg(records).Analyse(reader);
    EXPECT_EQ(records.video.stampedDurationMs, 0);
}

// A stream of 5 MiB: the first pictures at 1 s, padding, then a last GOP
// whose packet stamps one picture (temporal reference 2, at 5.04 s) and
// holds two more shown before it, and a GOP of one unstamped picture.
Bytes LongStream(int64_t lastPts) {
    Bytes b = test::Mpeg2Pack(0);
    Bytes first = SequenceHeader();
    first << test::GopHeader(0, true) << test::PictureHeader(0, 1) << test::PictureHeader(1, 2);
    b << StampedPes(0xE0, 90000, first) << StampedPes(0xC0, 90000, Bytes(64, 0x11));
    while (b.size() < 5u << 20) b << StampedPes(0xBE, -1, Bytes(60000, 0xFF));
    Bytes last = test::GopHeader(4, true);
    last << test::PictureHeader(2, 1) << test::PictureHeader(0, 3) << test::PictureHeader(1, 3);
    b << test::Mpeg2Pack(400000) << StampedPes(0xE0, lastPts, last);
    b << StampedPes(0xC0, lastPts + 900, Bytes(64, 0x11));
    Bytes trailing = test::GopHeader(5, false);
    return b << StampedPes(0xE0, -1, trailing << test::PictureHeader(0, 1)) << Bytes{0, 0, 1, 0xB9};
}

// Opens the bytes as a file, as large files are read: the header buffer,
// then windows.
Timed TimeOfFile(const Bytes& bytes) {
    const testing::ScratchDir dir;
    CFileCache reader;
    const std::string path =
        dir.Write("long.mpg", std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    EXPECT_TRUE(reader.Open(path));
    EXPECT_LT(reader.Header().size(), bytes.size());
    return TimeOf(reader);
}

TEST(PesTimeSpan, TheTailReadTimesAStreamBeyondTheHeaderBuffer) {
    // From 1 s to the last picture shown, 101 + 1 periods on, and one period more.
    const Timed t = TimeOfFile(LongStream(90000 + 101 * 3600));
    EXPECT_EQ(t.frames, 103);
    EXPECT_EQ(t.videoMs, 4120);
    EXPECT_EQ(t.soundMs, 4050);  // 101 periods and 10 ms; no sound frame was recognised

    // A clock restarted between the start and the end times nothing.
    const Timed none = TimeOfFile(LongStream(9000));
    EXPECT_EQ(none.frames, 0);
    EXPECT_EQ(none.videoMs, 0);
}

TEST(PesTimeSpan, TimeStampsAndSpans) {
    // MPEG-2 and MPEG-1 headers (stuffing and STD buffer fields before the stamp).
    EXPECT_EQ(ReadPesPts(ByteView(StampedPes(0xE0, 0x1'2345'6789, {}).data(), 14)), 0x1'2345'6789);
    Bytes mpeg1{0, 0, 1, 0xC0, 0, 12, 0xFF, 0xFF, 0x60, 0xE8};
    mpeg1 << PtsBytes(123456);
    EXPECT_EQ(ReadPesPts(ByteView(mpeg1.data(), mpeg1.size())), 123456);
    const Bytes unstamped = StampedPes(0xE0, -1, Bytes(8, 0));
    EXPECT_EQ(ReadPesPts(ByteView(unstamped.data(), unstamped.size())), -1);
    Bytes badMarker = StampedPes(0xE0, 5000, {});
    badMarker[13] &= 0xFE;
    EXPECT_EQ(ReadPesPts(ByteView(badMarker.data(), badMarker.size())), -1);

    const int64_t wrap = int64_t(1) << 33;
    EXPECT_EQ(PtsSpanTicks({100, 200, 1, -1}, {900, 1000, 1, -1}), 900);
    EXPECT_EQ(PtsSpanTicks({100, 200, 1, -1}, {900, 1000, 1, 1500}), 1400);
    EXPECT_EQ(PtsSpanTicks({wrap - 900, wrap - 900, 1, -1}, {100, 100, 1, -1}), 1000);  // across the wrap
    EXPECT_EQ(PtsSpanTicks({wrap / 2 - 1, wrap / 2 - 1, 1, -1}, {100, 100, 1, -1}), -1);        // a restarted clock
    EXPECT_EQ(PtsSpanTicks({}, {100, 100, 1, -1}), -1);
}

}  // namespace
}  // namespace torvo
