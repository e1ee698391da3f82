#include "formats/vgs/FrameLayout.h"

#include <algorithm>
#include <array>

#include "base/Text.h"
#include "formats/mpeg/PictureRecorder.h"
#include "base/Translate.h"

namespace torvo {
namespace {

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; }

constexpr uint32_t kColourI = Rgb(128, 0, 0), kColourP = Rgb(0, 0, 128), kColourB = Rgb(7, 95, 7);
constexpr uint32_t kColourOther = Rgb(60, 1, 101);
constexpr uint32_t kLight = Rgb(16, 172, 170), kDark = Rgb(0, 42, 46), kBlack = 0;
constexpr uint32_t kPlaceholder = Rgb(64, 64, 255);
constexpr uint32_t kOverlay = Rgb(144, 144, 144), kFieldChange = Rgb(192, 0, 0);
constexpr uint32_t kBackground = Rgb(240, 240, 240);
constexpr uint32_t kShadow = Rgb(160, 160, 160), kHighlight = Rgb(255, 255, 255);

// The mark stripes in columns 3-8: flag, first row, colour (two rows each).
struct Stripe {
    uint32_t flag;
    int row;
    uint32_t colour;
};
constexpr std::array<Stripe, 5> kStripes = {{
    {kFrameTimeCodeBreak, 2, Rgb(255, 255, 0)},
    {kFrameClockBreak, 5, Rgb(255, 64, 255)},
    {kFrameReferenceGap, 8, Rgb(64, 255, 255)},
    {kFrameBrokenLink, 11, Rgb(255, 80, 3)},
    {kFrameNotCoded, 14, Rgb(132, 132, 255)},
}};

// Digits three pixels wide and five high, one row per three bits.
constexpr std::array<std::array<uint8_t, 5>, 10> kDigits = {{
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
}};

uint32_t TypeColour(uint32_t type) {
    switch (type) {
        case kPictureI: return kColourI;
        case kPictureP: return kColourP;
        case kPictureB: return kColourB;
        default: return kColourOther;
    }
}

void Put(VgsImage& image, int x, int y, uint32_t colour) {
    if (x >= 0 && y >= 0 && x < image.width && y < image.height)
        image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)] = colour;
}

// The rectangle [left, right] x [top, bottom], clipped to the image once
// rather than pixel by pixel: a cell is 170 pixels and a drawing hundreds of cells.
void Fill(VgsImage& image, int left, int top, int right, int bottom, uint32_t colour) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, image.width - 1);
    bottom = std::min(bottom, image.height - 1);
    if (left > right || top > bottom) return;
    const auto width = static_cast<size_t>(image.width);
    for (int y = top; y <= bottom; ++y) {
        uint32_t* row = image.pixels.data() + static_cast<size_t>(y) * width;
        std::fill(row + left, row + right + 1, colour);
    }
}

void Row(VgsImage& image, int x0, int y0, int row, int fromColumn, int toColumn, uint32_t colour) {
    Fill(image, x0 + fromColumn, y0 + row, x0 + toColumn, y0 + row, colour);
}

void Column(VgsImage& image, int x0, int y0, int column, int fromRow, int toRow, uint32_t colour) {
    Fill(image, x0 + column, y0 + fromRow, x0 + column, y0 + toRow, colour);
}

}  // namespace

CFrameLayout::CFrameLayout(const std::vector<uint32_t>& frames, size_t count, int gopLength, double fps,
                           bool fieldInfo)
    : frames_(frames), count_(std::min(count, frames.size())), gopLength_(gopLength), fps_(fps), fieldInfo_(fieldInfo) {
    for (size_t k = 0; k < count_ && !hasB_; ++k) hasB_ = (frames_[k] & kFrameTypeMask) == kPictureB;
}

VgsOptions CFrameLayout::Available() const {
    return {gopLength_ > 1, hasB_, hasB_, true, fieldInfo_};
}

void CFrameLayout::SetOptions(VgsOptions o) {
    const VgsOptions a = Available();
    options_ = {o.grouped && a.grouped, o.codedOrder && a.codedOrder, o.bDependency && a.bDependency,
                o.numbers && a.numbers, o.fields && a.fields};
}

void CFrameLayout::Resize(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
}

int CFrameLayout::CellsPerBand() const {
    const int fit = width_ > 2 ? (width_ - 2) / kCellWidth : 0;
    const int group = options_.grouped && gopLength_ > 1 ? gopLength_ : 1;
    return fit / group * group;
}

size_t CFrameLayout::TotalBands() const {
    const int cells = CellsPerBand();
    return cells > 0 ? (count_ + size_t(cells) - 1) / size_t(cells) : 0;
}

