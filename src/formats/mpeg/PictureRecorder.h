// The picture recorder of the full scan: every video payload of the file
// passes through it, and it keeps one 32-bit flag word per coded picture
// (type, GOP boundaries, field flags, N-VOP marks, timing discontinuities)
// plus per-stream counters. It only looks at start codes and a few header
// bytes, so that it keeps up with the disk.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "base/ByteView.h"

namespace torvo {

// Bits of a frame list word.
enum FrameFlag : uint32_t {
    kFrameTypeMask = 0x7,        // 1 I, 2 P, 3 B, 4 D (MPEG-1), 0 S-VOP
    kFrameClockBreak = 0x8,      // a pack before this picture broke the system clock continuity
    kFrameTimeCodeBreak = 0x10,  // the GOP header before it broke the time-code continuity
    kFrameReferenceGap = 0x20,   // a gap in the GOP's temporal references falls here
    kFrameBrokenLink = 0x40,     // the GOP header after this picture has broken_link set
    kFramePackedBefore = 0x80,   // this reference VOP was followed by a packed-bitstream placeholder
    kFrameGopStart = 0x100,      // first picture after a GOP (GOV) header
    kFrameClosedGop = 0x200,     // ... and that GOP is closed
    kFrameNotCoded = 0x400,      // MPEG-4 vop_coded 0 with its own time (a duplicated frame)
    kFramePlaceholder = 0x800,   // where a packed-bitstream placeholder stood
    kFrameRepeatField = 0x1000,  // repeat_first_field
    kFrameTopFirst = 0x2000,     // top_field_first
    kFrameStructureShift = 14,   // picture_structure: 1 top field, 2 bottom field, 3 frame
    kFrameStructureMask = 0xC000,
    kFrameEmptyChunk = 0x20000,  // the AVI chunk of this picture had length 0
};

enum PictureType : uint32_t { kPictureS = 0, kPictureI = 1, kPictureP = 2, kPictureB = 3, kPictureD = 4 };
// Where VideoStreamCounters::byType counts the VOPs that carry no coded data.
inline constexpr size_t kPictureNotCoded = 5;

// The letter of a picture's type: S, I, P, B or D.
inline char PictureTypeLetter(uint32_t word) { return "SIPBDSSS"[word & kFrameTypeMask]; }

inline constexpr size_t kFrameListCapacity = 262144;
inline constexpr int32_t kLastFrameIndex = 262142;  // the index stops growing here
inline constexpr size_t kInitialFrameList = 1024;

// One continuity checker: a clock value against the picture index.
class CContinuity {
public:
    // False on a discontinuity (the clock went back, or its rate per picture
    // changed by more than a tenth once it had settled).
    bool Check(int64_t value, int64_t pictureIndex);
    void Reset() { *this = CContinuity(); }

private:
    int64_t baseValue_ = 0, baseIndex_ = -1;
    int64_t lastValue_ = 0, lastIndex_ = 0;
    double lastRate_ = 0;
    int valueChanges_ = 0, indexChanges_ = 0;
};

// What the recorder counts for one video stream (stream ids E0-EF).
struct VideoStreamCounters {
    uint64_t payloadBytes = 0;
    std::array<uint32_t, 8> byType{};  // by picture type code
    uint32_t pictures = 0;
    uint32_t bRun = 0, longestBRun = 0;
    uint32_t sinceI = 0, longestSinceI = 0;
    uint32_t referencesMissing = 0, gopLengthSum = 0, gopsWithGaps = 0, gaps = 0;
    uint64_t largestPicture = 0;  // bytes from one picture start code to the next
};

// The GOP pattern of the frame list.
struct GopPattern {
    int gopLength = 0;              // N: the most frequent distance between GOP starts (below 32)
    std::vector<uint8_t> pattern;   // the N picture types of the most frequent GOP of that length
    int regularity = 0;             // per cent of GOPs equal to the pattern
    int bSpacing = 0;               // M when the pattern is regular, else 0
};

class CPictureRecorder {
public:
    enum class Mode { kMpeg12, kMpeg4 };

    CPictureRecorder();

