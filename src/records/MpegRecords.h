// Records the MPEG-family parsers write into the shared per-file records
// (VideoInfo and ContainerInfo hold them; see analysis/Records.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace torvo {

// Version codes shared by the video and audio texts.
enum VersionCode : int32_t {
    kVersionUnknown = 0,
    kVersionMpeg1 = 2,
    kVersionMpeg2 = 3,
    kVersionMpeg25 = 4,
    kVersionMpeg4 = 5,
    kVersionH264 = 6,
};

// Picture properties as one kind of source describes them.
struct VideoHeader {
    int32_t present = 0;
    int32_t version = 0;
    int32_t frameDurationUs = 0;
    int32_t durationMs = 0;  // span between the first and the last GOP time code
    int32_t bitrateKbps = 0; // -1 when the header says variable or unknown
    int32_t width = 0, height = 0;
    double pixelAspect = 0;   // MPEG-1 and MPEG-4: width/height of one pixel
    double displayAspect = 0; // MPEG-2: 0.0 for square samples
    // H.264: the picture size after the SPS's frame cropping (0 without cropping).
    int32_t croppedWidth = 0, croppedHeight = 0;
    // H.264 and HEVC: the frame rate of the VUI's timing, 0 without one.
    double timingFrameRate = 0;

    // The picture a player shows: the cropped size where there is one, else the coded size.
    int32_t ShownWidth() const { return croppedWidth > 0 && croppedHeight > 0 ? croppedWidth : width; }
    int32_t ShownHeight() const { return croppedWidth > 0 && croppedHeight > 0 ? croppedHeight : height; }
};

// Which VideoInfo::headers entry each source fills. Entry 0 is the
// container's own description, which VideoInfo keeps in its width, height
// and aspect fields (MPEG-4 Part 2 overrules its pixel aspect there); the
// other entries are the alternatives a report falls back on in this order.
enum VideoHeaderIndex : size_t {
    kHeaderContainer = 0,
    // H.265/HEVC's SPS: an elementary stream's picture after the conformance
    // window and its VUI rate; in a container, the VUI rate alone.
    kHeaderHevc = 1,
    kHeaderMpegVideo = 2,  // MPEG-1/2 and MPEG-4 Part 2 elementary data
    kHeaderH264 = 3,
    kHeaderRawDv = 4,
};
inline constexpr size_t kVideoHeaderCount = 5;

// What the MPEG-2 picture statistics say about the video.
struct Mpeg2Summary {
    int32_t seen = 0;
    int32_t interlaced = 0, tff = 0, bff = 0, ppf = 0, pulldown32 = 0, plain = 0;
    int32_t displayWidth = 0, displayHeight = 0;
    int32_t matrixCoefficients = -1, videoFormat = -1;
};

// What the MPEG-4 Part 2 scan found.
struct Mpeg4Summary {
    int32_t accepted = 0;
    int32_t hasP = 0, hasB = 0;
    int32_t quarterSample = 0, gmc = 0;
    int32_t countI = 0, countP = 0, countB = 0, countS = 0;
    int32_t zeroTimeNvops = 0;     // packed-bitstream placeholders ("PB")
    int32_t nonZeroTimeNvops = 0;  // duplicated frames ("DF")
    int32_t bRun = 0, maxBRun = 0;
    int32_t interlacedFlag = 0;
    int32_t timeIncrementBits = 0;
    int32_t aspectRatioInfo = 0;
    int32_t parWidth = 0, parHeight = 0;
};

// One DV frame's header and VAUX description (IEC 61834 / SMPTE 314M).
struct DvInfo {
    int32_t present = 0;
    int32_t pal = 0;           // DSF: 625/50 system
    int32_t is50 = 0;          // 50/60 flag of the VAUX source pack
    int32_t wide = 0;          // 16:9 display
    int32_t stype4 = 0;        // signal type 4
    int32_t frameFlag = 0, firstSecond = 0, frameChange = 0, interlacedDv = 0;
    int32_t secondChannel = 0; // FSC bit of the header block
    int32_t smpte314m = 0;     // APT = 1
    bool operator==(const DvInfo&) const = default;
};

inline constexpr size_t kUserDataCapacity = 16383;

}  // namespace torvo
