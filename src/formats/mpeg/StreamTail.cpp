#include "formats/mpeg/StreamTail.h"

#include "formats/mpeg/AudioDuration.h"
#include "formats/mpeg/SupDV.h"

namespace torvo {
namespace {

constexpr uint32_t kPackStart = 0x000001BA, kProgramEnd = 0x000001B9, kFirstPacket = 0x000001BB;

// The length of the pack or packet whose start code is at p, 0 when p holds
// none; `headerNeeded` gets the bytes its length needs to be known.
uint64_t UnitLength(ByteView d, uint64_t p, uint64_t& headerNeeded) {
    const uint32_t code = d.Be32(p);
    if (code == kPackStart) {
        headerNeeded = 14;
        if (!d.Has(p, 5)) return 1;  // known to be a pack; its length is cut off
        if ((d.U8(p + 4) & 0xF0) == 0x20) return 12;  // MPEG-1
        if ((d.U8(p + 4) & 0xC0) != 0x40) return 0;
        return d.Has(p, 14) ? 14u + (d.U8(p + 13) & 7u) : 1;
    }
    if (code == kProgramEnd) {
        headerNeeded = 4;
        return 4;
    }
    if (code >= kFirstPacket) {
        headerNeeded = 6;
        return d.Has(p, 6) ? 6u + d.Be16(p + 4) : 1;
    }
    return 0;
}

constexpr int kMaxPackCandidates = 64;

}  // namespace

ReadStatus ProgramStreamTailStatus(ByteView tail, uint64_t tailStart) {
    uint64_t from = 0;
    for (int n = 0; n < kMaxPackCandidates; ++n) {
        const uint64_t start = tail.Find(std::string_view("\0\0\1\xBA", 4), from);
        if (start == ByteView::npos) break;
        from = start + 1;
        // Walk from this pack; a unit that is no pack or packet means the
        // pack was start-code emulation in some payload: try the next one.
        for (uint64_t p = start;;) {
            if (p == tail.size()) return ReadStatus::Ok();
            if (!tail.Has(p, 4)) return CutShort(tailStart + p, "start code", 4, tail.size() - p);
            uint64_t headerNeeded = 0;
            const uint64_t length = UnitLength(tail, p, headerNeeded);
            if (length == 0) break;
            if (tail.Be32(p) == kProgramEnd) return ReadStatus::Ok();
            if (length == 1) return CutShort(tailStart + p, "pack or packet header", headerNeeded, tail.size() - p);
            if (length > tail.size() - p) {
                const char* what = tail.Be32(p) == kPackStart ? "pack header" : "packet";
                return CutShort(tailStart + p, what, length, tail.size() - p);
            }
            p += length;
        }
    }
    return ReadStatus::Ok();
}

ReadStatus MpegStreamTailStatus(CFileCache& reader, StreamLayout layout, const VideoInfo& video) {
    const uint64_t length = reader.LogicalLength();
    const uint64_t tailStart = length > kStreamTailBytes ? length - kStreamTailBytes : 0;
    switch (layout) {
        case StreamLayout::kMpeg1System:
        case StreamLayout::kMpeg2Program:
            return ProgramStreamTailStatus(reader.MapView(tailStart, static_cast<uint32_t>(length - tailStart)), tailStart);
        case StreamLayout::kAudioElementary: {
            const ByteView tail = reader.MapView(tailStart, static_cast<uint32_t>(length - tailStart));
            return ElementaryAudioTailStatus(tail.Sub(0, tail.size() - TrailingTagBytes(tail)), tailStart);
        }
        case StreamLayout::kRawDv: {
            const uint64_t frameBytes = (video.dvInfo.pal ? 12 : 10) * CSupDV::kSequenceBytes;
            const uint64_t partial = length % frameBytes;
            if (partial != 0) return CutShort(length - partial, "DV frame", frameBytes, partial);
            return ReadStatus::Ok();
        }
        default: return ReadStatus::Ok();
    }
}

}  // namespace torvo
