// Pixel checks of the VGS picture on known frame lists: cell colours, the
// GOP-start and closed-GOP columns, mark stripes and the placeholder bar, the
// dependency overlay, the geometry, and the hover and status texts.
#include <gtest/gtest.h>

#include "formats/mpeg/PictureRecorder.h"
#include "formats/vgs/FrameLayout.h"

namespace torvo {
namespace {

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; }

// Coded I B B P (a closed GOP start on the I), then P with a clock break.
std::vector<uint32_t> KnownList() {
    return {uint32_t{kPictureI} | kFrameGopStart | kFrameClosedGop, kPictureB, kPictureB, kPictureP,
            uint32_t{kPictureP} | kFrameClockBreak | kFramePlaceholder, uint32_t{kPictureI} | kFrameGopStart, kPictureP};
}

uint32_t Cell(const VgsImage& image, int cell, int column, int row) {
    return image.At(1 + cell * CFrameLayout::kCellWidth + column, 1 + row);
}

TEST(FrameLayout, CellColoursAndMarksInCodedOrder) {
    const std::vector<uint32_t> frames = KnownList();
    CFrameLayout layout(frames, frames.size(), 0, 25.0, false);
    layout.SetOptions({.codedOrder = true});
    layout.Resize(2 + 10 * 10, 1 + 17);
    ASSERT_EQ(layout.CellsPerBand(), 10);
    const VgsImage image = layout.Draw(0);
    ASSERT_EQ(image.width, 102);
    // Type colours in the body of each cell.
    const uint32_t body[] = {Rgb(128, 0, 0), Rgb(7, 95, 7), Rgb(7, 95, 7), Rgb(0, 0, 128), Rgb(0, 0, 128)};
    for (int c = 0; c < 5; ++c) EXPECT_EQ(Cell(image, c, 5, 16), body[c]) << c;
    // Rows 0 and 1, and the black column 0 of a cell that starts no GOP.
    EXPECT_EQ(Cell(image, 1, 5, 0), Rgb(16, 172, 170));
    EXPECT_EQ(Cell(image, 1, 5, 1), Rgb(0, 42, 46));
    EXPECT_EQ(Cell(image, 1, 0, 10), 0u);
    // The GOP start paints columns 0 and 1 from row 1 down.
    EXPECT_EQ(Cell(image, 0, 0, 10), Rgb(16, 172, 170));
    EXPECT_EQ(Cell(image, 0, 1, 10), Rgb(0, 42, 46));
    // A closed GOP next: columns 8 and 9 of the cell before it (none here), and the I at 5 is not closed.
    EXPECT_EQ(Cell(image, 4, 8, 10), Rgb(0, 0, 128));
    // The clock-break stripe (rows 5-6, columns 3-8) and the placeholder bar (column 2, rows 4-14).
    EXPECT_EQ(Cell(image, 4, 3, 5), Rgb(255, 64, 255));
    EXPECT_EQ(Cell(image, 4, 8, 6), Rgb(255, 64, 255));
    EXPECT_EQ(Cell(image, 4, 9, 5), Rgb(0, 0, 128));
    EXPECT_EQ(Cell(image, 4, 2, 4), Rgb(64, 64, 255));
    EXPECT_EQ(Cell(image, 4, 2, 14), Rgb(64, 64, 255));
    EXPECT_EQ(Cell(image, 4, 2, 15), Rgb(0, 0, 128));
    // Past the last picture: the background.
    EXPECT_EQ(Cell(image, 8, 5, 8), Rgb(240, 240, 240));
}

TEST(FrameLayout, ClosedGopColumnsAndDisplayOrder) {
    std::vector<uint32_t> frames = {uint32_t{kPictureI} | kFrameGopStart, kPictureP, kPictureB, kPictureB,
                                    uint32_t{kPictureI} | kFrameGopStart | kFrameClosedGop, kPictureP};
    CFrameLayout layout(frames, frames.size(), 4, 25.0, false);
    layout.SetOptions({.bDependency = true});
    layout.Resize(102, 35);
    const VgsImage image = layout.Draw(0);
    // Display order I B B P I P: the P at display 3 is shown before a closed GOP.
    const uint32_t body[] = {Rgb(128, 0, 0), Rgb(7, 95, 7), Rgb(7, 95, 7), Rgb(0, 0, 128), Rgb(128, 0, 0)};
    for (int c = 0; c < 5; ++c) EXPECT_EQ(Cell(image, c, 5, 15), body[c]) << c;
    EXPECT_EQ(Cell(image, 3, 8, 10), Rgb(16, 172, 170));
    EXPECT_EQ(Cell(image, 3, 9, 10), Rgb(0, 42, 46));
    EXPECT_EQ(Cell(image, 2, 8, 10), Rgb(7, 95, 7));
    // B-dependency: row 8 across a B picture; the I has its right tick, the P its left one.
    EXPECT_EQ(Cell(image, 1, 5, 8), Rgb(144, 144, 144));
    EXPECT_EQ(Cell(image, 0, 9, 8), Rgb(144, 144, 144));
    EXPECT_EQ(Cell(image, 0, 8, 7), Rgb(144, 144, 144));
    EXPECT_EQ(Cell(image, 3, 1, 8), Rgb(144, 144, 144));
    EXPECT_EQ(Cell(image, 3, 2, 9), Rgb(144, 144, 144));
    // The I that starts the closed GOP gets no left tick (its column 1 is the GOP-start colour).
    EXPECT_EQ(Cell(image, 4, 2, 8), Rgb(128, 0, 0));
}

TEST(FrameLayout, GeometryOptionsAndTexts) {
    std::vector<uint32_t> frames;
    for (int k = 0; k < 100; ++k) frames.push_back(k % 12 == 0 ? uint32_t{kPictureI} | kFrameGopStart : k % 3 ? kPictureB : kPictureP);
    CFrameLayout layout(frames, frames.size(), 12, 25.0, false);
    EXPECT_FALSE(layout.Available().fields);
    layout.SetOptions({.grouped = true, .fields = true});
    EXPECT_FALSE(layout.Options().fields);
    layout.Resize(2 + 10 * 30, 1 + 17 * 2);
    EXPECT_EQ(layout.CellsPerBand(), 24);  // whole GOPs of 12 in 30 cells
    EXPECT_EQ(layout.Bands(), 2);
    EXPECT_EQ(layout.TotalBands(), 5u);
    EXPECT_EQ(layout.PictureAt(1 + 10 * 3 + 4, 1 + 17 + 3, 0), std::optional<size_t>(27));
    EXPECT_EQ(layout.PictureAt(0, 5, 0), std::nullopt);
    EXPECT_EQ(layout.HoverText(0), "  0   B   0:00.00");  // display order starts with the leading B
    EXPECT_EQ(layout.TimeText(25 * 3725), "1:02:05.00");
    EXPECT_EQ(layout.StatusText(24), "в порядке показа   Кадры  24 --> 71 (0:00.96 --> 0:02.84) из 100,  ");
    layout.SetOptions({.codedOrder = true});
    EXPECT_EQ(layout.HoverText(0), "  2   I   0:00.08");
    EXPECT_TRUE(layout.StatusText(0).starts_with("как кодиров Кадры  0 --> "));
}

// Every pixel of a small drawing against the plain model of a cell: the
// frame around the area, rows 0 and 1, the black column 0 and the body, and
// nothing past the cells or past the last picture.
TEST(FrameLayout, CellsFillExactlyTheirBoxesInsideTheFrame) {
    const std::vector<uint32_t> frames(5, kPictureP);
    CFrameLayout layout(frames, frames.size(), 0, 25.0, false);
    const int width = 2 + 3 * 10 + 3, height = 1 + 2 * 17 + 4;
    layout.Resize(width, height);
    ASSERT_EQ(layout.CellsPerBand(), 3);
    ASSERT_EQ(layout.Bands(), 2);
    const VgsImage image = layout.Draw(0);
    auto expected = [&](int x, int y) -> uint32_t {
        if (x == 0) return Rgb(160, 160, 160);
        if (x == width - 1) return Rgb(255, 255, 255);
        if (y == 0) return Rgb(160, 160, 160);
        if (y == height - 1) return Rgb(255, 255, 255);
        const int cell = (x - 1) / 10, band = (y - 1) / 17, column = (x - 1) % 10, row = (y - 1) % 17;
        if (cell >= 3 || band >= 2 || band * 3 + cell >= 5) return Rgb(240, 240, 240);
        if (column == 0) return 0;
        return row == 0 ? Rgb(16, 172, 170) : row == 1 ? Rgb(0, 42, 46) : Rgb(0, 0, 128);
    };
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (image.At(x, y) != expected(x, y) && ++wrong <= 5) ADD_FAILURE() << "pixel " << x << "," << y;
    EXPECT_EQ(wrong, 0);
}

TEST(FrameLayout, NumbersAndFieldOverlay) {
    std::vector<uint32_t> frames = {uint32_t{kPictureI} | kFrameTopFirst | (3u << kFrameStructureShift),
                                    uint32_t{kPictureP} | (3u << kFrameStructureShift)};
    CFrameLayout layout(frames, 2, 0, 25.0, true);
    layout.SetOptions({.numbers = true, .fields = true});
    layout.Resize(22, 18);
    const VgsImage image = layout.Draw(0);
    EXPECT_EQ(Cell(image, 0, 9, 3), Rgb(144, 144, 144));   // top field first
    EXPECT_EQ(Cell(image, 0, 9, 12), Rgb(128, 0, 0));
    EXPECT_EQ(Cell(image, 1, 9, 12), Rgb(192, 0, 0));      // bottom first now: the order changed
    EXPECT_EQ(Cell(image, 1, 5, 6), Rgb(144, 144, 144));   // the digit 1's top row
    EXPECT_EQ(Cell(image, 1, 4, 6), Rgb(0, 0, 128));
    EXPECT_EQ(Cell(image, 1, 4, 7), Rgb(144, 144, 144));
    EXPECT_EQ(Cell(image, 1, 6, 7), Rgb(0, 0, 128));
}

}  // namespace
}  // namespace torvo
