// The main window's strip of the last pictures of a full scan: one cell of
// 7 pixels per picture, newest at the right, coloured by picture type like
// the picture-type bar, with the start of each GOP and any broken continuity
// marked. Drawn here into a plain image; the window only shows it.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/vgs/FrameLayout.h"

namespace torvo {

class CGopStrip {
public:
    static constexpr int kCellWidth = 7;
    static constexpr size_t kPictures = 64;

    // Whole cells that fit a width, at most one per picture kept.
    static int Cells(int width);
    // The width the strip really uses: whole cells only.
    static int UsedWidth(int width) { return Cells(width) * kCellWidth; }

    // pictures: frame-list words of the last pictures, oldest first (more
    // than 64 are cut to the newest 64).
    explicit CGopStrip(std::vector<uint32_t> pictures);

    // The strip at a width (rounded down to whole cells) and a height. When
    // fewer cells fit than there are pictures, the newest are shown.
    VgsImage Draw(int width, int height) const;
    size_t PictureCount() const { return pictures_.size(); }

private:
    std::vector<uint32_t> pictures_;
};

}  // namespace torvo
