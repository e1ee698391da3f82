#include "formats/vgs/GopStrip.h"

#include <algorithm>

#include "formats/mpeg/PictureRecorder.h"

namespace torvo {
namespace {

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; }
// 0x00BBGGRR, the form the picture-type colours are given in, to the image's 0x00RRGGBB.
constexpr uint32_t FromBgr(uint32_t bgr) { return Rgb(bgr & 0xFF, bgr >> 8 & 0xFF, bgr >> 16 & 0xFF); }

constexpr uint32_t kEmpty = Rgb(255, 255, 255);
constexpr uint32_t kSeparator = Rgb(160, 160, 160);
// The dark edge the VGS window gives a GOP start; a closed GOP gets two columns of it.
constexpr uint32_t kGopEdge = Rgb(0, 42, 46);
constexpr uint32_t kBreak = Rgb(192, 0, 0);
// Continuity broken before or at the picture: clock, time code, temporal references, broken link.
constexpr uint32_t kBreakFlags = kFrameClockBreak | kFrameTimeCodeBreak | kFrameReferenceGap | kFrameBrokenLink;
constexpr int kBreakRows = 3;

}  // namespace

int CGopStrip::Cells(int width) {
    return width > 0 ? std::min(width / kCellWidth, static_cast<int>(kPictures)) : 0;
}

CGopStrip::CGopStrip(std::vector<uint32_t> pictures) : pictures_(std::move(pictures)) {
    if (pictures_.size() > kPictures)
        pictures_.erase(pictures_.begin(), pictures_.end() - static_cast<std::ptrdiff_t>(kPictures));
}

VgsImage CGopStrip::Draw(int width, int height) const {
    VgsImage image;
    image.width = UsedWidth(width);
    image.height = std::max(height, 0);
    image.pixels.assign(static_cast<size_t>(image.width) * static_cast<size_t>(image.height), kEmpty);
    const size_t cells = static_cast<size_t>(Cells(width));
    const size_t shown = std::min(cells, pictures_.size());
    const size_t first = pictures_.size() - shown;
    for (size_t k = 0; k < shown; ++k) {
        const uint32_t word = pictures_[first + k];
        const int x0 = static_cast<int>(k) * kCellWidth;
        for (int y = 0; y < image.height; ++y) {
            uint32_t* row = &image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width)];
            for (int c = 0; c < kCellWidth; ++c) {
                uint32_t colour = FromBgr(PictureTypeColour(word & kFrameTypeMask));
                if (c == kCellWidth - 1) colour = kSeparator;
                else if ((word & kFrameGopStart) && (c == 0 || (c == 1 && (word & kFrameClosedGop)))) colour = kGopEdge;
                else if ((word & kBreakFlags) && y < kBreakRows) colour = kBreak;
                row[x0 + c] = colour;
            }
        }
    }
    return image;
}

}  // namespace torvo
