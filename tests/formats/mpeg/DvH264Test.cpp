// Raw DV frames and H.264 parameter sets: real streams and byte-built cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "formats/mpeg/MpegTestUtil.h"
#include "formats/mpeg/SupDV.h"
#include "formats/mpeg/SupH264.h"

namespace torvo {
namespace {

using test::Bytes;
using test::View;

// --- DV ---

TEST(Dv, RealFrames) {
    struct Case {
        const char* path;
        int pal, wide, smpte;
    };
    // ffmpeg marks its 4:1:1 NTSC frames with APT 1 (SMPTE 314M), its PAL 4:2:0 frames with APT 0.
    const Case cases[] = {{"mpeg/dv_pal_4x3.dv", 1, 0, 0}, {"mpeg/dv_pal_16x9.dv", 1, 1, 0},
                          {"mpeg/dv_ntsc.dv", 0, 0, 1}, {"dv_pal.dv", 1, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        DvInfo info;
        ASSERT_TRUE(CSupDV().Analyse(info, View(test::ReadBytes(test::SamplePath(c.path)))));
        EXPECT_EQ(info.present, 1);
        EXPECT_EQ(info.pal, c.pal);
        EXPECT_EQ(info.wide, c.wide);
        EXPECT_EQ(info.is50, c.pal);
        EXPECT_EQ(info.smpte314m, c.smpte);
        EXPECT_EQ(info.secondChannel, 0);
        EXPECT_EQ(info.interlacedDv, 1);
    }
}

// A frame of empty DIF sequences with the header, subcode and VAUX block ids
// and the source/source control packs where the parser reads them.
Bytes DvFrame(bool pal, uint8_t sourceByte3, uint8_t controlByte2, int apt = 0, bool fsc = false) {
    const size_t sequences = pal ? 12 : 10;
    Bytes f(sequences * CSupDV::kSequenceBytes, 0xFF);
    for (size_t k = 0; k < sequences; ++k) {
        const size_t s = k * CSupDV::kSequenceBytes;
        const uint8_t seq = static_cast<uint8_t>(k << 4 | (fsc ? 8 : 0) | 7);
        const uint8_t ids[6][3] = {{0x1F, seq, 0}, {0x3F, seq, 0}, {0x3F, seq, 1},
                                   {0x5F, seq, 0}, {0x5F, seq, 1}, {0x5F, seq, 2}};
        for (size_t b = 0; b < 6; ++b) std::copy(ids[b], ids[b] + 3, f.begin() + static_cast<long>(s + b * 80));
        f[s + 3] = pal ? 0xBF : 0x3F;
        f[s + 4] = static_cast<uint8_t>(0xF8 | apt);
        for (size_t pack : {s + 243, s + 448}) {
            const uint8_t source[5] = {0x60, 0xFF, 0xFF, sourceByte3, 0xFF};
            const uint8_t control[5] = {0x61, 0x3F, controlByte2, 0xFC, 0xFF};
            std::copy(source, source + 5, f.begin() + static_cast<long>(pack));
            std::copy(control, control + 5, f.begin() + static_cast<long>(pack + 5));
        }
    }
    return f;
}

TEST(Dv, ByteBuiltFrames) {
    DvInfo info;
    Bytes lead(1000, 0x42);  // the frame is found after leading garbage
    const Bytes frame = DvFrame(true, 0xE4, 0xCA, 1);
    lead.insert(lead.end(), frame.begin(), frame.end());
    ASSERT_TRUE(CSupDV().Analyse(info, View(lead)));
    EXPECT_EQ(info.smpte314m, 1);
    EXPECT_EQ(info.stype4, 1);
    EXPECT_EQ(info.wide, 1);
    EXPECT_EQ(info.frameFlag, 1);

    // A second-channel frame (FSC set) never matches its own sequences.
    EXPECT_FALSE(CSupDV().Analyse(info, View(DvFrame(true, 0xE0, 0xC8, 0, true))));
    EXPECT_EQ(info.present, 0);
    EXPECT_EQ(info.secondChannel, 1);

    // One sequence that says otherwise makes the frame inconsistent.
    Bytes odd = DvFrame(false, 0xC0, 0xC8);
    odd[5 * CSupDV::kSequenceBytes + 243 + 5 + 2] = 0xCA;  // 16:9 in one odd sequence only
    EXPECT_FALSE(CSupDV().Analyse(info, View(odd)));
    odd[5 * CSupDV::kSequenceBytes + 448 + 5 + 2] = 0xCA;  // the even-sequence place is not read there
    EXPECT_FALSE(CSupDV().Analyse(info, View(odd)));

    // Cut short: the frame cannot be compared and is rejected without reading past the end.
    const Bytes whole = DvFrame(false, 0xC0, 0xC8);
    for (size_t keep : {size_t(0), size_t(479), size_t(481), whole.size() - 1}) {
        Bytes cut(whole.begin(), whole.begin() + static_cast<long>(keep));
        EXPECT_FALSE(CSupDV().Analyse(info, View(cut))) << keep;
        EXPECT_EQ(info, DvInfo{});
    }
    EXPECT_TRUE(CSupDV().Analyse(info, View(whole)));
    EXPECT_EQ(info.pal, 0);
}

// --- H.264 ---

VideoHeader H264(const Bytes& b, bool* ok = nullptr) {
    VideoHeader h;
    CSupH264 parser;
    const bool accepted = parser.Analyse(h, View(b));
    if (ok) *ok = accepted;
    return h;
}

TEST(H264, RealStreams) {
    struct Case {
        const char* name;
        int width, height;
    };
    // ffprobe reports 1920x1080; the size here is uncropped, in whole macroblocks.
    const Case cases[] = {{"h264_1080.264", 1920, 1088},    {"h264_640x360.264", 640, 368},
                          {"h264_320x240.264", 320, 240},   {"h264_high_cqm.264", 640, 480},
                          {"h264_444.264", 352, 288}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool ok = false;
        const VideoHeader h = H264(test::Sample(c.name), &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(h.present, 1);
        EXPECT_EQ(h.version, 6);
        EXPECT_EQ(h.width, c.width);
        EXPECT_EQ(h.height, c.height);
    }
}

// An SPS NAL unit (with a four-byte start code) in the layout of the given profile.
struct SpsFields {
    int profile = 66;
    int reserved5 = 0;
    int widthMbs = 120, heightUnits = 68;
    bool frameMbsOnly = true;
    int pocType = 2;
    int pocCycle = 0;
    int chromaFormat = 1;
    bool scalingMatrix = false;
    bool cropping = false;
};
Bytes Sps(const SpsFields& f) {
    test::BitWriter w;
    w.Put(0x67, 8).Put(static_cast<unsigned>(f.profile), 8).Put(0, 3).Put(static_cast<unsigned>(f.reserved5), 5);
    w.Put(40, 8).Ue(0);
    const std::initializer_list<int> high = {100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135};
    if (std::find(high.begin(), high.end(), f.profile) != high.end()) {
        w.Ue(static_cast<uint32_t>(f.chromaFormat));
        if (f.chromaFormat == 3) w.Put(0, 1);
        w.Ue(2).Ue(2).Put(0, 1).Put(f.scalingMatrix, 1);
        if (f.scalingMatrix) {
            for (int i = 0; i < (f.chromaFormat == 3 ? 12 : 8); ++i) {
                w.Put(1, 1);
                // A list that changes every entry, then one that ends early with a zero step.
                const int size = i < 6 ? 16 : 64;
                if (i % 2 == 0) {
                    for (int j = 0; j < size; ++j) w.Se(j % 2 ? 3 : -3);
                } else {
                    w.Se(-8);  // next scale 0: the rest of the list repeats the last one
                }
            }
        }
    }
    w.Ue(0).Ue(static_cast<uint32_t>(f.pocType));
    if (f.pocType == 0) w.Ue(2);
    if (f.pocType == 1) {
        w.Put(0, 1).Ue(1).Ue(1).Ue(static_cast<uint32_t>(f.pocCycle));
        for (int i = 0; i < f.pocCycle && i < 255; ++i) w.Ue(1);
    }
    w.Ue(1).Put(0, 1).Ue(static_cast<uint32_t>(f.widthMbs - 1)).Ue(static_cast<uint32_t>(f.heightUnits - 1));
    w.Put(f.frameMbsOnly, 1);
    if (!f.frameMbsOnly) w.Put(1, 1);
    w.Put(1, 1).Put(f.cropping, 1);
    if (f.cropping) w.Ue(0).Ue(0).Ue(0).Ue(4);
    w.Put(0, 1).Align(true);
    Bytes b = {0, 0, 0, 1};
    b.insert(b.end(), w.Data().begin(), w.Data().end());
    return b;
}

Bytes Nal(uint8_t header, std::initializer_list<uint8_t> body = {0x80}) {
    Bytes b = {0, 0, 0, 1, header};
    b.insert(b.end(), body);
    return b;
}

TEST(H264, UnitsEndWhereTheNextZeroRunBegins) {
    // Each case: bytes, then the units' (start, size) in order.
    struct Case {
        Bytes bytes;
        std::vector<std::pair<uint64_t, uint64_t>> units;
    };
    const std::vector<Case> cases = {
        {{0, 0, 0, 1, 0x67, 1, 2, 0, 0, 0, 1, 0x68, 3}, {{4, 3}, {11, 2}}},
        {{0, 0, 0, 1, 0x67, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x68, 3}, {{4, 2}, {15, 2}}},  // a long run between
        {{0, 0, 0, 1, 0x67, 1, 0, 0}, {{4, 2}}},                                         // zeros at the end
        {{0, 0, 0, 1, 0x67, 1, 0, 0, 0, 0, 0}, {{4, 2}}},                                // a run at the end
        {{0, 0, 0, 1, 0x67, 0, 1, 0, 0, 0, 1, 0x65}, {{4, 3}, {11, 1}}},                 // a last unit of one byte
        {{0, 0, 0, 1, 0x67, 0, 1, 0, 0, 0, 1}, {{4, 3}}},                                 // a code with nothing after it
        {{1, 2, 3, 0, 0, 1, 0x67}, {}},                                                   // three-byte codes only
    };
    for (const Case& c : cases) {
        const ByteView data = View(c.bytes);
        std::vector<std::pair<uint64_t, uint64_t>> units;
        uint64_t from = 0, start = 0;
        for (ByteView unit = CSupH264::NextNalUnit(data, from, start); !unit.empty();
             unit = CSupH264::NextNalUnit(data, from, start)) {
            units.emplace_back(start, unit.size());
            from = start + unit.size();
        }
        EXPECT_EQ(units, c.units) << ::testing::PrintToString(c.bytes);
    }
}

TEST(H264, OneSpsSetsTheSizeAndScoresTwo) {
    CSupH264 parser;
    VideoHeader h;
    EXPECT_TRUE(parser.Analyse(h, View(Sps({}))));
    EXPECT_EQ(parser.Score(), 2);
    EXPECT_EQ(h.width, 1920);
    EXPECT_EQ(h.height, 1088);

    SpsFields fields;  // 33 map units of field pairs are 1088 lines too
    fields.frameMbsOnly = false;
    fields.heightUnits = 34;
    fields.cropping = true;
    EXPECT_EQ(H264(Sps(fields)).height, 1088);
    fields.pocType = 1;
    fields.pocCycle = 3;
    EXPECT_EQ(H264(Sps(fields)).height, 1088);
    fields.pocType = 0;
    EXPECT_EQ(H264(Sps(fields)).width, 1920);
}

// Coded sizes far beyond every level (up to the largest a NAL unit can hold
// without a start code inside) are a damaged parameter set: no size, a penalty.
TEST(H264, CodedSizesBeyondEveryLevelAreRejected) {
    const struct {
        int widthMbs, heightUnits;
        bool frameMbsOnly;
        int width, height;
    } cases[] = {{120, 68, true, 1920, 1088},        {4096, 2048, false, 65536, 65536},
                 {4097, 68, true, 0, 0},             {120, 2049, false, 0, 0},
                 {0x00400001, 68, true, 0, 0},       {120, 0x00300000, false, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.widthMbs);
        SpsFields fields;
        fields.widthMbs = c.widthMbs;
        fields.heightUnits = c.heightUnits;
        fields.frameMbsOnly = c.frameMbsOnly;
        CSupH264 parser;
        VideoHeader h;
        parser.Analyse(h, View(Sps(fields)));
        EXPECT_EQ(h.width, c.width);
        EXPECT_EQ(h.height, c.height);
        if (c.width == 0) {
            EXPECT_LT(parser.Score(), 0);
        }
    }
}

TEST(H264, CroppedSizeFollowsTheChromaFormat) {
    // The builder crops four units off the bottom; a unit is as tall as the
    // vertical chroma subsampling, doubled for field pairs.
    struct Case {
        int profile, chroma;
        bool frameMbsOnly;
        int croppedHeight;
    };
    const Case cases[] = {{66, 1, true, 1080}, {66, 1, false, 1072}, {100, 0, true, 1084},
                          {122, 2, true, 1084}, {244, 3, true, 1084}, {244, 3, false, 1080}};
    for (const Case& c : cases) {
        SpsFields f;
        f.profile = c.profile;
        f.chromaFormat = c.chroma;
        f.frameMbsOnly = c.frameMbsOnly;
        f.heightUnits = c.frameMbsOnly ? 68 : 34;
        f.cropping = true;
        const VideoHeader h = H264(Sps(f));
        EXPECT_EQ(h.height, 1088) << c.profile << " " << c.chroma;
        EXPECT_EQ(h.croppedWidth, 1920) << c.profile << " " << c.chroma;
        EXPECT_EQ(h.croppedHeight, c.croppedHeight) << c.profile << " " << c.chroma;
    }
    EXPECT_EQ(H264(Sps({})).croppedHeight, 0);  // no cropping, no cropped size
}

TEST(H264, HighProfileFieldsAreReadBeforeTheSize) {
    // The same picture size in every profile layout; in the high profiles the
    // chroma, bit-depth and scaling-list fields come first and must be stepped over.
    for (int profile : {100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135}) {
        for (int chroma : {1, 3}) {
            for (bool matrix : {false, true}) {
                SpsFields f;
                f.profile = profile;
                f.chromaFormat = chroma;
                f.scalingMatrix = matrix;
                f.widthMbs = 45;
                f.heightUnits = 30;
                f.pocType = 0;
                bool ok = false;
                const VideoHeader h = H264(Sps(f), &ok);
                EXPECT_TRUE(ok) << profile;
                EXPECT_EQ(h.width, 720) << profile << " " << chroma << " " << matrix;
                EXPECT_EQ(h.height, 480) << profile << " " << chroma << " " << matrix;
            }
        }
    }
    // Main profile (77) has none of them.
    SpsFields main;
    main.profile = 77;
    main.widthMbs = 40;
    EXPECT_EQ(H264(Sps(main)).width, 640);
}

TEST(H264, ScoreRules) {
    // constraint_set3 set: the reserved bits are not zero, -5 + 1.
    SpsFields f;
    f.reserved5 = 0x10;
    CSupH264 parser;
    VideoHeader h;
    EXPECT_FALSE(parser.Analyse(h, View(Sps(f))));
    EXPECT_EQ(parser.Score(), -4);
    EXPECT_EQ(h.width, 0);  // rejected: the header is zeroed

    // ... unless other SPS units lift the score above 0.
    Bytes lifted = Sps(f);
    for (int i = 0; i < 3; ++i) test::Repeat(lifted, Sps(f), 1);
    SpsFields good;
    good.reserved5 = 0;
    for (int i = 0; i < 5; ++i) test::Repeat(lifted, Sps(good), 1);
    EXPECT_FALSE(H264(lifted).present);  // 4 * -4 + 5 * 2 = -6
    for (int i = 0; i < 4; ++i) test::Repeat(lifted, Sps(good), 1);
    EXPECT_TRUE(H264(lifted).present);  // 4 * -4 + 9 * 2 = 2
}

TEST(H264, SizeChangesAndGivingUp) {
    SpsFields small;
    small.widthMbs = 20;
    small.heightUnits = 15;
    Bytes b = Sps({});
    test::Repeat(b, Sps(small), 1);
    CSupH264 parser;
    VideoHeader h;
    EXPECT_FALSE(parser.Analyse(h, View(b)));  // 2 - 5 + 1 (reserved bits) = -2
    EXPECT_EQ(parser.Score(), -2);
    test::Repeat(b, Sps(small), 3);  // the new size is now the reference: +2 each
    CSupH264 again;
    VideoHeader h2;
    EXPECT_TRUE(again.Analyse(h2, View(b)));
    EXPECT_EQ(h2.width, 1920);  // the reported size stays the first one

    // Twenty units of type 13 and above drive the score below -99 and stop
    // the scan: an SPS after them is never read.
    Bytes junk;
    for (int i = 0; i < 20; ++i) test::Repeat(junk, Nal(0x0D + static_cast<uint8_t>(i % 19)), 1);
    CSupH264 third;
    VideoHeader h3;
    test::Repeat(junk, Sps({}), 1);
    EXPECT_FALSE(third.Analyse(h3, View(junk)));
    EXPECT_EQ(third.Score(), -100);
    EXPECT_EQ(h3.width, 0);

    // Three-byte start codes are not found.
    Bytes shortCodes = Sps({});
    shortCodes.erase(shortCodes.begin());
    shortCodes.insert(shortCodes.begin(), 0x11);
    EXPECT_FALSE(H264(shortCodes).present);

    // A POC cycle of 255 or more stops the SPS and costs 5.
    SpsFields cycle;
    cycle.pocType = 1;
    cycle.pocCycle = 255;
    CSupH264 fourth;
    VideoHeader h4;
    EXPECT_FALSE(fourth.Analyse(h4, View(Sps(cycle))));
    EXPECT_EQ(fourth.Score(), 1 - 5 + 1);
}

TEST(H264, PicParameterSets) {
    // Slice groups: map type 6 with 3 groups and 4 map units reads 2-bit ids.
    test::BitWriter w;
    w.Put(0x68, 8).Ue(0).Ue(0).Put(1, 1).Put(0, 1).Ue(2).Ue(6).Ue(3).Put(0b10011100, 8);
    w.Ue(0).Ue(0).Put(0, 1).Put(0, 2).Ue(0).Ue(0).Ue(0).Put(1, 1).Put(0, 1).Put(0, 1).Align(true);
    CSupH264 parser;
    parser.BeginUnit(View(w.Data()));
    PicParamSet pps;
    parser.ParsePps(pps);
    EXPECT_EQ(pps.valid, 1);
    EXPECT_EQ(pps.entropy_coding_mode_flag, 1);
    EXPECT_EQ(pps.slice_group_map_type, 6);
    EXPECT_EQ(pps.slice_group_id[0], 2);
    EXPECT_EQ(pps.slice_group_id[3], 0);
    EXPECT_EQ(pps.deblocking_filter_control_present_flag, 1);
    EXPECT_EQ(parser.Score(), 0);

    // Eight or more slice groups: -5 and the rest is not read.
    test::BitWriter many;
    many.Put(0x68, 8).Ue(0).Ue(0).Put(0, 2).Ue(8).Align(true);
    CSupH264 second;
    second.BeginUnit(View(many.Data()));
    PicParamSet bad;
    second.ParsePps(bad);
    EXPECT_EQ(bad.valid, 0);
    EXPECT_EQ(second.Score(), -5);
}

}  // namespace
}  // namespace torvo
