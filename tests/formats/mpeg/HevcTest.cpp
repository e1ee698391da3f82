// H.265/HEVC: the elementary stream test over real streams and damaged
// copies of them, and sequence parameter sets built bit by bit for the parts
// x265 never writes (short-term sets predicted from one another, long-term
// pictures, field pictures).
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "analysis/TypedReport.h"
#include "formats/containers/ElementaryProbe.h"
#include "formats/mpeg/MpegTestUtil.h"
#include "formats/mpeg/SupH264.h"
#include "formats/mpeg/SupHEVC.h"

namespace torvo {
namespace {

using test::Bytes;
using test::View;

TEST(Hevc, ElementaryStreamSamples) {
    struct Case {
        const char* name;
        int width, height, codedHeight;
        double rate;
        int64_t pictures;
        const char* codecName;
    };
    // ffprobe -count_frames and mediainfo agree on every figure (mediainfo
    // states no rate for the stream without VUI timing, ffprobe guesses 25).
    const Case cases[] = {
        {"hevc_320x180.hevc", 320, 180, 192, 25.0, 5, "HEVC Main@L2"},
        {"hevc_no_timing.hevc", 320, 180, 192, 0, 3, "HEVC Main@L2"},
        {"hevc_422_10bit_lists.hevc", 320, 180, 192, 24000.0 / 1001, 3, "HEVC RExt@L2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = test::Sample(c.name);
        HevcSequence sequence;
        ASSERT_TRUE(CSupHEVC::IsElementaryStream(View(bytes), sequence));
        EXPECT_EQ(sequence.width, c.width);
        EXPECT_EQ(sequence.height, c.height);
        EXPECT_EQ(sequence.codedHeight, c.codedHeight);
        EXPECT_NEAR(sequence.FrameRate(), c.rate, 1e-9);
        EXPECT_EQ(CSupHEVC::CountPictures(View(bytes)), c.pictures);
        EXPECT_EQ(HevcName(sequence), c.codecName);
        // Its NAL headers make no H.264 stream.
        VideoHeader h264;
        EXPECT_FALSE(CSupH264().Analyse(h264, View(bytes)));
    }
}

TEST(Hevc, OtherStreamsAndDamagedOnesAreNotHevc) {
    // Every other elementary sample, H.264 and MPEG video among them.
    for (const std::string& name : test::SampleNamesIn("mpeg")) {
        if (name.ends_with(".hevc") || name.ends_with(".sh")) continue;
        SCOPED_TRACE(name);
        HevcSequence sequence;
        EXPECT_FALSE(CSupHEVC::IsElementaryStream(View(test::Sample(name)), sequence));
    }
    // x265 writes 00 00 00 01 40 01 (VPS) ... 42 01 (SPS) ... 44 01 (PPS), SEI, then the IDR_N_LP slice.
    const Bytes good = test::Sample("hevc_320x180.hevc");
    auto find = [&good](std::initializer_list<uint8_t> unit) {
        const std::vector<uint8_t> pattern = unit;
        const auto at = std::search(good.begin(), good.end(), pattern.begin(), pattern.end());
        return static_cast<size_t>(at - good.begin());
    };
    const size_t vps = find({0, 0, 1, 0x40, 0x01}) + 3, sps = find({0, 0, 1, 0x42, 0x01}) + 3,
                 pps = find({0, 0, 1, 0x44, 0x01}) + 3, slice = find({0, 0, 1, 0x28, 0x01}) + 3;
    ASSERT_LT(slice, good.size());
    struct Damage {
        const char* what;
        size_t at;
        uint8_t value;
    };
    const Damage damages[] = {
        {"forbidden bit", vps, 0xC0},
        {"temporal id plus 1 of zero", vps + 1, 0x00},
        {"VPS reserved 0xffff", vps + 4, 0xFE},
        {"the SPS a reserved type", sps, 41 << 1},
        {"the PPS an unspecified type, so there is none", pps, 48 << 1},
        {"the PPS id beyond 63", pps + 2, 0x00},
        {"the slice not the first of its picture", slice + 2, 0x7F},
        {"the slice of a reserved type", slice, 23 << 1},
        {"a start code that opens nothing HEVC", 0, 0x01},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        Bytes bad = good;
        bad[d.at] = d.value;
        HevcSequence sequence;
        EXPECT_FALSE(CSupHEVC::IsElementaryStream(View(bad), sequence));
    }
    // Leading bytes other than zeros, and the stream cut before its first slice.
    HevcSequence sequence;
    Bytes shifted = good;
    shifted.insert(shifted.begin(), 0x47);
    EXPECT_FALSE(CSupHEVC::IsElementaryStream(View(shifted), sequence));
    EXPECT_FALSE(CSupHEVC::IsElementaryStream(View(good).Sub(0, slice - 4), sequence));
    EXPECT_TRUE(CSupHEVC::IsElementaryStream(View(good).Sub(0, slice + 3), sequence));
    EXPECT_EQ(CSupHEVC::CountPictures(View(good).Sub(0, slice + 3)), 1);
}

TEST(Hevc, AContainersStreamTakesTheVuiRate) {
    // What a transport stream collected of its HEVC track, timed by its smallest
    // step between time stamps (3,753 ticks: 41,700 us, 23.981 a second): the
    // picture's own rate is the VUI's (ffprobe: 24000/1001).
    AnalysisRecords records;
    records.container.typeId = kTypeTransportStream;
    records.container.videoCount = 1;
    records.video.usPerFrame = 41700;
    records.video.fourcc = uint32_t('H') | uint32_t('E') << 8 | uint32_t('V') << 16 | uint32_t('C') << 24;
    records.video.data.Append(View(test::Sample("hevc_422_10bit_lists.hevc")));
    ProbeCollectedVideo(VideoCodecKind::kHevc, records);
    EXPECT_EQ(records.video.width, 320);
    EXPECT_EQ(records.video.height, 180);
    EXPECT_EQ(records.video.codecName, "HEVC RExt@L2");
    const TypedReport report = BuildTypedReport(records, "", "");
    ASSERT_FALSE(report.streams.empty());
    EXPECT_EQ(report.streams[0].codec, "hevc");
    EXPECT_EQ(report.streams[0].frameRate, 23.976);
}

// Writes the bits of a parameter set, then makes a NAL unit of them: the
// stop bit, and emulation prevention bytes where 00 00 would be followed by 0-3.
class BitWriter {
public:
    void Bits(uint64_t value, int n) {
        for (int i = n - 1; i >= 0; --i) bits_.push_back(static_cast<uint8_t>((value >> i) & 1));
    }
    void Ue(uint32_t value) {
        const uint64_t x = uint64_t(value) + 1;
        int length = 0;
        while ((x >> (length + 1)) != 0) ++length;
        Bits(0, length);
        Bits(x, length + 1);
    }
    Bytes Nal(uint8_t header0, uint8_t header1) const {
        std::vector<uint8_t> bits = bits_;
        bits.push_back(1);
        while (bits.size() % 8) bits.push_back(0);
        Bytes out = {header0, header1};
        int zeros = 0;
        for (size_t i = 0; i < bits.size(); i += 8) {
            uint8_t b = 0;
            for (size_t k = 0; k < 8; ++k) b = static_cast<uint8_t>(b << 1 | bits[i + k]);
            if (zeros >= 2 && b <= 3) {
                out.push_back(3);
                zeros = 0;
            }
            out.push_back(b);
            zeros = b == 0 ? zeros + 1 : 0;
        }
        return out;
    }

private:
    std::vector<uint8_t> bits_;
};

struct SpsChoices {
    bool fieldPictures = false;
    uint32_t firstSetNegative = 2;  // 17 is beyond any set
    bool stopAfterSets = false;
};

// 1920x1088 cropped to 1080, Main@L4, four short-term sets (the last three
// predicted, the third with a delta POC of 0 that counts for nothing), two
// long-term pictures, PCM, and a VUI with 1001/60000 timing.
Bytes BuiltSps(const SpsChoices& c) {
    BitWriter w;
    w.Bits(0, 4);                  // sps_video_parameter_set_id
    w.Bits(0, 3);                  // sps_max_sub_layers_minus1
    w.Bits(1, 1);                  // sps_temporal_id_nesting_flag
    w.Bits(0, 2), w.Bits(0, 1), w.Bits(1, 5);  // profile space, tier, Main
    w.Bits(0x60000000, 32), w.Bits(0xB, 4), w.Bits(0, 43), w.Bits(0, 1);
    w.Bits(120, 8);                // general_level_idc: 4
    w.Ue(0), w.Ue(1);              // sps id, 4:2:0
    w.Ue(1920), w.Ue(1088);
    w.Bits(1, 1), w.Ue(0), w.Ue(0), w.Ue(0), w.Ue(4);  // conformance window: 8 lines off the bottom
    w.Ue(0), w.Ue(0), w.Ue(4);     // bit depths, log2_max_pic_order_cnt_lsb_minus4: 8 bits
    w.Bits(1, 1), w.Ue(4), w.Ue(2), w.Ue(0);
    for (const uint32_t v : {0, 3, 0, 3, 1, 1}) w.Ue(v);
    w.Bits(0, 1);                  // scaling_list_enabled_flag
    w.Bits(3, 2);                  // amp, sample adaptive offset
    w.Bits(1, 1), w.Bits(0x77, 8), w.Ue(0), w.Ue(1), w.Bits(1, 1);  // PCM
    w.Ue(4);
    // Set 0: S0 = -1, -3; S1 = +1.
    w.Ue(c.firstSetNegative), w.Ue(1);
    for (uint32_t i = 0; i < c.firstSetNegative; ++i) w.Ue(i == 0 ? 0 : 1), w.Bits(1, 1);
    w.Ue(0), w.Bits(1, 1);
    // Set 1 from set 0, delta -1: S0 = -1, -2, -4 (the +1 lands on 0 and goes).
    w.Bits(1, 1), w.Bits(1, 1), w.Ue(0);
    w.Bits(1, 1), w.Bits(0, 1), w.Bits(1, 1), w.Bits(0, 1), w.Bits(0, 1), w.Bits(1, 1);
    // Set 2 from set 1, delta +2: S0 = -2; S1 = +1, +2 (the -2 lands on 0). Three, not four.
    w.Bits(1, 1), w.Bits(0, 1), w.Ue(1);
    for (int j = 0; j < 4; ++j) w.Bits(1, 1);
    // Set 3 from set 2, delta +1: four flags, as many as set 2 has pictures and one.
    w.Bits(1, 1), w.Bits(0, 1), w.Ue(0);
    for (int j = 0; j < 4; ++j) w.Bits(1, 1);
    if (!c.stopAfterSets) {
        w.Bits(1, 1), w.Ue(2), w.Bits(0x12, 8), w.Bits(1, 1), w.Bits(0x34, 8), w.Bits(0, 1);  // long-term pictures
        w.Bits(3, 2);                  // temporal MVP, strong intra smoothing
        w.Bits(1, 1);                  // vui_parameters_present_flag
        w.Bits(1, 1), w.Bits(255, 8), w.Bits(4, 16), w.Bits(3, 16);  // sample aspect ratio 4:3
        w.Bits(0, 1);                  // overscan
        w.Bits(1, 1), w.Bits(5, 3), w.Bits(0, 1), w.Bits(1, 1), w.Bits(0x010101, 24);  // signal type, colours
        w.Bits(1, 1), w.Ue(0), w.Ue(0);  // chroma sample locations
        w.Bits(0, 1), w.Bits(c.fieldPictures ? 1 : 0, 1), w.Bits(0, 1);
        w.Bits(1, 1), w.Ue(0), w.Ue(0), w.Ue(0), w.Ue(0);  // default display window
        w.Bits(1, 1), w.Bits(1001, 32), w.Bits(60000, 32), w.Bits(0, 1), w.Bits(0, 1);
        w.Bits(0, 1), w.Bits(0, 1);    // bitstream restriction, extensions
    }
    return w.Nal(0x42, 0x01);
}

TEST(Hevc, SequenceParametersThroughTheVuiTiming) {
    struct Case {
        const char* what;
        SpsChoices choices;
        double rate;  // 0: the timing is not reached
    };
    const Case cases[] = {
        {"frames", {}, 60000.0 / 1001},
        {"field pictures: two make a frame", {.fieldPictures = true}, 30000.0 / 1001},
        {"a set of 17 pictures", {.firstSetNegative = 17}, 0},
        {"cut after the sets", {.stopAfterSets = true}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes nal = BuiltSps(c.choices);
        HevcSequence s;
        ASSERT_TRUE(CSupHEVC().ParseSps(View(nal), s));
        EXPECT_EQ(s.width, 1920);
        EXPECT_EQ(s.height, 1080);
        EXPECT_EQ(s.codedHeight, 1088);
        EXPECT_EQ(HevcName(s), "HEVC Main@L4");
        EXPECT_NEAR(s.FrameRate(), c.rate, 1e-9);
    }
}

}  // namespace
}  // namespace torvo
