#include "formats/mpeg/SystemScanner.h"

#include "formats/mpeg/StartCodes.h"
#include "formats/mpeg/SupMpg.h"

namespace torvo {
namespace {

constexpr uint8_t kPack = 0xBA, kProgramEnd = 0xB9, kPrivateStream1 = 0xBD, kVideoStream = 0xE0;
constexpr uint64_t kLongestPackHeader = 14 + 7;
// A pack is judged together with the start of a system header behind it.
constexpr uint64_t kPackLookahead = kLongestPackHeader + 4 + CPictureRecorder::kSystemHeaderChecked;

bool IsAudioOrPrivate(uint8_t id) { return id == kPrivateStream1 || (id >= 0xC0 && id <= 0xDF); }

}  // namespace

bool CSystemStreamScanner::Scan(ByteView buffer, uint64_t start, uint64_t dataEnd) {
    const ByteView view = DataPart(buffer, start, dataEnd);
    const uint64_t end = view.size();
    // More of the file follows this buffer: items that run past its end wait for the next one.
    const bool moreData = start + buffer.size() < dataEnd;
    if (next_ < start) {  // never happens with items shorter than the overlap, but stay safe
        next_ = start;
        searching_ = true;
    }
    uint64_t p = next_ - start;
    while (p < end) {
        if (searching_) {
            const uint64_t q = FindStartCode(view, p);
            if (q == ByteView::npos) {
                // A start code cut by the buffer's end is found in the next one.
                p = end >= 3 && moreData ? std::max(p, end - 3) : end;
                break;
            }
            p = q;
            searching_ = false;
        }
        const Step step = Item(view, p, moreData);
        if (step == Step::kWait) break;
        if (step == Step::kResync) {
            searching_ = true;
            ++p;
        }
    }
    next_ = start + p;
    return !moreData && p >= end;
}

CSystemStreamScanner::Step CSystemStreamScanner::Item(ByteView view, uint64_t& p, bool moreData) {
    const uint64_t left = view.size() - p;
    if (left < 6) return moreData ? Step::kWait : (p = view.size(), Step::kNext);
    if (view.Be24(p) != 1) return Step::kResync;
    const uint8_t code = view.U8(p + 3);
    if (code == kPack) {
        if (left < kPackLookahead && moreData) return Step::kWait;
        const ByteView pack = view.From(p);
        if (!recorder_.RecordPack(pack)) return Step::kResync;
        p += CSupMpg::PackHeaderLength(pack);
        return Step::kNext;
    }
    if (code == kProgramEnd) {
        p += 4;
        return Step::kNext;
    }
    if (code < 0xBB) return Step::kResync;  // video start codes outside packets, or garbage
    const uint64_t length = 6 + uint64_t(view.Be16(p + 4));
    if (code == kVideoStream || IsAudioOrPrivate(code)) {
        if (length > left && moreData) return Step::kWait;
        const ByteView packet = view.Sub(p, std::min(length, left));
        ParseErrorFlag errors;
        const CSupMpg::Payload payload = CSupMpg::ReadPesPayload(packet, errors);
        if (errors.IsSet()) return Step::kResync;
        // A packet cut off by the end of the file gives what it has.
        const uint64_t offset = std::min<uint64_t>(payload.offset, packet.size());
        const uint64_t size = std::min<uint64_t>(payload.length > 0 ? uint64_t(payload.length) : 0, packet.size() - offset);
        if (code == kVideoStream) {
            recorder_.RecordPictures(packet.Sub(offset, size), kVideoStream);
            totals_.videoBytes += size;
        } else {
            totals_.audioBytes += size;
        }
    }
    p += std::min(length, left);
    return Step::kNext;
}

bool CElementaryScanner::Scan(ByteView buffer, uint64_t start, uint64_t dataEnd) {
    const ByteView view = DataPart(buffer, start, dataEnd);
    const uint64_t from = next_ > start ? next_ - start : 0;
    if (from < view.size()) {
        const ByteView fresh = view.From(from);
        recorder_.RecordPictures(fresh, kVideoStream);
        totals_.videoBytes += fresh.size();
        next_ = start + view.size();
    }
    return start + buffer.size() >= dataEnd;
}

}  // namespace torvo
