// The resize, pad and crop calculator on the standard PAL and NTSC sources.
#include "resize/ResizeCalculator.h"

#include <gtest/gtest.h>

namespace torvo {
namespace {

ResizeRecord Source(int width, int height, int32_t usPerFrame, double par, int target, bool anamorphic = false) {
    ResizeRecord r;
    r.width = width;
    r.height = height;
    r.usPerFrame = usPerFrame;
    r.pixelAspect = par;
    r.target = target;
    r.anamorphic = anamorphic;
    r.targetSystem = usPerFrame == 40000 ? kTvPal : kTvNtsc;
    return r;
}

TEST(Resize, PalDvdSource) {
    ResizeRecord r = Source(720, 576, 40000, 1.094, 0);
    ASSERT_TRUE(ComputeResize(r));
    EXPECT_EQ(r.resizeLine, "Resize to 360 x 288  ( w:[1/2]  h:[1/2] )");
    EXPECT_EQ(r.padTrimLine, "Trim 4 from each side for 352 x 288");
    EXPECT_EQ(r.system, kTvPal);
    EXPECT_EQ(r.aspect, kAspectStandard);
    EXPECT_EQ(r.sourceRow, 3);

    r.target = 3;
    ASSERT_TRUE(ComputeResize(r));
    EXPECT_EQ(r.resizeLine, "No resize req'd");
    EXPECT_EQ(r.padTrimLine, "No cropping req'd");

    r.target = kTargetSquare;
    ASSERT_TRUE(ComputeResize(r));
    EXPECT_EQ(r.resizeLine, "Resize to 787 x 576 (Use +/- for other target sizes)");
    EXPECT_EQ(r.padTrimLine, "Crop off any non-picture areas, if req'd");

    r.target = 1;  // SVCD: 480 wide from 720
    ASSERT_TRUE(ComputeResize(r));
    EXPECT_EQ(r.resizeLine, "Resize to 480 x 576  ( w:[2/3]  h:[1/1] )");
    EXPECT_EQ(r.padTrimLine, "No cropping req'd");
}

TEST(Resize, WideAndNtscSources) {
    ResizeRecord wide = Source(720, 576, 40000, 1.459, 3);
    ASSERT_TRUE(ComputeResize(wide));
    EXPECT_EQ(wide.aspect, kAspectWide);
    EXPECT_EQ(wide.resizeLine, "Resize to 720 x 432  ( w:[1/1]  h:[3/4] )");
    EXPECT_EQ(wide.padTrimLine, "Pad 72 to top and bottom for 720 x 576");

    // A 4:3 picture into an anamorphic frame is stretched vertically: trimmed.
    ResizeRecord stretched = Source(352, 288, 40000, 1.094, 0, true);
    ASSERT_TRUE(ComputeResize(stretched));
    EXPECT_EQ(stretched.resizeLine, "Resize to 352 x 384  ( w:[1/1]  h:[4/3] )");
    EXPECT_EQ(stretched.padTrimLine, "Trim 48 from top and bottom for 352 x 288");

    ResizeRecord ntsc = Source(720, 480, 33367, 0.912, kTargetSquare);
    ASSERT_TRUE(ComputeResize(ntsc));
    EXPECT_EQ(ntsc.system, kTvNtsc);
    EXPECT_EQ(ntsc.resizeLine, "Resize to 656 x 480 (Use +/- for other target sizes)");

    // NTSC 720 x 480 to VCD: 360 x 240, trimmed to 352.
    ntsc.target = 0;
    ASSERT_TRUE(ComputeResize(ntsc));
    EXPECT_EQ(ntsc.resizeLine, "Resize to 360 x 240  ( w:[1/2]  h:[1/2] )");
}

TEST(Resize, UnrecognisedSourcesAndOtherSystems) {
    ResizeRecord film = Source(720, 480, 41708, 0.912, 0);  // 23.976 fps
    film.resizeLine = "before";
    EXPECT_FALSE(ComputeResize(film));
    EXPECT_EQ(film.system, kTvNone);
    EXPECT_EQ(film.resizeLine, "before");  // not rewritten

    ResizeRecord odd = Source(640, 480, 40000, 1.0, 0);  // not a standard size
    EXPECT_FALSE(ComputeResize(odd));
    ResizeRecord square = Source(720, 576, 40000, 1.0, 0);  // neither 4:3 nor 16:9 pixels
    EXPECT_FALSE(ComputeResize(square));
    EXPECT_EQ(square.aspect, kAspectNone);

    // A PAL source with the panel on NTSC: recognised, no lines.
    ResizeRecord other = Source(720, 576, 40000, 1.094, 0);
    other.targetSystem = kTvNtsc;
    EXPECT_TRUE(ComputeResize(other));
    EXPECT_TRUE(other.resizeLine.empty());

    ResizeRecord classify = Source(352, 288, 40000, 1.094, kTargetClassify);
    EXPECT_TRUE(ComputeResize(classify));
    EXPECT_EQ(classify.sourceRow, 0);
    EXPECT_TRUE(classify.resizeLine.empty());
}

TEST(Resize, PadTrimTexts) {
    const SizeRow& vcd = *SizeTableRow(kTvPal, 0);
    EXPECT_EQ(PadTrimText(0, 0, 0, 0, vcd), "No cropping req'd");
    // Both pairs: short names and a separator; the odd share goes top and right.
    EXPECT_EQ(PadTrimText(3, 2, 1, 2, vcd), "Pad 1 to l, 2 to r, Pad 3 to t, 2 to b for 352 x 288");
    EXPECT_EQ(PadTrimText(-5, -4, -4, -4, vcd), "Trim 4 from l/r, Trim 5 from t, 4 from b for 352 x 288");
    EXPECT_EQ(PadTrimText(0, 0, -3, -4, vcd), "Trim 3 from left, 4 from right for 352 x 288");
    EXPECT_EQ(PadTrimText(8, 8, 0, 0, vcd), "Pad 8 to top and bottom for 352 x 288");
}

TEST(Resize, StepsAndFractions) {
    int w = 787, h = 576;  // 787 is prime: the next exact size is twice as large
    EXPECT_TRUE(StepSize(1, w, h));
    EXPECT_EQ(w, 1574);
    EXPECT_EQ(h, 1152);
    w = 768, h = 576;
    EXPECT_TRUE(StepSize(-1, w, h));
    EXPECT_EQ(w, 764);
    EXPECT_EQ(h, 573);
    w = 768, h = 576;
    EXPECT_TRUE(StepSize(2, w, h));
    EXPECT_EQ(w, 776);
    EXPECT_EQ(h, 582);
    w = 787, h = 576;
    EXPECT_FALSE(StepSize(5, w, h));  // beyond 4095 wide
    EXPECT_FALSE(StepSize(-1, w, h));  // no exact size below
    EXPECT_TRUE(StepSize(0, w, h));

    // The calculator takes a failed step back.
    ResizeRecord r = Source(720, 576, 40000, 1.094, kTargetSquare);
    r.steps = 5;
    EXPECT_FALSE(ComputeResize(r));
    EXPECT_EQ(r.steps, 4);
    r.steps = 1;
    ASSERT_TRUE(ComputeResize(r));
    EXPECT_EQ(r.resizeLine, "Resize to 1574 x 1152 (Use +/- for other target sizes)");

    int n = 12, d = 18;
    ReduceFraction(n, d);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(d, 3);
    n = 51840, d = 4739 * 12;
    ReduceFraction(n, d);
    EXPECT_EQ(n, 4320);
    EXPECT_EQ(d, 4739);
    n = 1019 * 2, d = 1019 * 4;  // primes above 1009 stay
    ReduceFraction(n, d);
    EXPECT_EQ(n, 1019);
    EXPECT_EQ(d, 2038);
}

}  // namespace
}  // namespace torvo
