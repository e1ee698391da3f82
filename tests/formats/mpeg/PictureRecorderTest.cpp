// The picture recorder, the GOP pattern and the order mapping over byte
// builders: the cases ffmpeg cannot make (temporal-reference gaps, a time
// code that jumps back, packed-bitstream placeholders, a clock break), and
// start codes split between payloads at every position.
#include <gtest/gtest.h>

#include "ScanBuilders.h"
#include "formats/mpeg/PictureRecorder.h"

namespace torvo {
namespace {

using test::Bytes;

std::string Types(const CPictureRecorder& r) {
    std::string out;
    for (size_t k = 0; k < r.PictureCount(); ++k) out += "SIPBD"[r.Frames()[k] & 7];
    return out;
}

void Record(CPictureRecorder& r, const Bytes& b) {
    r.RecordPictures(ByteView(b.data(), b.size()), 0xE0);
}

TEST(PictureRecorder, ClosedTwelvePictureGopsRepeated) {
    CPictureRecorder r;
    Bytes stream;
    for (int g = 0; g < 5; ++g) {
        const Bytes gop = test::CodedGop("IBBPBBPBBPBB", g, true);
        stream.insert(stream.end(), gop.begin(), gop.end());
    }
    Record(r, stream);
    r.Flush();
    EXPECT_EQ(Types(r), std::string(5 * 0, ' ') + "IBBPBBPBBPBBIBBPBBPBBPBBIBBPBBPBBPBBIBBPBBPBBPBBIBBPBBPBBPBB");
    for (size_t k = 0; k < r.PictureCount(); ++k) {
        const uint32_t marks = r.Frames()[k] & (kFrameGopStart | kFrameClosedGop);
        EXPECT_EQ(marks, k % 12 == 0 ? uint32_t(kFrameGopStart | kFrameClosedGop) : 0u) << k;
        EXPECT_EQ(r.Frames()[k] & kFrameReferenceGap, 0u) << k;
    }
    const VideoStreamCounters& s = r.Video();
    EXPECT_EQ(s.pictures, 60u);
    EXPECT_EQ(s.longestBRun, 2u);
    EXPECT_EQ(s.longestSinceI, 12u);
    EXPECT_EQ(s.gaps, 0u);
    EXPECT_EQ(s.gopLengthSum, 60u);
    const GopPattern g = AnalyseGopPattern(r.Frames(), r.PictureCount(), r.GopHeaderSeen());
    EXPECT_EQ(g.gopLength, 12);
    EXPECT_EQ(g.bSpacing, 3);
    EXPECT_EQ(g.regularity, 100);
}

TEST(PictureRecorder, GopPatternsAndTheirSpacing) {
    // Frame lists in coded order, GOPs marked by I pictures (no GOP headers).
    struct Case {
        std::string types;
        int n, m, regularity;
    } cases[] = {
        {"IPBBPBBPBB" "IPBBPBBPBB" "IPBBPBBPBB" "I", 10, 3, 100},  // closed, I shown first
        {"IPPPPP" "IPPPPP" "IPPPPP" "I", 6, 1, 100},
        {"IPBBPBBPBBPB" "IPBBPBBPBBPB" "I", 12, 0, 100},            // an irregular last B run
        {"IBBPBB" "IBBPBB" "IBBPBBPBB" "IBBPBB" "I", 6, 3, 75},
        {"I", 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> frames;
        for (char t : c.types) frames.push_back(t == 'I' ? 1u : t == 'P' ? 2u : 3u);
        const GopPattern g = AnalyseGopPattern(frames, frames.size(), false);
        EXPECT_EQ(g.gopLength, c.n) << c.types;
        EXPECT_EQ(g.bSpacing, c.m) << c.types;
        EXPECT_EQ(g.regularity, c.regularity) << c.types;
    }
}

TEST(PictureRecorder, TemporalReferenceGapMarksItsPicture) {
    CPictureRecorder r;
    Bytes b = test::GopHeader(0, true);
    for (int tr : {0, 1, 2, 3, 4, 7, 8}) {
        const Bytes p = test::PictureHeader(tr, tr == 0 ? 1 : 2);
        b.insert(b.end(), p.begin(), p.end());
    }
    const Bytes next = test::GopHeader(1, true);
    b.insert(b.end(), next.begin(), next.end());
    Record(r, b);
    r.Flush();
    EXPECT_EQ(r.Video().gaps, 1u);
    EXPECT_EQ(r.Video().referencesMissing, 2u);
    EXPECT_EQ(r.Video().gopsWithGaps, 1u);
    for (size_t k = 0; k < r.PictureCount(); ++k)
        EXPECT_EQ((r.Frames()[k] & kFrameReferenceGap) != 0, k == 5) << k;
}

TEST(PictureRecorder, TimeCodeJumpingBackAndBrokenLink) {
    CPictureRecorder r;
    Bytes b;
    for (int g : {10, 11, 12, 3}) {
        const Bytes gop = test::CodedGop("IPP", g, false);
        b.insert(b.end(), gop.begin(), gop.end());
    }
    const Bytes broken = test::GopHeader(4, false, true);
    b.insert(b.end(), broken.begin(), broken.end());
    Record(r, b);
    r.Flush();
    ASSERT_EQ(r.PictureCount(), 12u);
    for (size_t k = 0; k < 12; ++k) {
        EXPECT_EQ((r.Frames()[k] & kFrameTimeCodeBreak) != 0, k == 8) << k;  // the last picture before the GOP at 0:03
        EXPECT_EQ((r.Frames()[k] & kFrameBrokenLink) != 0, k == 11) << k;
    }
}

TEST(PictureRecorder, PackedBitstreamPlaceholdersAddNoPictures) {
    CPictureRecorder r;
    r.Configure(CPictureRecorder::Mode::kMpeg4, 5, false);
    // Chunks as an AVI holds them: I; P+B packed together; the placeholder; P; N-VOP with its own time.
    const std::vector<Bytes> chunks = {test::Vop(0, 0, true), [] {
                                           Bytes b = test::Vop(1, 3, true);
                                           const Bytes bv = test::Vop(2, 1, true);
                                           b.insert(b.end(), bv.begin(), bv.end());
                                           return b;
                                       }(),
                                       test::Vop(1, 1, false), test::Vop(1, 4, true), test::Vop(1, 5, false)};
    for (const Bytes& c : chunks) Record(r, c);
    r.Flush();
    EXPECT_EQ(Types(r), "IPBPP");
    EXPECT_NE(r.Frames()[1] & kFramePackedBefore, 0u);  // the P sent with the B
    EXPECT_NE(r.Frames()[3] & kFramePlaceholder, 0u);   // the index after the placeholder
    EXPECT_EQ(r.Frames()[2] & kFramePlaceholder, 0u);
    EXPECT_NE(r.Frames()[4] & kFrameNotCoded, 0u);      // a duplicated frame
}

TEST(PictureRecorder, ClockDiscontinuityMarksTheLastPicture) {
    CPictureRecorder r;
    for (int k = 0; k < 40; ++k) {
        const Bytes pack = test::Mpeg2Pack(k == 30 ? 100 : 3600u * uint64_t(k + 1));
        r.RecordPack(ByteView(pack.data(), pack.size()));
        Record(r, test::PictureHeader(k, k % 12 ? 2 : 1));
    }
    r.Flush();
    for (size_t k = 0; k < r.PictureCount(); ++k)
        EXPECT_EQ((r.Frames()[k] & kFrameClockBreak) != 0, k == 29) << k;
}

TEST(PictureRecorder, SystemHeaderAfterAPackIsCheckedBeforeTheClock) {
    // The clock jumps back at the 31st pack; what follows that pack decides
    // whether the jump counts.
    struct Case {
        const char* name;
        Bytes behind;
        bool accepted;
    };
    const Case cases[] = {
        {"nothing", {}, true},
        {"valid system header", test::SystemHeader(), true},
        {"damaged system header", test::SystemHeader(false), false},
        {"system header cut off by the end", Bytes{0, 0, 1, 0xBB, 0, 9, 0x80}, true},
        {"a PES packet", test::Pes(0xE0, Bytes(8, 0)), true},
    };
    for (const Case& c : cases) {
        CPictureRecorder r;
        for (int k = 0; k < 40; ++k) {
            Bytes pack = test::Mpeg2Pack(k == 30 ? 100 : 3600u * uint64_t(k + 1));
            if (k == 30) pack.insert(pack.end(), c.behind.begin(), c.behind.end());
            EXPECT_EQ(r.RecordPack(ByteView(pack.data(), pack.size())), k != 30 || c.accepted) << c.name;
            Record(r, test::PictureHeader(k, k % 12 ? 2 : 1));
        }
        r.Flush();
        EXPECT_EQ((r.Frames()[29] & kFrameClockBreak) != 0, c.accepted) << c.name;
    }
}

TEST(PictureRecorder, StartCodesSplitBetweenPayloadsAreFound) {
    Bytes whole;
    for (int g = 0; g < 3; ++g) {
        const Bytes gop = test::CodedGop("IBBPBBPBB", g, g == 0);
        whole.insert(whole.end(), gop.begin(), gop.end());
    }
    CPictureRecorder reference;
    Record(reference, whole);
    reference.Flush();
    ASSERT_EQ(reference.PictureCount(), 27u);
    for (const size_t piece : {1u, 2u, 3u, 5u, 11u, 12u, 13u, 63u, 64u, 100u}) {
        CPictureRecorder r;
        for (size_t at = 0; at < whole.size(); at += piece)
            r.RecordPictures(ByteView(whole.data() + at, std::min(piece, whole.size() - at)), 0xE0);
        r.Flush();
        EXPECT_EQ(Types(r), Types(reference)) << piece;
        EXPECT_EQ(std::vector<uint32_t>(r.Frames().begin(), r.Frames().begin() + 28),
                  std::vector<uint32_t>(reference.Frames().begin(), reference.Frames().begin() + 28)) << piece;
        EXPECT_EQ(r.Video().largestPicture, reference.Video().largestPicture) << piece;
    }
}

TEST(PictureRecorder, PictureCodingExtensionFields) {
    CPictureRecorder r;
    r.Configure(CPictureRecorder::Mode::kMpeg12, 0, true);
    Bytes b = test::PictureHeader(0, 1, 0);
    // picture coding extension: id 8, then f-codes; byte 6 picture_structure, byte 7 tff/rff.
    test::Append(b, {0, 0, 1, 0xB5, 0x8F, 0xFF, 0xF2, 0x82, 0x00});
    test::Filler(b, 20);
    Record(r, b);
    r.Flush();
    ASSERT_EQ(r.PictureCount(), 1u);
    const uint32_t word = r.Frames()[0];
    EXPECT_NE(word & kFrameTopFirst, 0u);
    EXPECT_NE(word & kFrameRepeatField, 0u);
    EXPECT_EQ((word & kFrameStructureMask) >> kFrameStructureShift, 2u);
}

TEST(PictureRecorder, OrderMapping) {
    const std::vector<uint32_t> ipbb = {1, 2, 3, 3};
    EXPECT_EQ(CodedToDisplay(ipbb, 4, 1), 3u);
    EXPECT_EQ(CodedToDisplay(ipbb, 4, 2), 1u);
    const size_t shown[] = {0, 2, 3, 1};  // display I B B P
    for (size_t n = 0; n < 4; ++n) EXPECT_EQ(DisplayToCoded(ipbb, 4, n), shown[n]) << n;
    for (size_t n = 0; n < 4; ++n) EXPECT_EQ(CodedToDisplay(ipbb, 4, DisplayToCoded(ipbb, 4, n)), n) << n;
}

TEST(PictureRecorder, FrameListStopsGrowingAtItsLastIndex) {
    CPictureRecorder r;
    Bytes b;
    for (int k = 0; k < 600; ++k) {
        const Bytes p = test::PictureHeader(0, 2, 0);
        b.insert(b.end(), p.begin(), p.end());
    }
    for (int round = 0; round < 450; ++round) Record(r, b);  // 270,000 pictures
    r.Flush();
    EXPECT_EQ(r.LastIndex(), kLastFrameIndex);
    EXPECT_EQ(r.Video().pictures, 270000u);
}

}  // namespace
}  // namespace torvo
