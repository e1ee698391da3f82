// How to turn a PAL or NTSC source of a standard MPEG size into the other
// standard sizes of its TV system (VCD, SVCD, CVD, DVD) or a square-pixel
// size for PC playback, keeping the picture's geometry: the size to resize
// to and what to pad or trim on each side. Pixel aspect ratios follow
// ITU-R BT.601.
#pragma once

#include <cstdint>
#include <string>

namespace torvo {

enum TvSystem : int { kTvNone = 0, kTvPal = 1, kTvNtsc = 2 };
enum SourceAspect : int { kAspectNone = 0, kAspectWide = 1, kAspectStandard = 2 };

// Targets: 0 VCD, 1 SVCD, 2 CVD, 3 DVD; the square-pixel size; classify only.
inline constexpr int kTargetSquare = -2;
inline constexpr int kTargetClassify = -1;

struct SizeRow {
    int width = 0, height = 0;
    int vertical = 0;     // vertical factor
    int widthFactor = 0;  // horizontal sampling factor
    bool square = false;  // a square-pixel PC size
};

struct ResizeRecord {
    // The source.
    double pixelAspect = 0;
    int32_t usPerFrame = 0;
    int width = 0, height = 0;
    // The panel's choice.
    int targetSystem = kTvPal;
    bool anamorphic = false;
    int target = kTargetClassify;
    int steps = 0;  // + and - presses for the square-pixel size
    // What was found.
    int sourceRow = -1;
    int system = kTvNone;
    int aspect = kAspectNone;
    std::string resizeLine;
    std::string padTrimLine;
};

// Classifies the source and, for a target of the source's system, writes the
// two lines. False when the source is not recognised or the stepped size is
// out of range; the lines are then left as they were.
bool ComputeResize(ResizeRecord& record);

// The size table row of a system (nullptr past the end).
const SizeRow* SizeTableRow(int system, int row);
// "VCD (352 x 288)" style label of rows 0-6.
const char* SizeRowLabel(int system, int row);

// The pad/trim line: a is reported at the top, b at the bottom, c at the
// left, d at the right; ends with the target row's size.
std::string PadTrimText(int a, int b, int c, int d, const SizeRow& targetRow);

// Steps the size by s sizes of the same exact aspect (x' * y divisible by x).
bool StepSize(int steps, int& width, int& height);

// Divides both by each prime up to 1009 while both are divisible.
void ReduceFraction(int& numerator, int& denominator);

}  // namespace torvo
