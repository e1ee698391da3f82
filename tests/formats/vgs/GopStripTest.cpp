// Pixel checks of the main window's strip of the last pictures: whole 7-pixel
// cells only, the newest pictures when fewer cells fit, the picture-type
// colours of the picture-type bar, and the GOP and continuity marks.
#include <gtest/gtest.h>

#include "formats/mpeg/PictureRecorder.h"
#include "formats/vgs/GopStrip.h"

namespace torvo {
namespace {

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; }
constexpr uint32_t kI = Rgb(0xFC, 0xE0, 0xD2), kP = Rgb(0xD0, 0xD0, 0xFF), kB = Rgb(0xE0, 0xFF, 0xE0);
constexpr uint32_t kOther = Rgb(0xFF, 0xC0, 0xFF), kEdge = Rgb(0, 42, 46), kBreak = Rgb(192, 0, 0);
constexpr uint32_t kSeparator = Rgb(160, 160, 160), kEmpty = Rgb(255, 255, 255);

uint32_t Pixel(const VgsImage& image, int cell, int column, int row) {
    return image.At(cell * CGopStrip::kCellWidth + column, row);
}

TEST(GopStrip, WidthIsRoundedDownToWholeCells) {
    const struct {
        int width, used;
    } cases[] = {{0, 0}, {6, 0}, {7, 7}, {13, 7}, {14, 14}, {100, 98}, {448, 448}, {1000, 448}, {-5, 0}};
    const CGopStrip strip(std::vector<uint32_t>(64, kPictureP));
    for (const auto& c : cases) {
        EXPECT_EQ(CGopStrip::UsedWidth(c.width), c.used) << c.width;
        const VgsImage image = strip.Draw(c.width, 12);
        EXPECT_EQ(image.width, c.used) << c.width;
        EXPECT_EQ(image.pixels.size(), size_t(c.used) * 12) << c.width;
    }
}

TEST(GopStrip, CellsShowTypesAndMarks) {
    // Coded I B B P of a closed GOP, a P after a clock break, S, D, then an
    // open GOP's I whose time code broke.
    const std::vector<uint32_t> pictures = {
        uint32_t{kPictureI} | kFrameGopStart | kFrameClosedGop, kPictureB, kPictureB, kPictureP,
        uint32_t{kPictureP} | kFrameClockBreak, kPictureS, kPictureD,
        uint32_t{kPictureI} | kFrameGopStart | kFrameTimeCodeBreak};
    const VgsImage image = CGopStrip(pictures).Draw(10 * CGopStrip::kCellWidth, 12);
    const uint32_t body[] = {kI, kB, kB, kP, kP, kOther, kOther, kI};
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(Pixel(image, c, 4, 11), body[c]) << c;
        EXPECT_EQ(Pixel(image, c, 6, 5), kSeparator) << c;
    }
    // A GOP start darkens column 0, a closed one columns 0 and 1, from top to bottom.
    for (const int row : {0, 11}) {
        EXPECT_EQ(Pixel(image, 0, 0, row), kEdge);
        EXPECT_EQ(Pixel(image, 0, 1, row), kEdge);
        EXPECT_EQ(Pixel(image, 7, 0, row), kEdge);
        EXPECT_EQ(Pixel(image, 7, 1, row), row == 0 ? kBreak : kI);
        EXPECT_EQ(Pixel(image, 1, 0, row), kB);
    }
    // Broken continuity: the top three rows of the cell's body.
    EXPECT_EQ(Pixel(image, 4, 3, 0), kBreak);
    EXPECT_EQ(Pixel(image, 4, 3, 2), kBreak);
    EXPECT_EQ(Pixel(image, 4, 3, 3), kP);
    EXPECT_EQ(Pixel(image, 3, 3, 0), kP);
    // Cells beyond the pictures stay empty.
    EXPECT_EQ(Pixel(image, 8, 3, 5), kEmpty);
    EXPECT_EQ(Pixel(image, 9, 6, 5), kEmpty);
}

TEST(GopStrip, NewestPicturesWhenFewerCellsFit) {
    // 70 pictures: the strip keeps the newest 64; three cells show the last three.
    std::vector<uint32_t> pictures(70, kPictureB);
    pictures[66] = kPictureI;
    pictures[69] = kPictureP;
    const CGopStrip strip(pictures);
    EXPECT_EQ(strip.PictureCount(), 64u);
    const VgsImage three = strip.Draw(3 * CGopStrip::kCellWidth + 5, 4);
    ASSERT_EQ(three.width, 21);
    EXPECT_EQ(Pixel(three, 0, 3, 3), kB);
    EXPECT_EQ(Pixel(three, 1, 3, 3), kB);
    EXPECT_EQ(Pixel(three, 2, 3, 3), kP);
    const VgsImage all = strip.Draw(64 * CGopStrip::kCellWidth, 4);
    EXPECT_EQ(Pixel(all, 60, 3, 3), kI);  // picture 66 of 70
    EXPECT_EQ(Pixel(all, 63, 3, 3), kP);
}

}  // namespace
}  // namespace torvo
