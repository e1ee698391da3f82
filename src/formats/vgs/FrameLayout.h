// CFrameLayout: the VGS ("Visual GOP Struct") picture of a frame list. Every
// picture is a 10 x 17 pixel cell in bands, coloured by its type, with the
// GOP boundaries, the discontinuity and N-VOP marks, and the optional
// B-dependency, field and number overlays; in display or coded order. The
// picture is drawn here into a plain 32-bit image; a window only shows it
// and passes the mouse position for the hover text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvo {

// 0x00RRGGBB pixels, row after row.
struct VgsImage {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

struct VgsOptions {
    bool grouped = false;      // bands hold whole GOPs of N pictures
    bool codedOrder = false;   // coded instead of display order
    bool bDependency = false;  // the B-dependency overlay
    bool numbers = false;      // the last digit of each picture's number
    bool fields = false;       // the field overlay
};

class CFrameLayout {
public:
    static constexpr int kCellWidth = 10, kBandHeight = 17;

    // frames: the frame list in coded order; gopLength N; the frame rate for
    // the times; fieldInfo: the scan read the field flags (interlaced MPEG-2).
    CFrameLayout(const std::vector<uint32_t>& frames, size_t count, int gopLength, double framesPerSecond,
                 bool fieldInfo);

    // Which options the list supports (the window enables only these).
    VgsOptions Available() const;
    // Options the list does not support stay off.
    void SetOptions(VgsOptions options);
    const VgsOptions& Options() const { return options_; }

    void Resize(int width, int height);
    int CellsPerBand() const;
    int Bands() const { return height_ > 1 ? (height_ - 1) / kBandHeight : 0; }
    size_t PictureCount() const { return count_; }
    // Bands the whole list needs (the scroll range, moved band by band).
    size_t TotalBands() const;

    // The image of the drawing area, from the picture shown first.
    VgsImage Draw(size_t firstPicture) const;
    // The picture under a point of the drawing area, if any.
    std::optional<size_t> PictureAt(int x, int y, size_t firstPicture) const;
    // "  %d   %c   %s": number, type letter and time of the picture at a position.
    std::string HoverText(size_t position) const;
    // "в порядке показа  " or "как кодиров" and the visible range.
    std::string StatusText(size_t firstPicture) const;
    // "%d:%02d.%02d" (or with hours) of a picture number.
    std::string TimeText(size_t pictureNumber) const;

private:
    size_t CodedIndex(size_t position) const;
    uint32_t Word(size_t position) const;
    bool IsB(size_t position) const;
    bool StartsClosedGop(size_t position) const;
    size_t DisplayNumber(size_t position) const;
    void DrawCell(VgsImage& image, int x0, int y0, size_t position) const;
    void DisplayDependency(VgsImage& image, int x0, int y0, size_t position) const;
    void CodedDependency(VgsImage& image, int x0, int y0, size_t position) const;
    void FieldOverlay(VgsImage& image, int x0, int y0, size_t position) const;

    const std::vector<uint32_t>& frames_;
    size_t count_;
    int gopLength_;
    double fps_;
    bool fieldInfo_;
    bool hasB_ = false;
    VgsOptions options_;
    int width_ = 0, height_ = 0;
};

// Colours of the picture types, as 0x00BBGGRR values: I, P, B, the rest.
uint32_t PictureTypeColour(uint32_t type);

}  // namespace torvo