    // mpeg4: VOPs instead of pictures; timeIncrementBits (1-16) enables the
    // MPEG-4 timing tests; readExtensions reads picture coding extensions.
    void Configure(Mode mode, int timeIncrementBits, bool readExtensions);
    void Reset();

    // One video payload of a stream. The last 11 bytes are kept and put in
    // front of the next payload of the same stream, so that start codes split
    // between packets are found.
    void RecordPictures(ByteView payload, int streamId);
    // Pushes the kept bytes of every stream through (the end of the data).
    void Flush();
    // One pack header (and what follows it in the data): the system clock
    // continuity check. False, and no check, when the pack or a system
    // header right behind it fails its marker checks.
    bool RecordPack(ByteView pack);
    // Bytes of a system header the check after a pack reads.
    static constexpr uint64_t kSystemHeaderChecked = 11;
    // Marks the current picture (an AVI chunk of length 0).
    void MarkLastPicture(uint32_t flags);

    const std::vector<uint32_t>& Frames() const { return frames_; }
    int32_t LastIndex() const { return last_; }
    size_t PictureCount() const { return static_cast<size_t>(last_ + 1); }
    const VideoStreamCounters& Stream(int streamId) const { return streams_[static_cast<size_t>(streamId & 0xF)]; }
    const VideoStreamCounters& Video() const { return streams_[0]; }
    bool GopHeaderSeen() const { return gopSeen_; }

private:
    struct Carry {
        std::array<uint8_t, 11> bytes{};
        size_t size = 0;
    };
    // Handles the start codes at [from, to) of the view; base is the stream
    // offset of the view's first byte.
    void ScanItems(ByteView view, uint64_t from, uint64_t to, uint64_t base, VideoStreamCounters& s, bool mainStream);
    void Item(ByteView item, uint64_t streamOffset, VideoStreamCounters& s, bool mainStream);
    void GopHeader(ByteView item, VideoStreamCounters& s, bool mainStream);
    void Picture(ByteView item, uint64_t streamOffset, VideoStreamCounters& s, bool mainStream);
    void Gov(ByteView item, bool mainStream);
    void Vop(ByteView item, uint64_t streamOffset, VideoStreamCounters& s, bool mainStream);
    // Appends a picture of the type; returns its index (or -1 for other streams).
    int32_t AddPicture(uint32_t type, uint64_t streamOffset, VideoStreamCounters& s, bool mainStream);
    void CloseGop(VideoStreamCounters& s, bool mainStream);
    // The word of a picture, the list grown to hold it and the one after it.
    uint32_t& Frame(int32_t index);
    void MarkNext(uint32_t flags) { Frame(last_ + 1) |= flags; }
    void MarkLast(uint32_t flags) {
        if (last_ >= 0) frames_[static_cast<size_t>(last_)] |= flags;
    }

    Mode mode_ = Mode::kMpeg12;
    int timeBits_ = 0;
    bool readExtensions_ = false;
    std::vector<uint32_t> frames_;
    int32_t last_ = -1;
    int32_t lastNonB_ = -1;
    std::array<VideoStreamCounters, 16> streams_{};
    std::array<Carry, 16> carries_{};
    std::array<uint64_t, 16> lastPictureStart_{};
    std::array<bool, 16> pictureOpen_{};
    std::array<uint8_t, 1024> references_{};
    int largestReference_ = -1;
    int32_t gopFirstPicture_ = 0;
    uint32_t lastIncrement_ = 0;
    bool haveIncrement_ = false;
    bool gopSeen_ = false;
    CContinuity timeCodes_, clock_;
};

// N, the pattern, its regularity and M over a frame list in coded order.
GopPattern AnalyseGopPattern(const std::vector<uint32_t>& frames, size_t count, bool gopHeadersSeen);

// Order mapping between display and coded positions; both assume reference
// pictures are sent before the B pictures that precede them in display order.
size_t DisplayToCoded(const std::vector<uint32_t>& frames, size_t count, size_t n);
size_t CodedToDisplay(const std::vector<uint32_t>& frames, size_t count, size_t n);

}  // namespace torvo
