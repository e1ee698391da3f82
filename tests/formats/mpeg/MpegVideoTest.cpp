// MPEG-1/2 video headers, the MPEG-2 picture statistics and MPEG-4 Part 2:
// real elementary streams made by ffmpeg and byte-built streams for the
// cases an encoder does not produce on demand.
#include <gtest/gtest.h>

#include "formats/mpeg/MpegTestUtil.h"
#include "formats/mpeg/SupMpg.h"
#include "formats/mpeg/SupMpg2.h"
#include "formats/mpeg/SupMpg4.h"

namespace torvo {
namespace {

using test::BitWriter;
using test::Bytes;
using test::View;
using test::operator<<;

Bytes Code(uint8_t code) { return {0, 0, 1, code}; }

struct Seq {
    int width = 720, height = 576, aspect = 2, rateCode = 3;
    uint32_t bitrate = 15000;  // units of 400 bit/s
    bool marker = true, intraMatrix = false, nonIntraMatrix = false;
};
Bytes SequenceHeader(const Seq& s) {
    BitWriter w;
    w.Put(0x1B3, 32).Put(static_cast<unsigned>(s.width), 12).Put(static_cast<unsigned>(s.height), 12);
    w.Put(static_cast<unsigned>(s.aspect), 4).Put(static_cast<unsigned>(s.rateCode), 4).Put(s.bitrate, 18);
    w.Put(s.marker, 1).Put(112, 10).Put(0, 1).Put(s.intraMatrix, 1);
    for (int i = 0; s.intraMatrix && i < 64; ++i) w.Put(i == 63 ? 0x11 : 0x10, 8);  // the last byte is odd
    w.Put(s.nonIntraMatrix, 1);
    for (int i = 0; s.nonIntraMatrix && i < 64; ++i) w.Put(0x10, 8);
    return w.Data();
}
Bytes SequenceExtension(bool progressive) {
    BitWriter w;
    w.Put(0x1B5, 32).Put(1, 4).Put(0x48, 8).Put(progressive, 1).Put(1, 2).Put(0, 2).Put(0, 2).Put(0, 12);
    w.Put(1, 1).Put(0, 8).Put(0, 1).Put(0, 2).Put(0, 5);
    return w.Data();
}
Bytes DisplayExtension(int format, bool colour, int matrix, int width, int height) {
    BitWriter w;
    w.Put(0x1B5, 32).Put(2, 4).Put(static_cast<unsigned>(format), 3).Put(colour, 1);
    if (colour) w.Put(1, 8).Put(1, 8).Put(static_cast<unsigned>(matrix), 8);
    w.Put(static_cast<unsigned>(width), 14).Put(1, 1).Put(static_cast<unsigned>(height), 14).Put(0, 3);
    return w.Data();
}
Bytes Gop(int h, int m, int s, bool marker = true) {
    BitWriter w;
    w.Put(0x1B8, 32).Put(0, 1).Put(static_cast<unsigned>(h), 5).Put(static_cast<unsigned>(m), 6).Put(marker, 1);
    w.Put(static_cast<unsigned>(s), 6).Put(0, 6).Put(1, 1).Put(0, 1).Put(0, 5);
    return w.Data();
}
Bytes Picture(int type) {
    BitWriter w;
    w.Put(0x100, 32).Put(0, 10).Put(static_cast<unsigned>(type), 3).Put(0xFFFF, 16).Put(0, 3);
    return w.Data();
}
Bytes PictureCoding(int structure, bool tff, bool rff) {
    BitWriter w;
    w.Put(0x1B5, 32).Put(8, 4).Put(0xFFFF, 16).Put(0, 2).Put(static_cast<unsigned>(structure), 2);
    w.Put(tff, 1).Put(1, 1).Put(0, 1).Put(0, 1).Put(0, 1).Put(0, 1).Put(rff, 1).Put(0, 1).Put(0, 8);
    return w.Data();
}
Bytes Slice() { return {0, 0, 1, 1, 0x12, 0x34, 0x56}; }

// A sequence of frame pictures, each described by (structure, tff, rff).
Bytes Mpeg2Stream(bool progressive, const std::vector<std::array<int, 3>>& pictures, int gopEvery = 12) {
    Bytes b = SequenceHeader({});
    b << SequenceExtension(progressive);
    for (size_t i = 0; i < pictures.size(); ++i) {
        if (i % static_cast<size_t>(gopEvery) == 0) b << Gop(0, 0, static_cast<int>(i / 25));
        b << Picture(i % static_cast<size_t>(gopEvery) == 0 ? 1 : 2)
          << PictureCoding(pictures[i][0], pictures[i][1], pictures[i][2]) << Slice() << Slice();
    }
    return b << Code(0xB7);
}

Mpeg2Summary Summary(const Bytes& b) {
    CSupMpg2 counter;
    counter.Scan(View(b));
    Mpeg2Summary s;
    counter.Summarise(s);
    return s;
}

TEST(Mpeg12Video, RealElementaryStreams) {
    AnalysisRecords records;
    CSupMpg mpg(records);
    ASSERT_TRUE(mpg.AnalyseVideoData(View(test::Sample("mpeg2_interlaced.m2v"))));
    const VideoHeader& h = records.video.headers[kHeaderMpegVideo];
    EXPECT_EQ(h.version, 3);
    EXPECT_EQ(h.width, 720);
    EXPECT_EQ(h.height, 576);
    EXPECT_EQ(h.frameDurationUs, 40000);
    EXPECT_DOUBLE_EQ(h.displayAspect, 4.0 / 3.0);  // ffprobe: DAR 4:3
    EXPECT_EQ(h.present, 1);                       // the sequence header was seen (the matrix lamps need it)
    const Mpeg2Summary& s = records.video.mpeg2Summary;
    EXPECT_EQ(s.seen, 1);
    EXPECT_EQ(s.interlaced, 1);  // ffprobe: field order "tt"
    EXPECT_EQ(s.tff, 1);
    EXPECT_EQ(s.bff, 0);
    EXPECT_EQ(s.plain, 1);
    EXPECT_EQ(s.pulldown32, 0);
    EXPECT_TRUE(records.video.mpeg2Interlaced);

    AnalysisRecords one;
    CSupMpg mpg1(one);
    ASSERT_TRUE(mpg1.AnalyseVideoData(View(test::Sample("mpeg1_video.m1v"))));
    const VideoHeader& h1 = one.video.headers[kHeaderMpegVideo];
    EXPECT_EQ(h1.version, 2);
    EXPECT_EQ(h1.width, 320);
    EXPECT_EQ(h1.height, 240);
    EXPECT_DOUBLE_EQ(h1.pixelAspect, 1.0);  // ffprobe: SAR 1:1
    EXPECT_EQ(h1.bitrateKbps, -1);          // ffprobe: 104857200 bit/s, the "variable" code
    EXPECT_EQ(one.video.mpeg2Summary.seen, 0);
}

// A header that fails its checks leaves the error flag set for the vote that
// follows the scan, unless the scan parses an item after it: pictures and
// slices after it clear it, though later runs of them are passed by.
TEST(Mpeg12Video, TheScanLeavesTheErrorFlagOfItsLastItem) {
    Seq bad;
    bad.aspect = 0;
    const struct {
        int slicesAfter;
        bool video;
    } cases[] = {{0, false}, {1, true}, {3, true}};
    for (const auto& c : cases) {
        Bytes b;
        for (int i = 0; i < 3; ++i) b << SequenceHeader({}) << Gop(0, 0, i);
        b << SequenceHeader(bad);
        for (int i = 0; i < c.slicesAfter; ++i) b << Picture(1) << Slice();
        AnalysisRecords records;
        CSupMpg(records).Analyse(View(b), b.size());
        EXPECT_EQ(records.container.layout == StreamLayout::kVideoElementary, c.video) << c.slicesAfter;
    }
}

TEST(Mpeg12Video, SequenceHeaderFields) {
    AnalysisRecords records;
    CSupMpg mpg(records);
    Seq s;
    s.aspect = 8;
    s.bitrate = 0x3FBFF;
    s.rateCode = 4;
    Bytes b = SequenceHeader(s);
    b << Gop(0, 0, 0);
    int outcome = 9;
    EXPECT_EQ(mpg.ParseVideoHeader(View(b), &outcome), 12);
    EXPECT_EQ(outcome, 1);
    const VideoHeader& h = records.video.headers[kHeaderMpegVideo];
    EXPECT_EQ(h.version, 2);
    EXPECT_DOUBLE_EQ(h.pixelAspect, 12.0 / 11.0);
    EXPECT_EQ(h.bitrateKbps, 104448);
    EXPECT_EQ(h.frameDurationUs, 33367);

    // Once a frame period is known, later headers store nothing.
    s.width = 352;
    EXPECT_EQ(mpg.ParseVideoHeader(View(SequenceHeader(s))), 12);
    EXPECT_EQ(h.width, 720);

    // Quantiser matrices lengthen the header: 12, 76 or 140 bytes.
    for (auto [intra, nonIntra, length] : {std::tuple{true, false, 76}, {false, true, 76}, {true, true, 140}}) {
        AnalysisRecords r;
        CSupMpg m(r);
        Seq q;
        q.intraMatrix = intra;
        q.nonIntraMatrix = nonIntra;
        q.bitrate = 0x3FFFF;
        Bytes with = SequenceHeader(q);
        with << SequenceExtension(false);
        EXPECT_EQ(m.ParseVideoHeader(View(with)), length + 10);
        EXPECT_EQ(r.video.headers[kHeaderMpegVideo].version, 3);
        EXPECT_EQ(r.video.headers[kHeaderMpegVideo].bitrateKbps, -1);
        EXPECT_DOUBLE_EQ(r.video.headers[kHeaderMpegVideo].displayAspect, 4.0 / 3.0);
    }

    // A frame rate code outside 1-8 leaves the period 0, so the next header is read again.
    AnalysisRecords again;
    CSupMpg m2(again);
    Seq odd;
    odd.rateCode = 9;
    m2.ParseVideoHeader(View(SequenceHeader(odd)));
    EXPECT_EQ(again.video.headers[kHeaderMpegVideo].frameDurationUs, 0);
    Seq good;
    good.width = 480;
    m2.ParseVideoHeader(View(SequenceHeader(good)));
    EXPECT_EQ(again.video.headers[kHeaderMpegVideo].width, 480);
    EXPECT_EQ(again.video.headers[kHeaderMpegVideo].frameDurationUs, 40000);
}

TEST(Mpeg12Video, FailedSequenceHeaderStoresNothing) {
    // Aspect code 0, frame rate code 0 or a missing marker: the item counts -1
    // and the picture size already known is kept.
    for (int variant = 0; variant < 3; ++variant) {
        AnalysisRecords records;
        records.video.headers[kHeaderMpegVideo].width = 352;
        CSupMpg mpg(records);
        Seq s;
        s.width = 1234;
        if (variant == 0) s.aspect = 0;
        if (variant == 1) s.rateCode = 0;
        if (variant == 2) s.marker = false;
        int outcome = 0;
        EXPECT_EQ(mpg.ParseVideoHeader(View(SequenceHeader(s)), &outcome), 12);
        EXPECT_EQ(outcome, -1);
        EXPECT_EQ(mpg.Errors().FirstFailure(), "Video Sequence Header");
        EXPECT_EQ(records.video.headers[kHeaderMpegVideo].width, 352) << variant;
        EXPECT_EQ(records.video.headers[kHeaderMpegVideo].version, 0);
    }
}

TEST(Mpeg12Video, GopTimeCodesAndUserData) {
    AnalysisRecords records;
    CSupMpg mpg(records);
    EXPECT_EQ(mpg.ParseVideoHeader(View(Gop(0, 59, 59))), 8);
    EXPECT_EQ(mpg.FirstGopSeconds(), 3599);
    mpg.ParseVideoHeader(View(Gop(1, 0, 0)));
    EXPECT_EQ(records.video.headers[kHeaderMpegVideo].durationMs, 1000);
    int outcome = 0;
    mpg.ParseVideoHeader(View(Gop(1, 0, 0, false)), &outcome);
    EXPECT_EQ(outcome, -1);
    mpg.ParseVideoHeader(View(Gop(24, 0, 0)), &outcome);
    EXPECT_EQ(outcome, -1);

    // The flag is sticky: only the packet scan clears it, item by item.
    Bytes user = Code(0xB2);
    test::Append(user, "Encoder 1.0");
    user << Code(0xB8);
    mpg.ParseVideoHeader(View(user), &outcome);
    EXPECT_EQ(outcome, -1);
    records.container.userData.clear();
    mpg.Errors().Clear();
    EXPECT_EQ(mpg.ParseVideoHeader(View(user), &outcome), 15);
    EXPECT_EQ(outcome, 1);
    EXPECT_EQ(records.container.userData, std::string("Encoder 1.0") + '\0');
    // Other codes are not video headers.
    EXPECT_EQ(mpg.ParseVideoHeader(View(Picture(1)), &outcome), 0);
    EXPECT_EQ(outcome, 0);
}

TEST(Mpeg12Video, UserDataStopsAtItsCapacity) {
    AnalysisRecords records;
    CSupMpg mpg(records);
    Bytes big = Code(0xB2);
    big.insert(big.end(), 10000, 'x');
    big << Code(0xB8);
    mpg.ParseVideoHeader(View(big));
    EXPECT_EQ(records.container.userData.size(), 10001u);
    mpg.ParseVideoHeader(View(big));
    EXPECT_EQ(records.container.userData.size(), kUserDataCapacity);
    mpg.ParseVideoHeader(View(big));
    EXPECT_EQ(records.container.userData.size(), kUserDataCapacity);
}

TEST(Mpeg2Statistics, FieldPatterns) {
    // 29.97 Hz interlaced frame pictures, top field first, no repeats: plain and TFF.
    std::vector<std::array<int, 3>> tff(30, {3, 1, 0});
    Mpeg2Summary s = Summary(Mpeg2Stream(false, tff));
    EXPECT_EQ(s.seen, 1);
    EXPECT_EQ(s.interlaced, 1);
    EXPECT_EQ(s.plain, 1);
    EXPECT_EQ(s.tff, 1);
    EXPECT_EQ(s.bff, 0);
    EXPECT_EQ(s.pulldown32, 0);

    // 23.976 Hz coded with repeat_first_field on every other picture: sum = 2.5 n.
    std::vector<std::array<int, 3>> pulldown;
    for (int i = 0; i < 40; ++i) pulldown.push_back({3, (i / 2) % 2 == 0, i % 2 == 0});
    s = Summary(Mpeg2Stream(false, pulldown));
    EXPECT_EQ(s.pulldown32, 1);
    EXPECT_EQ(s.tff, 0);
    EXPECT_EQ(s.bff, 0);
    EXPECT_EQ(s.plain, 0);

    // Field pictures: pictures per field.
    std::vector<std::array<int, 3>> fields;
    for (int i = 0; i < 40; ++i) fields.push_back({1 + i % 2, 0, 0});
    s = Summary(Mpeg2Stream(false, fields));
    EXPECT_EQ(s.ppf, 1);

    // Bottom field first.
    s = Summary(Mpeg2Stream(false, std::vector<std::array<int, 3>>(20, {3, 0, 0})));
    EXPECT_EQ(s.bff, 1);
    EXPECT_EQ(s.tff, 0);
}

TEST(Mpeg2Statistics, CountersAndDisplayExtension) {
    Bytes b = SequenceHeader({});
    b << SequenceExtension(true) << DisplayExtension(2, false, 0, 704, 576) << Code(0xB2) << Gop(0, 0, 0)
      << Code(0xB2) << Picture(1) << PictureCoding(3, 0, 0) << Code(0xB2) << Slice();
    b << Gop(0, 0, 1) << Gop(0, 0, 2) << Picture(1) << Code(0xB5) << Bytes{0x30, 0, 0, 0} << Slice();
    CSupMpg2 counter;
    EXPECT_EQ(counter.Scan(View(b)), 1);
    EXPECT_EQ(counter.sequenceHeaders, 1);
    EXPECT_EQ(counter.sequenceExtensions, 1);
    EXPECT_EQ(counter.extensionCounts[CSupMpg2::kAfterSequence][2], 1);
    EXPECT_EQ(counter.userDataCounts[CSupMpg2::kAfterSequence], 1);
    EXPECT_EQ(counter.userDataCounts[CSupMpg2::kAfterGop], 1);
    EXPECT_EQ(counter.userDataCounts[CSupMpg2::kAfterPicture], 1);
    EXPECT_EQ(counter.gopHeaders, 3);
    EXPECT_EQ(counter.pictures, 2);
    EXPECT_EQ(counter.pictureCount, 1);
    EXPECT_EQ(counter.otherErrors, 2);  // a GOP without a picture, a non-coding extension after a picture
    EXPECT_EQ(counter.modeCounts[28], 1);
    EXPECT_EQ(counter.displayWidth, 704);
    EXPECT_EQ(counter.displayHeight, 576);
    EXPECT_EQ(counter.matrixCoefficients, -1);
    EXPECT_EQ(counter.videoFormat, 2);

    Bytes colour = SequenceHeader({});
    colour << SequenceExtension(false) << DisplayExtension(1, true, 5, 720, 480) << Picture(1)
           << PictureCoding(3, 1, 0);
    Mpeg2Summary s = Summary(colour);
    EXPECT_EQ(s.matrixCoefficients, 5);
    EXPECT_EQ(s.displayWidth, 720);
    EXPECT_EQ(s.displayHeight, 480);
    EXPECT_EQ(s.videoFormat, 1);

    // MPEG-1: no extension, never seen.
    Bytes mpeg1 = SequenceHeader({});
    mpeg1 << Gop(0, 0, 0) << Picture(1) << Slice();
    CSupMpg2 m1;
    EXPECT_EQ(m1.Scan(View(mpeg1)), 0);
    EXPECT_EQ(m1.malformedSequences, 1);
}

// --- MPEG-4 Part 2 ---

struct Vol {
    int verid = 1;
    int aspect = 1, parW = 0, parH = 0;
    uint32_t resolution = 25;
    bool fixedRate = false;
    uint32_t fixedIncrement = 1;
    int width = 352, height = 288;
    bool interlaced = false;
    int sprite = 0;
    bool qpel = false;
    bool complexityDisable = true;
    bool vbv = false;
};
Bytes VolHeader(const Vol& v) {
    BitWriter w;
    w.Put(0x100, 32).Put(0x120, 32).Put(0, 1).Put(1, 8);
    if (v.verid != 1) w.Put(1, 1).Put(static_cast<unsigned>(v.verid), 4).Put(1, 3);
    else w.Put(0, 1);
    w.Put(static_cast<unsigned>(v.aspect), 4);
    if (v.aspect == 15) w.Put(static_cast<unsigned>(v.parW), 8).Put(static_cast<unsigned>(v.parH), 8);
    w.Put(1, 1).Put(1, 2).Put(1, 1).Put(v.vbv, 1);
    if (v.vbv) w.Put(100, 15).Put(1, 1).Put(0, 15).Put(1, 1).Put(50, 15).Put(1, 1).Put(0, 3).Put(0, 11).Put(1, 1)
                   .Put(0, 15).Put(1, 1);
    w.Put(0, 2).Put(1, 1).Put(v.resolution, 16).Put(1, 1).Put(v.fixedRate, 1);
    const int bits = CSupMpg4::TimeBits(v.resolution);
    if (v.fixedRate) w.Put(v.fixedIncrement, static_cast<unsigned>(bits));
    w.Put(1, 1).Put(static_cast<unsigned>(v.width), 13).Put(1, 1).Put(static_cast<unsigned>(v.height), 13).Put(1, 1);
    w.Put(v.interlaced, 1).Put(1, 1).Put(static_cast<unsigned>(v.sprite), v.verid == 1 ? 1 : 2);
    if (v.sprite == 1) w.Put(0, 13).Put(1, 1).Put(0, 13).Put(1, 1).Put(0, 13).Put(1, 1).Put(0, 13).Put(1, 1);
    if (v.sprite == 1 || v.sprite == 2) w.Put(0, 6).Put(0, 2).Put(0, 1);
    if (v.sprite == 1) w.Put(0, 1);
    w.Put(0, 1).Put(0, 1);  // not_8_bit, quant_type
    if (v.verid != 1) w.Put(v.qpel, 1);
    w.Put(v.complexityDisable, 1).Put(1, 1).Put(0, 1);
    if (v.verid != 1) w.Put(0, 1).Put(0, 1);
    w.Put(0, 1).Align(false);
    return w.Data();
}
// A VOP: coding type, modulo_time_base count, time increment, coded flag.
Bytes Vop(int type, int modulo, uint32_t increment, bool coded = true, int bits = 5, bool marker = true) {
    BitWriter w;
    w.Put(0x1B6, 32).Put(static_cast<unsigned>(type), 2);
    for (int i = 0; i < modulo; ++i) w.Put(1, 1);
    w.Put(0, 1).Put(marker, 1).Put(increment, static_cast<unsigned>(bits)).Put(1, 1).Put(coded, 1);
    w.Put(0x5A5A, 16).Align(false);
    return w.Data();
}

Mpeg4Summary Mpeg4(const Bytes& b, VideoInfo* out = nullptr, bool* accepted = nullptr) {
    ContainerInfo container;
    VideoInfo video;
    const bool ok = CSupMpg4().Analyse(container, video, View(b));
    if (accepted) *accepted = ok;
    if (out) *out = std::move(video);
    return ok ? video.mpeg4Summary : Mpeg4Summary{};
}

TEST(Mpeg4, RealElementaryStreams) {
    struct Case {
        const char* name;
        int i, p, b, qpel;
    };
    // VOP counts as ffprobe reports the picture types.
    const Case cases[] = {{"mpeg4_plain.m4v", 3, 22, 0, 0}, {"mpeg4_bframes.m4v", 3, 6, 16, 0},
                          {"mpeg4_qpel.m4v", 3, 10, 12, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ContainerInfo container;
        VideoInfo video;
        ASSERT_TRUE(CSupMpg4().Analyse(container, video, View(test::Sample(c.name))));
        const Mpeg4Summary& s = video.mpeg4Summary;
        EXPECT_EQ(s.countI, c.i);
        EXPECT_EQ(s.countP, c.p);
        EXPECT_EQ(s.countB, c.b);
        EXPECT_EQ(s.hasB, c.b > 0);
        EXPECT_EQ(s.quarterSample, c.qpel);
        EXPECT_EQ(s.timeIncrementBits, 5);  // resolution 25
        EXPECT_EQ(video.headers[kHeaderMpegVideo].width, 352);
        EXPECT_EQ(video.headers[kHeaderMpegVideo].height, 288);
        EXPECT_EQ(video.headers[kHeaderMpegVideo].version, 5);
        EXPECT_DOUBLE_EQ(video.pixelAspect, 1.0);
        EXPECT_EQ(s.zeroTimeNvops + s.nonZeroTimeNvops, 0);
        EXPECT_TRUE(container.userData.starts_with("Lavc"));  // the encoder banner
        // No fixed rate is stated: the VOPs' times step by one tick of 1/25 s, B-VOPs between.
        EXPECT_DOUBLE_EQ(video.headers[kHeaderMpegVideo].timingFrameRate, 25.0);
    }
}

TEST(Mpeg4, VopRate) {
    // Resolution 30000: NTSC VOPs 1001 ticks apart in display order, sent
    // I P B P B with the seconds counted across 1 s; a stated fixed rate wins.
    const struct {
        bool fixedRate;
        uint32_t fixedIncrement;
        double rate;
    } cases[] = {{false, 0, 30000.0 / 1001}, {true, 2002, 30000.0 / 2002}};
    for (const auto& c : cases) {
        Bytes b = VolHeader({.resolution = 30000, .fixedRate = c.fixedRate, .fixedIncrement = c.fixedIncrement});
        b << Vop(0, 0, 0, true, 15);
        for (uint32_t n = 2; n <= 40; n += 2) {
            const uint32_t p = n * 1001, bvop = (n - 1) * 1001;
            b << Vop(1, int(p / 30000) - int((n - 2) * 1001 / 30000), p % 30000, true, 15);
            b << Vop(2, int(bvop / 30000) - int((n - 2) * 1001 / 30000), bvop % 30000, true, 15);
        }
        VideoInfo video;
        Mpeg4(b, &video);
        EXPECT_NEAR(video.headers[kHeaderMpegVideo].timingFrameRate, c.rate, 1e-9) << c.fixedRate;
    }
}

TEST(Mpeg4, GroupOfVopCodesDoNotOverwriteThePictureSize) {
    // The video data test reads every 00 00 01 B3 as a sequence header; in
    // MPEG-4 it is a group-of-VOP header, whose check fails and which must
    // leave the size of the layer header alone.
    for (const char* name : {"mpeg4_plain.m4v", "mpeg4_bframes.m4v"}) {
        AnalysisRecords records;
        CSupMpg mpg(records);
        ASSERT_TRUE(mpg.AnalyseVideoData(View(test::Sample(name))));
        const VideoHeader& h = records.video.headers[kHeaderMpegVideo];
        EXPECT_EQ(h.version, 5) << name;
        EXPECT_EQ(h.width, 352) << name;
        EXPECT_EQ(h.height, 288) << name;
        EXPECT_EQ(h.frameDurationUs, 0) << name;
    }
    Bytes b = VolHeader({});
    for (int i = 0; i < 12; ++i) {
        b << Bytes{0, 0, 1, 0xB3, 0x00, 0x10, 0x40};  // GOV 00:00:01
        b << Vop(0, 0, static_cast<uint32_t>(i));
    }
    AnalysisRecords records;
    CSupMpg mpg(records);
    ASSERT_TRUE(mpg.AnalyseVideoData(View(b)));
    EXPECT_EQ(records.video.headers[kHeaderMpegVideo].width, 352);
}

TEST(Mpeg4, AcceptanceRule) {
    auto stream = [](int good, int bad) {
        Bytes b = VolHeader({});
        for (int i = 0; i < good; ++i) b << Vop(i % 5 ? 1 : 0, 0, static_cast<uint32_t>(i % 25));
        for (int i = 0; i < bad; ++i) b << Vop(1, 0, 3, true, 5, false);
        return b;
    };
    bool ok = false;
    Mpeg4(stream(9, 0), nullptr, &ok);
    EXPECT_TRUE(ok);
    Mpeg4(stream(8, 0), nullptr, &ok);
    EXPECT_FALSE(ok);
    Mpeg4(stream(104, 6), nullptr, &ok);
    EXPECT_FALSE(ok);
    Mpeg4(stream(105, 6), nullptr, &ok);
    EXPECT_TRUE(ok);

    // VOPs before any layer header, without a container time scale, are bad.
    Bytes early;
    for (int i = 0; i < 20; ++i) early << Vop(1, 0, 1);
    Mpeg4(early, nullptr, &ok);
    EXPECT_FALSE(ok);
    // ... but a container time scale makes them readable.
    ContainerInfo container;
    VideoInfo video;
    video.timeScale = 25;
    EXPECT_TRUE(CSupMpg4().Analyse(container, video, View(early)));
    EXPECT_EQ(video.headers[kHeaderMpegVideo].width, 0);

    // Rejection leaves the video header alone and the summary zeroed.
    VideoInfo rejected;
    rejected.headers[kHeaderMpegVideo].width = 77;
    EXPECT_FALSE(CSupMpg4().Analyse(container, rejected, View(stream(8, 0))));
    EXPECT_EQ(rejected.headers[kHeaderMpegVideo].width, 77);
    EXPECT_EQ(rejected.mpeg4Summary.countI, 0);
}

TEST(Mpeg4, LayerHeaderFields) {
    auto run = [](const Vol& v) {
        Bytes b = VolHeader(v);
        for (int i = 0; i < 10; ++i) b << Vop(0, 0, 0, true, CSupMpg4::TimeBits(v.resolution));
        VideoInfo video;
        bool ok = false;
        Mpeg4(b, &video, &ok);
        EXPECT_TRUE(ok);
        return video;
    };
    Vol v;
    v.aspect = 2;
    EXPECT_DOUBLE_EQ(run(v).headers[kHeaderMpegVideo].pixelAspect, 12.0 / 11.0);
    v.aspect = 15;
    v.parW = 64;
    v.parH = 45;
    VideoInfo video = run(v);
    EXPECT_NEAR(video.pixelAspect, 1.4222, 1e-4);
    EXPECT_EQ(video.mpeg4Summary.aspectRatioInfo, 15);
    v.aspect = 7;  // unknown codes leave 0:0 and the aspect untouched
    EXPECT_DOUBLE_EQ(run(v).headers[kHeaderMpegVideo].pixelAspect, 0.0);

    Vol fixed;
    fixed.fixedRate = true;
    fixed.vbv = true;
    EXPECT_EQ(run(fixed).headers[kHeaderMpegVideo].frameDurationUs, 40000);
    fixed.resolution = 30000;
    fixed.fixedIncrement = 1001;
    EXPECT_EQ(run(fixed).headers[kHeaderMpegVideo].frameDurationUs, 33366);
    EXPECT_EQ(run(fixed).mpeg4Summary.timeIncrementBits, 15);

    Vol v2;
    v2.verid = 2;
    v2.qpel = true;
    v2.sprite = 2;
    v2.interlaced = true;
    v2.width = 640;
    video = run(v2);
    EXPECT_EQ(video.mpeg4Summary.quarterSample, 1);
    EXPECT_EQ(video.mpeg4Summary.gmc, 1);
    EXPECT_EQ(video.mpeg4Summary.interlacedFlag, 1);
    EXPECT_TRUE(video.mpeg4Qpel && video.mpeg4Gmc);
    EXPECT_EQ(video.headers[kHeaderMpegVideo].width, 640);
    Vol sprite;
    sprite.sprite = 1;  // a static sprite: its size fields are stepped over
    sprite.height = 240;
    EXPECT_EQ(run(sprite).headers[kHeaderMpegVideo].height, 240);
    EXPECT_EQ(run(sprite).mpeg4Summary.gmc, 0);

    // Complexity estimation headers are not parsed: such a layer is not read,
    // and the next video object start code is tried.
    Vol complex;
    complex.complexityDisable = false;
    Bytes b = VolHeader(complex);
    Vol later;
    later.width = 176;
    b << VolHeader(later);
    for (int i = 0; i < 10; ++i) b << Vop(0, 0, 0);
    VideoInfo retried;
    Mpeg4(b, &retried);
    EXPECT_EQ(retried.headers[kHeaderMpegVideo].width, 176);
}

TEST(Mpeg4, NotCodedVops) {
    // Packed bitstream: each P-VOP is followed by a placeholder that repeats
    // its time increment; an uncoded P-VOP with a new time is a duplicate frame.
    Bytes b = VolHeader({});
    b << Vop(0, 0, 0);
    for (uint32_t t = 1; t <= 10; ++t) b << Vop(1, 0, t) << Vop(1, 0, t, false);
    b << Vop(1, 0, 12, false) << Vop(1, 0, 0, false);
    b << Vop(2, 0, 13) << Vop(2, 0, 14) << Vop(2, 0, 15) << Vop(1, 1, 2);
    const Mpeg4Summary s = Mpeg4(b);
    EXPECT_EQ(s.accepted, 1);
    EXPECT_EQ(s.zeroTimeNvops, 11);  // ten placeholders and one with increment 0
    EXPECT_EQ(s.nonZeroTimeNvops, 1);
    EXPECT_EQ(s.countP, 11);  // coded P-VOPs only: a placeholder is no picture of any type
    EXPECT_EQ(s.countB, 3);
    EXPECT_EQ(s.maxBRun, 3);
    EXPECT_EQ(s.bRun, 0);
    EXPECT_EQ(s.hasP, 1);

    // An uncoded B-VOP is never a placeholder, nor is one after a seconds step.
    Bytes c = VolHeader({});
    for (int i = 0; i < 10; ++i) c << Vop(0, 0, 5);
    c << Vop(2, 0, 5, false) << Vop(1, 1, 5, false);
    const Mpeg4Summary t = Mpeg4(c);
    EXPECT_EQ(t.zeroTimeNvops, 0);
    EXPECT_EQ(t.nonZeroTimeNvops, 2);
}

}  // namespace
}  // namespace torvo
