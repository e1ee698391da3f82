#include "resize/ResizeCalculator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/Text.h"

namespace torvo {
namespace {

// Rows 0-3 are the targets VCD, SVCD, CVD, DVD; square rows are PC sizes;
// the rest are further source sizes. A row of zeros ends each table.
constexpr SizeRow kNtscRows[] = {
    {352, 240, 2, 6, false},      {480, 480, 1, 8, false},      {352, 480, 1, 6, false},
    {720, 480, 1, 12, false},     {648, 486, 1, 51840, true},   {324, 243, 2, 25920, true},
    {162, 122, 4, 12960, true},   {704, 486, 1, 12, false},     {704, 480, 1, 12, false},
    {711, 486, 1, 12, false},     {720, 486, 1, 12, false},     {},
};
constexpr SizeRow kPalRows[] = {
    {352, 288, 2, 6, false},   {480, 576, 1, 8, false},   {352, 576, 1, 6, false}, {720, 576, 1, 12, false},
    {768, 576, 1, 512, true},  {384, 288, 2, 256, true},  {192, 144, 4, 128, true}, {176, 144, 4, 3, false},
    {544, 576, 1, 9, false},   {702, 576, 1, 12, false},  {704, 576, 1, 12, false}, {},
};
constexpr const char* kPalLabels[] = {"VCD (352 x 288)", "SVCD(480 x 576)", "CVD (352 x 576)", "DVD (720 x 576)",
                                      "AVI (768 x 576)", "AVI (384 x 288)", "AVI (192 x 144)"};
constexpr const char* kNtscLabels[] = {"VCD (352 x 240)", "SVCD(480 x 480)", "CVD (352 x 480)", "DVD (720 x 480)",
                                       "AVI (648 x 486)", "AVI (324 x 243)", "AVI (162 x 122)"};

struct SystemFacts {
    double standardPar;  // 4:3 picture at width factor 12
    double widePar;      // 16:9 picture at width factor 12
    int squareDivisor;
};
constexpr SystemFacts kPalFacts = {128.0 / 117.0, 512.0 / 351.0, 39};
constexpr SystemFacts kNtscFacts = {4320.0 / 4739.0, 5760.0 / 4739.0, 4739};

constexpr int kRowCount = static_cast<int>(std::size(kPalRows)) - 1;
static_assert(std::size(kNtscRows) == std::size(kPalRows));

bool Near(double value, double expected) { return std::fabs(value - expected) <= 0.05 * expected; }

constexpr bool IsPrime(int n) {
    for (int k = 2; k * k <= n; ++k)
        if (n % k == 0) return false;
    return n >= 2;
}

// "Trim 4 from each side" or "Pad 2 to left, 3 to right" for one pair:
// `near`/`far` are the amounts reported under the first and second name.
std::string PairText(int near, int far, const char* nearName, const char* farName, const char* bothName) {
    if (near == far && far != 0)
        return far < 0 ? Format("Trim %d from %s", -far, bothName) : Format("Pad %d to %s", far, bothName);
    if (far < 0) return Format("Trim %d from %s, %d from %s", -near, nearName, -far, farName);
    if (far > 0) return Format("Pad %d to %s, %d to %s", near, nearName, far, farName);
    return {};
}

}  // namespace

const SizeRow* SizeTableRow(int system, int row) {
    if (row < 0 || row >= kRowCount) return nullptr;
    if (system == kTvPal) return &kPalRows[row];
    if (system == kTvNtsc) return &kNtscRows[row];
    return nullptr;
}

const char* SizeRowLabel(int system, int row) {
    if (row < 0 || row >= static_cast<int>(std::size(kPalLabels))) return "";
    return system == kTvNtsc ? kNtscLabels[row] : system == kTvPal ? kPalLabels[row] : "";
}

void ReduceFraction(int& n, int& d) {
    for (int p = 2; p <= 1009; ++p) {
        if (!IsPrime(p)) continue;
        if (p > std::min(std::abs(n), std::abs(d))) break;
        while (n % p == 0 && d % p == 0) {
            n /= p;
            d /= p;
        }
    }
}

bool StepSize(int steps, int& width, int& height) {
    if (steps == 0) return true;
    if (width <= 0) return false;
    const int64_t x = width, y = height;
    int64_t candidate = x;
    const int direction = steps > 0 ? 1 : -1;
    for (int found = 0; found < std::abs(steps);) {
        candidate += direction;
        if (candidate >= 4096 || candidate <= 0) return false;
        if (candidate * y % x == 0) ++found;
    }
    width = static_cast<int>(candidate);
    height = static_cast<int>(candidate * y / x);
    return true;
}

std::string PadTrimText(int a, int b, int c, int d, const SizeRow& row) {
    const bool vertical = a != 0 || b != 0, horizontal = c != 0 || d != 0;
    if (!vertical && !horizontal) return "No cropping req'd";
    const bool both = vertical && horizontal;
    const char* top = both ? "t" : "top";
    const char* bottom = both ? "b" : "bottom";
    const char* ends = both ? "t/b" : "top and bottom";
    const char* left = both ? "l" : "left";
    const char* right = both ? "r" : "right";
    const char* sides = both ? "l/r" : "each side";
    const char* separator = both ? ", " : "";
    return PairText(c, d, left, right, sides) + separator + PairText(a, b, top, bottom, ends) +
           Format(" for %d x %d", row.width, row.height);
}

bool ComputeResize(ResizeRecord& r) {
    // The TV system from the frame period.
    if (r.usPerFrame >= 39960 && r.usPerFrame <= 40040) r.system = kTvPal;
    else if (r.usPerFrame >= 33333 && r.usPerFrame <= 33399) r.system = kTvNtsc;
    else r.system = kTvNone;
    if (r.system == kTvNone) return false;
    const SystemFacts& facts = r.system == kTvPal ? kPalFacts : kNtscFacts;

    int sourceRow = -1;
    for (int i = 0; i < kRowCount && sourceRow < 0; ++i) {
        const SizeRow& row = *SizeTableRow(r.system, i);
        if (!row.square && row.width == r.width && row.height == r.height) sourceRow = i;
    }
    if (sourceRow < 0) return false;
    const SizeRow& source = *SizeTableRow(r.system, sourceRow);

    const SizeRow* target = nullptr;
    if (r.target == kTargetClassify || r.target == kTargetSquare) {
        for (int i = 0; i < kRowCount && !target; ++i) {
            const SizeRow& row = *SizeTableRow(r.system, i);
            if (row.square && row.vertical == source.vertical) target = &row;
        }
    } else {
        target = SizeTableRow(r.system, r.target);
    }
    if (!target) return false;

    const double f = 12.0 / (source.widthFactor * source.vertical);
    if (Near(r.pixelAspect, f * facts.standardPar)) r.aspect = kAspectStandard;
    else if (Near(r.pixelAspect, f * facts.widePar)) r.aspect = kAspectWide;
    else r.aspect = kAspectNone;
    if (r.aspect == kAspectNone) return false;
    r.sourceRow = sourceRow;

    // Anamorphic targets stretch a 4:3 picture; square targets squeeze 16:9.
    int n = 1, d = 1;
    if (r.aspect == kAspectStandard && r.anamorphic) n = 4, d = 3;
    if (r.aspect == kAspectWide && !r.anamorphic) n = 3, d = 4;
    if (r.target == kTargetClassify) return true;
    if (r.system != r.targetSystem) return true;

    const int m = r.target == kTargetSquare ? facts.squareDivisor : 1;
    int width = static_cast<int>(int64_t(target->widthFactor) * source.width / (int64_t(m) * source.widthFactor));
    int height = static_cast<int>(int64_t(source.height) * source.vertical * n / (int64_t(target->vertical) * d));
    if (!StepSize(r.steps, width, height)) {
        r.steps += r.steps >= 1 ? -1 : 1;
        return false;
    }

    const int top = (target->height - height) / 2, bottom = target->height - height - top;
    const int left = (target->width - width) / 2, right = target->width - width - left;
    if (r.target == kTargetSquare) {
        r.resizeLine = Format("Resize to %d x %d (Use +/- for other target sizes)", width, height);
        r.padTrimLine = "Crop off any non-picture areas, if req'd";
        return true;
    }
    if (width == r.width && height == r.height) {
        r.resizeLine = "No resize req'd";
    } else {
        int wn = target->widthFactor, wd = m * source.widthFactor;
        int hn = source.vertical * n, hd = target->vertical * d;
        ReduceFraction(wn, wd);
        ReduceFraction(hn, hd);
        r.resizeLine = Format("Resize to %d x %d  ( %s  %s )", width, height, Format("w:[%d/%d]", wn, wd).c_str(),
                              Format("h:[%d/%d]", hn, hd).c_str());
    }
    r.padTrimLine = PadTrimText(bottom, top, left, right, *target);
    return true;
}

}  // namespace torvo