size_t CFrameLayout::CodedIndex(size_t position) const {
    return options_.codedOrder ? position : DisplayToCoded(frames_, count_, position);
}

uint32_t CFrameLayout::Word(size_t position) const {
    const size_t k = CodedIndex(position);
    return k < count_ ? frames_[k] : 0;
}

bool CFrameLayout::IsB(size_t position) const {
    return position < count_ && (Word(position) & kFrameTypeMask) == kPictureB;
}

bool CFrameLayout::StartsClosedGop(size_t position) const {
    const uint32_t w = Word(position);
    return position < count_ && (w & kFrameGopStart) && (w & kFrameClosedGop);
}

size_t CFrameLayout::DisplayNumber(size_t position) const {
    return options_.codedOrder ? CodedToDisplay(frames_, count_, position) : position;
}

VgsImage CFrameLayout::Draw(size_t first) const {
    VgsImage image;
    image.width = width_;
    image.height = height_;
    image.pixels.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), kBackground);
    if (width_ == 0 || height_ == 0) return image;
    Fill(image, 0, 0, width_ - 1, 0, kShadow);
    Fill(image, 0, height_ - 1, width_ - 1, height_ - 1, kHighlight);
    Fill(image, 0, 0, 0, height_ - 1, kShadow);
    Fill(image, width_ - 1, 0, width_ - 1, height_ - 1, kHighlight);
    const int cells = CellsPerBand();
    for (int band = 0; band < Bands(); ++band)
        for (int c = 0; c < cells; ++c) {
            const size_t position = first + size_t(band) * size_t(cells) + size_t(c);
            if (position >= count_) return image;
            DrawCell(image, 1 + c * kCellWidth, 1 + band * kBandHeight, position);
        }
    return image;
}

void CFrameLayout::DrawCell(VgsImage& image, int x0, int y0, size_t position) const {
    const uint32_t word = Word(position);
    Fill(image, x0, y0, x0 + kCellWidth - 1, y0 + kBandHeight - 1, TypeColour(word & kFrameTypeMask));
    Row(image, x0, y0, 0, 0, kCellWidth - 1, kLight);
    Row(image, x0, y0, 1, 0, kCellWidth - 1, kDark);
    Column(image, x0, y0, 0, 0, kBandHeight - 1, kBlack);
    if (word & kFrameGopStart) {
        Column(image, x0, y0, 0, 1, kBandHeight - 1, kLight);
        Column(image, x0, y0, 1, 1, kBandHeight - 1, kDark);
    }
    if (position + 1 < count_ && (Word(position + 1) & kFrameClosedGop)) {
        Column(image, x0, y0, 8, 1, kBandHeight - 1, kLight);
        Column(image, x0, y0, 9, 1, kBandHeight - 1, kDark);
    }
    if (word & (options_.codedOrder ? kFramePlaceholder : kFramePackedBefore))
        Column(image, x0, y0, 2, 4, 14, kPlaceholder);
    for (const Stripe& s : kStripes)
        if (word & s.flag)
            Fill(image, x0 + 3, y0 + s.row, x0 + 8, y0 + s.row + 1, s.colour);
    if (options_.bDependency) {
        if (options_.codedOrder) CodedDependency(image, x0, y0, position);
        else DisplayDependency(image, x0, y0, position);
    }
    if (options_.fields) FieldOverlay(image, x0, y0, position);
    if (options_.numbers) {
        const auto& glyph = kDigits[DisplayNumber(position) % 10];
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c < 3; ++c)
                if (glyph[static_cast<size_t>(r)] & (4 >> c)) Put(image, x0 + 4 + c, y0 + 6 + r, kOverlay);
    }
}

void CFrameLayout::DisplayDependency(VgsImage& image, int x0, int y0, size_t position) const {
    if (IsB(position)) {
        const bool beforeClosed = StartsClosedGop(position + 1);
        Row(image, x0, y0, 8, 0, beforeClosed ? 2 : kCellWidth - 1, kOverlay);
        return;
    }
    if (position > 0 && IsB(position - 1) && !StartsClosedGop(position)) {
        Row(image, x0, y0, 8, 0, 2, kOverlay);
        Put(image, x0 + 2, y0 + 7, kOverlay);
        Put(image, x0 + 2, y0 + 9, kOverlay);
    }
    if (IsB(position + 1)) {
        Row(image, x0, y0, 8, 8, 9, kOverlay);
        Put(image, x0 + 8, y0 + 7, kOverlay);
        Put(image, x0 + 8, y0 + 9, kOverlay);
    }
}

void CFrameLayout::CodedDependency(VgsImage& image, int x0, int y0, size_t position) const {
    auto paint = [&](int code, int middle) {
        if (code == 1) {
            Row(image, x0, y0, middle, 5, 9, kOverlay);
            Put(image, x0 + 5, y0 + middle - 1, kOverlay);
            Put(image, x0 + 5, y0 + middle + 1, kOverlay);
        } else if (code == 2) {
            Row(image, x0, y0, middle, 0, kCellWidth - 1, kOverlay);
        } else if (code == 3) {
            Row(image, x0, y0, middle, 0, 3, kOverlay);
        }
    };
    const bool b = IsB(position);
    const bool next = IsB(position + 1), second = IsB(position + 2);
    const bool nextClosed = StartsClosedGop(position + 1);
    paint(b ? ((!next && !second) || nextClosed ? 3 : 2) : (next || second ? 1 : 0), 5);
    // Lane two: the link to the older reference.
    size_t r = position;
    while (r > 0 && IsB(r)) --r;
    bool olderReference = false;
    for (size_t q = r; q-- > 0;)
        if (!IsB(q)) {
            olderReference = true;
            break;
        }
    if (IsB(r) || StartsClosedGop(r) || !olderReference) return;
    paint(b ? (!next || nextClosed ? 3 : 2) : (next ? 2 : 0), 11);
}

void CFrameLayout::FieldOverlay(VgsImage& image, int x0, int y0, size_t position) const {
    // Column 9: the upper half for a top field (or a frame shown top field
    // first), the lower half for a bottom field; both with repeat_first_field.
    const uint32_t word = Word(position);
    const uint32_t structure = (word & kFrameStructureMask) >> kFrameStructureShift;
    const bool top = structure == 1 || (structure != 2 && (word & kFrameTopFirst));
    const bool bottom = structure == 2 || (structure != 1 && !(word & kFrameTopFirst));
    bool changed = false;
    if (position > 0) {
        const uint32_t before = Word(position - 1);
        const uint32_t previousStructure = (before & kFrameStructureMask) >> kFrameStructureShift;
        changed = structure == 3 && previousStructure == 3 && ((before ^ word) & kFrameTopFirst);
    }
    const uint32_t colour = changed ? kFieldChange : kOverlay;
    if (top || (word & kFrameRepeatField)) Column(image, x0, y0, 9, 2, 7, colour);
    if (bottom || (word & kFrameRepeatField)) Column(image, x0, y0, 9, 9, 14, colour);
}

std::optional<size_t> CFrameLayout::PictureAt(int x, int y, size_t first) const {
    const int cells = CellsPerBand();
    if (x < 1 || y < 1 || cells == 0) return std::nullopt;
    const int c = (x - 1) / kCellWidth, band = (y - 1) / kBandHeight;
    if (c >= cells || band >= Bands()) return std::nullopt;
    const size_t position = first + size_t(band) * size_t(cells) + size_t(c);
    if (position >= count_) return std::nullopt;
    return position;
}

std::string CFrameLayout::TimeText(size_t n) const {
    const auto hundredths = static_cast<int64_t>(fps_ > 0 ? double(n) * 100.0 / fps_ : 0);
    const int64_t seconds = hundredths / 100;
    if (seconds < 3600)
        return Format("%d:%02d.%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60),
                      static_cast<int>(hundredths % 100));
    return Format("%d:%02d:%02d.%02d", static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60), static_cast<int>(hundredths % 100));
}

std::string CFrameLayout::HoverText(size_t position) const {
    if (position >= count_) return {};
    const size_t number = DisplayNumber(position);
    return Format("  %d   %c   %s", static_cast<int>(number), "GIPB"[Word(position) & 3], TimeText(number).c_str());
}

std::string CFrameLayout::StatusText(size_t first) const {
    const size_t shown = size_t(std::max(CellsPerBand(), 0)) * size_t(Bands());
    const size_t last = count_ == 0 ? 0 : std::min(count_, first + std::max<size_t>(shown, 1)) - 1;
    return std::string(options_.codedOrder ? N_("как кодиров") : N_("в порядке показа  ")) +
           Format(N_(" Кадры  %d --> %d (%s --> %s) из %d,  "), static_cast<int>(first), static_cast<int>(last),
                  TimeText(first).c_str(), TimeText(last).c_str(), static_cast<int>(count_));
}

uint32_t PictureTypeColour(uint32_t type) {
    switch (type) {
        case kPictureI: return 0xD2E0FC;
        case kPictureP: return 0xFFD0D0;
        case kPictureB: return 0xE0FFE0;
        default: return 0xFFC0FF;
    }
}

}  // namespace torvo
